// The Win32 serial driver over COM5 and COM12, which scripts/test-windows
// maps to the two ends of a pseudo-terminal pair: what one port sends, the
// other receives. COM8 is a pseudo-terminal that refuses its settings.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/LinkTestUtil.h"
#include "platform/MessageBox.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kLinkPort = "COM5";
constexpr const char* kPeerPort = "COM12";    // opened as "\\.\COM12"
constexpr const char* kRefusingPort = "COM8"; // a pseudo-terminal that refuses its settings

// The far end of the line: a plain port that collects what arrives and
// sends raw bytes through the same driver.
class CBytePeer : public CSerialPort {
public:
    ~CBytePeer() override { ShutdownPort(); }

    void OnReceiveByte(std::uint8_t byte) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bytes.push_back(byte);
        m_cv.notify_all();
    }

    // The first `count` bytes to arrive within the time-out, fewer if no more came.
    Bytes Read(std::size_t count, unsigned timeoutMs = 2000)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_bytes.size() >= count; });
        const std::size_t n = std::min(count, m_bytes.size());
        Bytes out(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(n));
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(n));
        return out;
    }

    bool Send(const Bytes& bytes) { return QueueTransmission(bytes.data(), bytes.size()); }

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    Bytes m_bytes;
};

class ComLoopback : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(com.OpenPort(&queue, kLinkPort), 1) << "COM5 is mapped by scripts/test-windows";
        ASSERT_TRUE(com.StartPortThread());
        ASSERT_EQ(peer.OpenPort(nullptr, kPeerPort), 1) << "COM12 is mapped by scripts/test-windows";
        ASSERT_TRUE(peer.StartPortThread());
        UseProtocolOne();
        // A port thread empties the input queue when it starts; give both
        // threads time for that before anything is sent.
        std::this_thread::sleep_for(200ms);
    }

    void UseProtocolOne()
    {
        com.SetProtocolType(1);
        com.SetAddressByte(0, 0x01);
    }

    // A read of 10 registers leaves byte-exact, and its reply, delivered in
    // two pieces as a slow line does, arrives as 10 values in order.
    void ExpectReadRoundTrip()
    {
        com.ReadRegisters(82, 10);
        EXPECT_EQ(peer.Read(8), Hex("01 03 00 00 00 0A C5 CD"));

        Bytes reply = Hex("01 03 14");
        for (int i = 0; i < 10; ++i) {
            reply.push_back(static_cast<std::uint8_t>(i));
            reply.push_back(static_cast<std::uint8_t>(0xA0 + i));
        }
        const Bytes whole = WithCrc(reply);
        ASSERT_TRUE(peer.Send(Bytes(whole.begin(), whole.begin() + 7)));
        std::this_thread::sleep_for(30ms);
        ASSERT_TRUE(peer.Send(Bytes(whole.begin() + 7, whole.end())));
        const std::vector<long> values = WaitValues(queue, 10);
        ASSERT_EQ(values.size(), 10u);
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(values[i], i * 256 + 0xA0 + i);
    }

    platform::CMessageBoxRecorder boxes;
    platform::CMessageQueue queue;
    CInverterCom com;
    CBytePeer peer;
};

TEST_F(ComLoopback, FramesLeaveByteExactAndRepliesArriveAsValues)
{
    ExpectReadRoundTrip();

    // Protocol type 0: six-byte address header.
    com.SetProtocolType(0);
    com.SetAddress({0x99, 0x99, 0x99, 0x99, 0x99, 0x99});
    com.SendSelfTest();
    EXPECT_EQ(peer.Read(13), Hex("99 99 99 99 99 99 05 00 02 FF 00 34 88"));

    // Each frame leaves once, and nothing else with it.
    UseProtocolOne();
    com.ReadRegisters(82, 1);
    EXPECT_EQ(peer.Read(8), WithCrc(Hex("01 03 00 00 00 01")));
    EXPECT_TRUE(peer.Read(1, 200).empty());
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(ComLoopback, PortsWorkAgainAfterCloseAndAfterReopenWhileWaiting)
{
    // Closing ends the thread's pending wait; the port opens and serves again.
    com.ClosePort();
    EXPECT_FALSE(com.IsThreadAlive());
    EXPECT_FALSE(com.IsOpen());
    ASSERT_EQ(com.OpenPort(&queue, kLinkPort), 1);
    ASSERT_TRUE(com.StartPortThread());
    UseProtocolOne();
    std::this_thread::sleep_for(200ms);
    ExpectReadRoundTrip();

    // Reopening while the thread waits, without closing first.
    ASSERT_EQ(com.OpenPort(&queue, kLinkPort), 1);
    ASSERT_TRUE(com.StartPortThread());
    UseProtocolOne();
    std::this_thread::sleep_for(200ms);
    ExpectReadRoundTrip();
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST(ComPortOpen, MissingPortGivesZeroWithoutBoxAndLeavesTheLockFree)
{
    platform::CMessageBoxRecorder boxes;
    platform::CMessageQueue queue;
    CInverterCom com;
    EXPECT_EQ(com.OpenPort(&queue, "COM7"), 0);
    EXPECT_EQ(com.OpenPort(&queue, "COM42"), 0);
    EXPECT_FALSE(com.IsOpen());
    EXPECT_FALSE(com.StartPortThread());

    // The failed opening left the lock free: another port opens at once.
    // (That nobody shares a port is up to Windows; Wine does not enforce it.)
    EXPECT_EQ(com.OpenPort(&queue, kLinkPort), 1);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST(ComPortOpen, PortRefusingItsSettingsFailsWithOneBoxAndTheNextOneOpens)
{
    platform::CMessageBoxRecorder boxes;
    platform::CMessageQueue queue;
    CInverterCom com;
    EXPECT_EQ(com.OpenPort(&queue, kRefusingPort), 0) << "COM8 is mapped and marked by scripts/test-windows";
    EXPECT_FALSE(com.IsOpen());
    ASSERT_EQ(boxes.Count(), 1u);
    const auto box = boxes.Boxes().front();
    EXPECT_EQ(box.caption, "Application Error");
    EXPECT_EQ(box.text.rfind("WARNING:  SetCommState() Failed with the following error: \n", 0), 0u) << box.text;
    EXPECT_EQ(box.text.substr(box.text.size() - 9), "\nPort: 8\n");

    EXPECT_EQ(com.OpenPort(&queue, kLinkPort), 1);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST(ComPortOpen, PortTwelveOpensByItsDeviceNamespaceName)
{
    platform::CMessageBoxRecorder boxes;
    CBytePeer port;
    EXPECT_EQ(port.OpenPort(nullptr, "\\\\.\\COM12"), 1);
    port.ClosePort();
    // The registry's form is turned into the same name.
    EXPECT_EQ(port.OpenPort(nullptr, "COM12"), 1);
    EXPECT_EQ(boxes.Count(), 0u);
}

} // namespace
