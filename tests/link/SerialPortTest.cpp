#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/ioctl.h>
#include <thread>

#include "support/LinkTestUtil.h"
#include "support/PtyPair.h"
#include "platform/MessageBox.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class LinkOverPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Ok());
        ASSERT_EQ(com.OpenPort(&queue, pty.SlavePath()), 1);
        ASSERT_TRUE(com.StartPortThread());
        com.SetProtocolType(1);
        com.SetAddressByte(0, 0x01);
    }
    platform::CMessageBoxRecorder boxes;
    CPtyPair pty;
    platform::CMessageQueue queue;
    CInverterCom com;
};

TEST_F(LinkOverPty, FramesLeaveByteExactAndRepliesArriveInOrder)
{
    com.ReadRegisters(82, 10);
    EXPECT_EQ(pty.Read(8, 2000), Hex("01 03 00 00 00 0A C5 CD"));

    Bytes reply = Hex("01 03 14");
    for (int i = 0; i < 10; ++i) {
        reply.push_back(static_cast<std::uint8_t>(i));
        reply.push_back(static_cast<std::uint8_t>(0xA0 + i));
    }
    // The reply comes in two pieces, as a slow line delivers it.
    const Bytes whole = WithCrc(reply);
    ASSERT_TRUE(pty.Write(Bytes(whole.begin(), whole.begin() + 7)));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(pty.Write(Bytes(whole.begin() + 7, whole.end())));
    const std::vector<long> values = WaitValues(queue, 10);
    ASSERT_EQ(values.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(values[i], i * 256 + 0xA0 + i);

    com.SetProtocolType(0);
    com.SetAddress({0x99, 0x99, 0x99, 0x99, 0x99, 0x99});
    com.SendSelfTest();
    EXPECT_EQ(pty.Read(13, 2000), Hex("99 99 99 99 99 99 05 00 02 FF 00 34 88"));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(LinkOverPty, DeviceIsHeldForExclusiveUse)
{
    class CQuietPort : public CSerialPort {
    public:
        ~CQuietPort() override { ShutdownPort(); }
        void OnReceiveByte(std::uint8_t) override {}
    } other;
    EXPECT_EQ(other.OpenPort(nullptr, pty.SlavePath()), 0);
    EXPECT_FALSE(other.IsOpen());
    com.ClosePort();
    EXPECT_EQ(other.OpenPort(nullptr, pty.SlavePath()), 1);
}

TEST_F(LinkOverPty, ReopeningMovesTheThreadToTheNewDevice)
{
    CPtyPair second;
    ASSERT_EQ(com.OpenPort(&queue, second.SlavePath()), 1);
    EXPECT_FALSE(com.IsThreadAlive()); // the old thread is gone, none started
    ASSERT_TRUE(com.StartPortThread());
    EXPECT_FALSE(com.StartPortThread()); // one thread per port
    EXPECT_EQ(com.PortName(), second.SlavePath());

    com.ReadRegisters(142, 1);
    EXPECT_EQ(second.Read(8, 2000), WithCrc(Hex("01 03 00 3C 00 01")));
    EXPECT_TRUE(pty.Read(1, 100).empty());
    ASSERT_TRUE(second.Write(Hex("01 03 02 00 05 78 47")));
    EXPECT_EQ(WaitValues(queue, 1), (std::vector<long>{5}));
}

TEST_F(LinkOverPty, UnpluggedDeviceIsReportedOnceWithoutSpinning)
{
    EXPECT_FALSE(com.HasFailed());
    pty.ReleaseSlave();
    pty.CloseMaster();
    const auto deadline = Clock::now() + 3s;
    while (boxes.Count() == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(com.HasFailed()); // the poller reopens such a port
    const auto box = boxes.Boxes().front();
    EXPECT_EQ(box.caption, "Application Error");
    EXPECT_EQ(box.type, platform::kMbIconError);
    EXPECT_EQ(box.text.rfind("WARNING:  WaitCommEvent() Failed with the following error: \n", 0), 0u);
    EXPECT_NE(box.text.find("\nPort: " + pty.SlavePath() + "\n"), std::string::npos);

    // The thread still serves its events: requests go nowhere, no new box.
    com.ReadRegisters(11, 31);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(com.IsThreadAlive());
    com.ClosePort();
    EXPECT_FALSE(com.IsThreadAlive());
    EXPECT_FALSE(com.IsOpen());
}

TEST(SerialPort, MissingDeviceFailsQuietlyAndALaterOpenWorks)
{
    platform::CMessageBoxRecorder boxes;
    platform::CMessageQueue queue;
    CInverterCom com;
    EXPECT_EQ(com.OpenPort(&queue, "/dev/zelvan-no-such-port"), 0);
    EXPECT_FALSE(com.IsOpen());
    EXPECT_FALSE(com.StartPortThread());
    EXPECT_EQ(com.OpenPort(&queue, "/dev/null"), 0); // not a serial device
    EXPECT_EQ(boxes.Count(), 0u);

    CPtyPair pty;
    ASSERT_EQ(com.OpenPort(&queue, pty.SlavePath()), 1);
    ASSERT_TRUE(com.StartPortThread());
    com.ReadRegisters(1, 3);
    EXPECT_EQ(pty.Read(13, 2000), Hex("99 99 99 99 99 99 04 9C 37 00 03 36 E7"));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST(SerialPort, PortRefusingItsSettingsFailsWithOneBoxAndTheNextOneOpens)
{
    platform::CMessageBoxRecorder boxes;
    platform::CMessageQueue queue;
    CInverterCom com;
    // PtyRefusesSettings.c fails tcsetattr on a terminal of this size.
    CPtyPair refusing;
    winsize marked{};
    marked.ws_row = marked.ws_col = 2989;
    ASSERT_EQ(::ioctl(refusing.MasterFd(), TIOCSWINSZ, &marked), 0);

    const auto start = Clock::now();
    EXPECT_EQ(com.OpenPort(&queue, refusing.SlavePath()), 0);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_FALSE(com.IsOpen());
    ASSERT_EQ(boxes.Count(), 1u);
    const auto box = boxes.Boxes().front();
    EXPECT_EQ(box.caption, "Application Error");
    EXPECT_EQ(box.text, CSerialPort::FormatCommError("SetCommState()", std::strerror(EIO), refusing.SlavePath()));

    CPtyPair next;
    EXPECT_EQ(com.OpenPort(&queue, next.SlavePath()), 1);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST(SerialPort, ClosePortWaitsOneRoundThenReleasesTheDevice)
{
    CPtyPair pty(false);
    CInverterCom com;
    ASSERT_EQ(com.OpenPort(nullptr, pty.SlavePath()), 1);

    // No thread running: one 500 ms round, not ten (5 s). The upper bound
    // leaves room for a loaded machine; it only has to tell one round from ten.
    auto start = Clock::now();
    com.ClosePort();
    auto took = Clock::now() - start;
    EXPECT_GE(took, 500ms);
    EXPECT_LT(took, 2500ms);
    EXPECT_FALSE(com.IsOpen());

    // A running thread leaves at the first shutdown signal; the device is
    // closed after it: the far end sees the hang-up.
    ASSERT_EQ(com.OpenPort(nullptr, pty.SlavePath()), 1);
    ASSERT_TRUE(com.StartPortThread());
    start = Clock::now();
    com.ClosePort();
    took = Clock::now() - start;
    EXPECT_LT(took, 2500ms);
    EXPECT_FALSE(com.IsThreadAlive());
    pollfd in{pty.MasterFd(), POLLIN, 0};
    ASSERT_EQ(::poll(&in, 1, 1000), 1);
    EXPECT_TRUE(in.revents & POLLHUP);
}

TEST(SerialPort, ErrorTextIsCutToFit)
{
    EXPECT_EQ(CSerialPort::FormatCommError("WriteFile()", "Input/output error", "/dev/ttyS0"),
              "WARNING:  WriteFile() Failed with the following error: \nInput/output error\nPort: /dev/ttyS0\n");

    const std::string text = CSerialPort::FormatCommError("ReadFile()", std::string(5000, 'x'), "/dev/ttyUSB3");
    EXPECT_EQ(text.size(), CSerialPort::kErrorTextSize - 1);
    EXPECT_EQ(text.rfind("WARNING:  ReadFile() Failed", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 20), "\nPort: /dev/ttyUSB3\n");
}

TEST(SerialPort, WindowsDeviceNames)
{
    EXPECT_EQ(ComPortDeviceName(9), "COM9");
    EXPECT_EQ(ComPortDeviceName(12), "\\\\.\\COM12");
}

} // namespace
