// zelvan-sim as the operator runs it: a process on a pseudo-terminal, talked
// to by an independent Modbus master, by the program's own link, and from
// its console.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "support/SimProcess.h"
#include "link/Crc16.h"
#include "link/InverterCom.h"
#include "support/PtyPair.h"
#include "platform/MessageTarget.h"
#include "platform/Messages.h"

namespace {

struct ModbusDeleter {
    void operator()(modbus_t* ctx) const
    {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using Modbus = std::unique_ptr<modbus_t, ModbusDeleter>;

Modbus Connect(const std::string& path, int slave, int timeoutMs = 1000)
{
    Modbus ctx(modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1));
    if (!ctx)
        return nullptr;
    modbus_set_slave(ctx.get(), slave);
    modbus_set_response_timeout(ctx.get(), 0, static_cast<std::uint32_t>(timeoutMs) * 1000);
    if (modbus_connect(ctx.get()) != 0)
        return nullptr;
    return ctx;
}

std::vector<std::uint16_t> Regs(int n)
{
    return std::vector<std::uint16_t>(static_cast<std::size_t>(n));
}

TEST(SimProgram, ModbusMasterReadsAndWritesTypeOne)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--address", "5", "--start", "12:00"}));
    Modbus mb = Connect(sim.Path(), 5);
    ASSERT_TRUE(mb);
    auto r = Regs(31);
    // Model code and version: indices 44 and 45 are input wire addresses 43 and 44.
    ASSERT_EQ(modbus_read_input_registers(mb.get(), 43, 2, r.data()), 2) << modbus_strerror(errno);
    EXPECT_EQ(r[0], 30);
    EXPECT_EQ(r[1], 805);
    // Running data at noon: PV voltage, power in tenths within the rating, inverting.
    ASSERT_EQ(modbus_read_input_registers(mb.get(), 10, 31, r.data()), 31);
    EXPECT_GT(r[0], 2500);
    const std::uint32_t pac = static_cast<std::uint32_t>(r[11]) << 16 | r[12];
    EXPECT_GT(pac, 0u);
    EXPECT_LE(pac, 28000u);
    EXPECT_EQ(r[30], 1);
    // The address register that detection reads: index 142, holding wire address 60.
    ASSERT_EQ(modbus_read_registers(mb.get(), 60, 1, r.data()), 1);
    EXPECT_EQ(r[0], 5);
    // Settings written at 92.. read back at 46.. (input wire address 45).
    std::vector<std::uint16_t> words;
    for (int i = 0; i < 23; ++i)
        words.push_back(static_cast<std::uint16_t>(500 + 3 * i));
    ASSERT_EQ(modbus_write_registers(mb.get(), 10, 23, words.data()), 23);
    auto back = Regs(23);
    ASSERT_EQ(modbus_read_input_registers(mb.get(), 45, 23, back.data()), 23);
    EXPECT_EQ(back, words);
    ASSERT_EQ(modbus_read_registers(mb.get(), 10, 23, back.data()), 23);
    EXPECT_EQ(back, words);
    // Outside the map: an exception, which the master reports as such.
    EXPECT_EQ(modbus_read_registers(mb.get(), 61, 1, r.data()), -1);
    EXPECT_EQ(errno, EMBXILADD);
    mb.reset();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimProgram, ModbusMasterReadsAndWritesTypeTwo)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "2", "--address", "3", "--serial", "987654321098", "--start", "12:30"}));
    Modbus mb = Connect(sim.Path(), 3);
    ASSERT_TRUE(mb);
    auto r = Regs(20);
    ASSERT_EQ(modbus_read_registers(mb.get(), 0, 12, r.data()), 12) << modbus_strerror(errno);
    EXPECT_EQ(r[1], 0x4000);                                  // 40002 model code
    EXPECT_EQ(r[2], 0x0805);                                  // 40003 version
    EXPECT_EQ((std::vector<std::uint16_t>{r[6], r[7], r[8]}), // 40007..40009 serial number
              (std::vector<std::uint16_t>{0x9876, 0x5432, 0x1098}));
    EXPECT_EQ(r[11], 3); // 40012 address
    ASSERT_EQ(modbus_read_input_registers(mb.get(), 0, 20, r.data()), 20);
    EXPECT_GT(r[0], 2500);                                             // 30001 PV voltage
    EXPECT_NEAR(r[12], 5000, 10);                                      // 30013 frequency
    EXPECT_LE(static_cast<std::uint32_t>(r[16]) << 16 | r[17], 3000u); // 30017/30018 power
    const std::vector<std::uint16_t> start = {1800, 0, 0, 0, 90};      // 40101..40105
    ASSERT_EQ(modbus_write_registers(mb.get(), 100, 5, start.data()), 5);
    ASSERT_EQ(modbus_read_registers(mb.get(), 100, 5, r.data()), 5);
    EXPECT_EQ(std::vector<std::uint16_t>(r.begin(), r.begin() + 5), start);
    // A single-register write (function 6) is understood as well.
    ASSERT_EQ(modbus_write_register(mb.get(), 304, 2), 1); // 40305 language
    ASSERT_EQ(modbus_read_registers(mb.get(), 304, 1, r.data()), 1);
    EXPECT_EQ(r[0], 2);
    mb.reset();
    EXPECT_EQ(sim.Stop(SIGINT), 0);
}

TEST(SimProgram, ConsoleCommandsChangeFaultsWhileRunning)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--turnaround", "2"}));
    Modbus mb = Connect(sim.Path(), 1, 300);
    ASSERT_TRUE(mb);
    std::uint16_t v = 0;
    ASSERT_EQ(modbus_read_registers(mb.get(), 60, 1, &v), 1);

    EXPECT_EQ(sim.Command("silence on").rfind("ok ", 0), 0u);
    EXPECT_EQ(modbus_read_registers(mb.get(), 60, 1, &v), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_EQ(sim.Command("silence off").rfind("ok ", 0), 0u);
    modbus_flush(mb.get());
    EXPECT_EQ(modbus_read_registers(mb.get(), 60, 1, &v), 1);

    EXPECT_EQ(sim.Command("exception 100").rfind("ok ", 0), 0u);
    EXPECT_EQ(modbus_read_registers(mb.get(), 60, 1, &v), -1);
    EXPECT_EQ(errno, EMBXSFAIL);
    sim.Command("exception 0");

    EXPECT_EQ(sim.Command("bad-crc 100").rfind("ok ", 0), 0u);
    EXPECT_EQ(modbus_read_registers(mb.get(), 60, 1, &v), -1);
    EXPECT_EQ(errno, EMBBADCRC);

    EXPECT_EQ(sim.Command("clear").rfind("ok ", 0), 0u);
    EXPECT_EQ(sim.Command("slow 600").rfind("ok ", 0), 0u); // longer than the master waits
    EXPECT_EQ(modbus_read_registers(mb.get(), 60, 1, &v), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_EQ(sim.Command("nonsense").rfind("error", 0), 0u);
    mb.reset();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimProgram, TheLinkFindsItsRepliesBehindNoiseOnARealLine)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--address", "4", "--noise", "12"}));
    platform::CMessageQueue queue;
    CInverterCom com;
    ASSERT_EQ(com.OpenPort(&queue, sim.Path()), 1);
    ASSERT_TRUE(com.StartPortThread());
    com.SetProtocolType(1);
    com.SetAddressByte(0, 4);
    com.SetSerialKnown(false);
    com.ReadSerialNumber();
    std::vector<long> values;
    while (values.size() < 3) {
        auto msg = queue.Take(2000);
        if (!msg)
            break;
        values.push_back(msg->msg == platform::WM_REGISTER_VALUE ? static_cast<long>(msg->lParam) : -1);
    }
    EXPECT_EQ(values, (std::vector<long>{0x1234, 0x5678, 0x9012}));
    EXPECT_EQ(FormatSerialNumber(com.Serial()), "123456789012");
    com.ClosePort();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimProgram, ServesAGivenSerialDevice)
{
    CPtyPair line; // the test plays the program's end of the cable
    ASSERT_TRUE(line.Ok());
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--port", line.SlavePath(), "--protocol", "2", "--address", "6"}));
    EXPECT_EQ(sim.Path(), line.SlavePath());
    CPtyPair::Bytes request = {0x06, 0x03, 0x00, 0x0B, 0x00, 0x01}; // 40012
    request.resize(8);
    AppendCrc16(request.data(), 6);
    ASSERT_TRUE(line.Write(request));
    CPtyPair::Bytes expected = {0x06, 0x03, 0x02, 0x00, 0x06, 0, 0};
    AppendCrc16(expected.data(), 5);
    EXPECT_EQ(line.Read(expected.size(), 2000), expected);
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimProgram, LinkHelpAndStartErrors)
{
    const auto dir = std::filesystem::temp_directory_path() / ("zelvan-sim-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto link = dir / "inverter";
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--link", link.string()}));
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.Path());
        EXPECT_EQ(sim.Stop(), 0);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    }
    std::filesystem::remove_all(dir);

    std::string help;
    FILE* p = popen((CSimProcess::ProgramPath() + " --help").c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
        help += buf;
    EXPECT_EQ(pclose(p), 0);
    for (const char* option :
         {"--protocol",   "--address",   "--serial", "--model-code", "--version",    "--port", "--link",
          "--turnaround", "--start",     "--speed",  "--seed",       "--silence",    "--drop", "--bad-crc",
          "--cut",        "--exception", "--noise",  "--slow",       "--fault-word", "--state"})
        EXPECT_NE(help.find(option), std::string::npos) << option;

    EXPECT_EQ(WEXITSTATUS(std::system((CSimProcess::ProgramPath() + " --protocol 5 2>/dev/null").c_str())), 2);
    EXPECT_EQ(WEXITSTATUS(std::system((CSimProcess::ProgramPath() + " --port /nonexistent/tty 2>/dev/null").c_str())),
              1);
}

// Pulling the cable: the line dies under its user, the link name goes, and
// a new line comes back under the same name.
TEST(SimProgram, UnplugClosesTheLineAndBringsItBackUnderTheLinkName)
{
    const auto dir = std::filesystem::path(::testing::TempDir()) / ("zelvan-unplug-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string link = (dir / "inverter").string();
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--link", link}));
    Modbus before = Connect(link, 1, 300);
    ASSERT_TRUE(before);
    auto r = Regs(1);
    ASSERT_EQ(modbus_read_registers(before.get(), 60, 1, r.data()), 1);

    EXPECT_EQ(sim.Command("unplug 400"), "ok unplugged for 400 ms");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_EQ(modbus_read_registers(before.get(), 60, 1, r.data()), -1);

    for (int waited = 0; waited < 3000 && !std::filesystem::exists(link); waited += 20)
        usleep(20000);
    Modbus after = Connect(link, 1, 300);
    ASSERT_TRUE(after);
    EXPECT_EQ(modbus_read_registers(after.get(), 60, 1, r.data()), 1);
    EXPECT_EQ(modbus_read_registers(before.get(), 60, 1, r.data()), -1) << "the old line stays dead";

    EXPECT_EQ(sim.Command("unplug soon").rfind("error: unplug needs milliseconds", 0), 0u);
    EXPECT_NE(sim.Command("help").find("unplug MS"), std::string::npos);
    EXPECT_EQ(sim.Stop(), 0);
    std::filesystem::remove_all(dir);
}

} // namespace
