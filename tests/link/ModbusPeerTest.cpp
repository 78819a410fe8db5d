// The link against an independent Modbus RTU server on a pseudo-terminal:
// requests of protocol types 1 and 2 must be understood by it, and its
// replies delivered as the right register values.
#include <gtest/gtest.h>

#include <atomic>
#include <modbus.h>
#include <thread>

#include "support/LinkTestUtil.h"
#include "support/PtyPair.h"
#include "platform/MessageBox.h"

namespace {

using Values = std::vector<long>;

// Copies bytes both ways between the masters of two pty pairs, so that the
// two slave devices behave like the ends of one serial cable.
class CCable {
public:
    CCable(const CPtyPair& a, const CPtyPair& b) : m_a(a), m_b(b), m_thread([this] { Run(); }) {}
    ~CCable()
    {
        m_bStop = true;
        m_thread.join();
    }

private:
    void Run()
    {
        while (!m_bStop) {
            pollfd fds[2] = {{m_a.MasterFd(), POLLIN, 0}, {m_b.MasterFd(), POLLIN, 0}};
            if (::poll(fds, 2, 20) <= 0)
                continue;
            if (fds[0].revents & POLLIN)
                Copy(m_a, m_b);
            if (fds[1].revents & POLLIN)
                Copy(m_b, m_a);
        }
    }
    static void Copy(const CPtyPair& from, const CPtyPair& to)
    {
        std::uint8_t buffer[512];
        const ssize_t n = ::read(from.MasterFd(), buffer, sizeof buffer);
        if (n > 0)
            to.Write(Bytes(buffer, buffer + n));
    }

    const CPtyPair& m_a;
    const CPtyPair& m_b;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

// A Modbus RTU server (slave 1) on a device, with coils, holding and input
// registers; input register i holds 1000 + i, holding register i holds i.
class CModbusServer {
public:
    explicit CModbusServer(const std::string& device)
    {
        m_pMap = modbus_mapping_new(16, 0, 3200, 1100);
        for (int i = 0; i < 1100; ++i)
            m_pMap->tab_input_registers[i] = static_cast<std::uint16_t>(1000 + i);
        for (int i = 0; i < 3200; ++i)
            m_pMap->tab_registers[i] = static_cast<std::uint16_t>(i);
        m_pCtx = modbus_new_rtu(device.c_str(), 9600, 'N', 8, 1);
        if (m_pCtx == nullptr || modbus_set_slave(m_pCtx, 1) != 0 || modbus_connect(m_pCtx) != 0)
            return;
        modbus_set_indication_timeout(m_pCtx, 0, 50000);
        m_bConnected = true;
        m_thread = std::thread([this] { Serve(); });
    }
    ~CModbusServer()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_pCtx != nullptr) {
            modbus_close(m_pCtx);
            modbus_free(m_pCtx);
        }
        modbus_mapping_free(m_pMap);
    }
    bool Connected() const { return m_bConnected; }

private:
    void Serve()
    {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!m_bStop) {
            const int length = modbus_receive(m_pCtx, query);
            if (length > 0)
                modbus_reply(m_pCtx, query, length, m_pMap);
        }
    }

    modbus_t* m_pCtx = nullptr;
    modbus_mapping_t* m_pMap = nullptr;
    bool m_bConnected = false;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

class LinkAgainstModbusServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(serverSide.Ok() && linkSide.Ok());
        ASSERT_TRUE(server.Connected());
        ASSERT_EQ(com.OpenPort(&queue, linkSide.SlavePath()), 1);
        ASSERT_TRUE(com.StartPortThread());
        com.SetProtocolType(1);
        com.SetAddressByte(0, 0x01);
    }
    Values Ask(std::size_t count) { return WaitValues(queue, count, 3000); }

    platform::CMessageBoxRecorder boxes;
    CPtyPair serverSide;
    CPtyPair linkSide;
    CCable cable{serverSide, linkSide};
    CModbusServer server{serverSide.SlavePath()};
    platform::CMessageQueue queue;
    CInverterCom com;
};

TEST_F(LinkAgainstModbusServer, TypeOneReadsWritesAndCommands)
{
    com.SetProtocolType(1);
    com.ReadRegisters(11, 31); // input registers 10 .. 40
    Values values = Ask(31);
    ASSERT_EQ(values.size(), 31u);
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(values[i], 1010 + i);

    com.ReadRegisters(82, 3); // holding registers 0 .. 2
    EXPECT_EQ(Ask(3), (Values{0, 1, 2}));

    const std::uint16_t words[] = {0xBEEF, 0x0102, 0xFFFF};
    ASSERT_TRUE(com.WriteRegisters(words, 100, 3));
    EXPECT_EQ(Ask(2), (Values{18, 3})); // echoed wire address and quantity
    com.ReadRegisters(100, 3);
    EXPECT_EQ(Ask(3), (Values{0xBEEF, 0x0102, 0xFFFF}));

    com.SendSelfTest(); // coil 1 on
    EXPECT_EQ(Ask(2), (Values{1, 0xFF00}));

    com.WriteSerialNumber(123456789012ULL);
    EXPECT_EQ(Ask(2), (Values{0, 3}));
    com.SetSerial({});
    com.ReadSerialNumber(); // type 1 reads input registers 0 .. 2
    EXPECT_EQ(Ask(3), (Values{1000, 1001, 1002}));
    EXPECT_EQ(com.Serial(), (SerialBytes{0x03, 0xE8, 0x03, 0xE9, 0x03, 0xEA}));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(LinkAgainstModbusServer, TypeTwoBlocksSwitchesAndSerialNumber)
{
    com.SetProtocolType(2);
    com.ReadRegisters(40012, 1);
    EXPECT_EQ(Ask(1), (Values{11}));
    com.ReadRegisters(30021, 17);
    Values values = Ask(17);
    ASSERT_EQ(values.size(), 17u);
    EXPECT_EQ(values.front(), 1020);
    EXPECT_EQ(values.back(), 1036);

    com.WriteGfciFunction(true);
    EXPECT_EQ(Ask(2), (Values{1106, 1}));
    com.WriteIslandTestSwitch(true); // stored inverted
    EXPECT_EQ(Ask(2), (Values{1108, 1}));
    com.ReadRegisters(41107, 3);
    EXPECT_EQ(Ask(3), (Values{1, 1107, 0}));

    com.SendClearEnergy();
    EXPECT_EQ(Ask(2), (Values{0x131, 1}));

    com.WriteSerialNumber(123456789012ULL);
    EXPECT_EQ(Ask(2), (Values{6, 3}));
    com.SetSerial({});
    com.ReadSerialNumber();
    EXPECT_EQ(Ask(3), (Values{0x1234, 0x5678, 0x9012}));
    EXPECT_TRUE(com.IsSerialKnown());
    EXPECT_EQ(FormatSerialNumber(com.Serial()), "123456789012");
}

TEST_F(LinkAgainstModbusServer, ExceptionReplyIsDroppedAndTheLinkGoesOn)
{
    com.SetProtocolType(2);
    const platform::DWORD before = com.LastReplyTick();
    com.ReadRegisters(43029, 1); // input register 43029 does not exist there
    EXPECT_TRUE(WaitValues(queue, 1, 500).empty());
    EXPECT_EQ(com.LastReplyTick(), before);
    EXPECT_EQ(com.ReceiveState(), 0);

    com.ReadRegisters(40001, 2);
    EXPECT_EQ(Ask(2), (Values{0, 1}));
}

} // namespace
