// The program's link against the simulated inverter, in-process: every
// request the link builds gets a reply its parser accepts, with the values
// the register maps promise.
#include <gtest/gtest.h>

#include <cmath>

#include "support/SimTestUtil.h"

namespace {

double Pair(long high, long low)
{
    return static_cast<double>(high) * 65536.0 + static_cast<double>(low);
}

TEST(SimRoundTrip, DetectionProbesTeachTheLinkAddressAndSerialNumber)
{
    {
        CSimBench b(Identity(1, 7));
        b.com.SetProtocolType(1);
        b.com.SetAddressByte(0, 0xFF);
        b.com.SetProbePending(true);
        EXPECT_EQ(b.Read(142, 1), (Values{7}));
        EXPECT_EQ(b.lastReply[0], 0xFF); // answered under the probe's own address
        EXPECT_EQ(b.com.AddressByte(0), 7);
        b.com.SetProbePending(false);
        b.com.ReadSerialNumber();
        EXPECT_EQ(b.Exchange(), (Values{0x1234, 0x5678, 0x9012}));
        EXPECT_EQ(FormatSerialNumber(b.com.Serial()), "123456789012");
    }
    {
        CSimBench b(Identity(2, 9));
        b.com.SetProtocolType(2);
        b.com.SetAddressByte(0, 0);
        b.com.SetProbePending(true);
        EXPECT_EQ(b.Read(40012, 1), (Values{9}));
        EXPECT_EQ(b.com.AddressByte(0), 9);
        b.com.SetProbePending(false);
        b.com.ReadSerialNumber();
        EXPECT_EQ(b.Exchange(), (Values{0x1234, 0x5678, 0x9012}));
        EXPECT_EQ(FormatSerialNumber(b.com.Serial()), "123456789012");
    }
    {
        // Type 0: the wildcard read of the serial number makes it the address.
        CSimBench b(Identity(0, 1, 210987654321));
        b.com.ReadSerialNumber();
        EXPECT_EQ(b.Exchange(), (Values{0x2109, 0x8765, 0x4321}));
        EXPECT_EQ(FormatSerialNumber(b.com.Address()), "210987654321");
        b.com.ReadSoftwareVersion();
        EXPECT_EQ(b.Exchange(), (Values{805}));
        EXPECT_EQ(b.lastRequest[0], 0x21); // asked under its own number now
    }
}

TEST(SimRoundTrip, ProbesOfOtherProtocolTypesGetNoAnswer)
{
    for (int type = 0; type <= 2; ++type) {
        CSimBench b(Identity(type));
        // Type 1 probe, type 0 wildcard read, type 2 probe, as detection sends them.
        b.com.SetProtocolType(1);
        b.com.SetAddressByte(0, 0xFF);
        b.com.ReadRegisters(142, 1);
        b.Exchange();
        EXPECT_EQ(b.lastReply.empty(), type != 1) << "type " << type;
        b.com.SetProtocolType(0);
        b.com.ReadSerialNumber();
        b.Exchange();
        EXPECT_EQ(b.lastReply.empty(), type != 0) << "type " << type;
        b.com.SetProtocolType(2);
        b.com.SetAddressByte(0, 0);
        b.com.ReadRegisters(40012, 1);
        b.Exchange();
        EXPECT_EQ(b.lastReply.empty(), type != 2) << "type " << type;
    }
}

// Running data at noon decoded the way the program decodes it.
void ExpectIndexMapRunningData(const std::string& version, int protocol, double powerScale)
{
    SimIdentity id = Identity(protocol);
    id.strVersion = version;
    CSimBench b(id);
    b.Attach();
    const Values model = b.Read(44, 2);
    ASSERT_EQ(model.size(), 2u);
    EXPECT_EQ(model[0], 30);
    const Values v = b.Read(11, 31);
    ASSERT_EQ(v.size(), 31u);
    const CDaySimulation& d = b.sim.Day();
    auto at = [&](int reg) { return v[static_cast<std::size_t>(reg - 11)]; };
    EXPECT_NEAR(at(11) / 10.0, d.PvVoltage(), 0.051);
    EXPECT_NEAR(at(15) / 10.0, d.GridVoltage(), 0.051);
    EXPECT_NEAR(at(21) / 100.0, d.GridFrequency(), 0.0051);
    const double pac = Pair(at(22), at(23)) / powerScale;
    EXPECT_NEAR(pac, d.PowerW(), 0.5 / powerScale + 1e-9);
    EXPECT_GT(pac, 0.0);
    EXPECT_LE(pac, 2800.0); // model code 30 is rated 2800 W
    EXPECT_LE(at(24) / 10.0, d.EnergyTodayKWh());
    EXPECT_GT(at(24) / 10.0, d.EnergyTodayKWh() - 0.1);
    EXPECT_NEAR(Pair(at(25), at(26)) / 10.0, d.EnergyTotalKWh(), 0.1);
    EXPECT_EQ(Pair(at(27), at(28)), d.RunTodayMinutes());
    EXPECT_EQ(Pair(at(29), at(30)), d.RunTotalHours());
    EXPECT_NEAR(at(31) / 10.0, d.TemperatureC(), 0.051);
    EXPECT_EQ(static_cast<std::int16_t>(at(35)), std::lround(d.DcInjectionMa()));
    EXPECT_EQ(Pair(at(39), at(40)), 0.0);
    EXPECT_EQ(at(41), 1); // inverting
}

TEST(SimRoundTrip, IndexMapRunningDataDecodesAsTheProgramReadsIt)
{
    ExpectIndexMapRunningData("V8.05", 1, 10.0); // type 1 always reports tenths of watts
    ExpectIndexMapRunningData("V8.05", 0, 1.0);  // these type 0 versions report whole watts
    ExpectIndexMapRunningData("V6.10", 0, 10.0);
}

TEST(SimRoundTrip, AddressMapPollingCycleDecodesAsTheProgramReadsIt)
{
    CSimBench b(Identity(2, 3));
    b.Attach();
    EXPECT_EQ(b.Read(40007, 3), (Values{0x1234, 0x5678, 0x9012}));
    EXPECT_EQ(b.Read(40001, 2), (Values{0, 0x4000}));
    EXPECT_EQ(b.Read(40003, 1), (Values{0x0805}));
    const Values a = b.Read(30001, 20);
    const Values c = b.Read(30021, 17);
    const Values e = b.Read(31001, 20);
    ASSERT_EQ(a.size(), 20u);
    ASSERT_EQ(c.size(), 17u);
    ASSERT_EQ(e.size(), 20u);
    const CDaySimulation& d = b.sim.Day();
    EXPECT_NEAR(a[0] / 10.0, d.PvVoltage(), 0.051);
    EXPECT_NEAR(a[6] / 10.0, d.GridVoltage(), 0.051);
    EXPECT_NEAR(a[12] / 100.0, d.GridFrequency(), 0.0051);
    const double pac = Pair(a[16], a[17]);
    EXPECT_NEAR(pac, d.PowerW(), 0.5);
    EXPECT_GT(pac, 0.0);
    EXPECT_LE(pac, 3000.0); // model code 0x4000 is rated 3000 W
    EXPECT_NEAR(Pair(a[18], a[19]) / 10.0, d.EnergyTodayKWh(), 0.1);
    EXPECT_NEAR(Pair(c[0], c[1]) / 10.0, d.EnergyTotalKWh(), 0.1);
    EXPECT_EQ(c[2], static_cast<long>(d.RunTodayMinutes()));
    EXPECT_EQ(Pair(c[3], c[4]), d.RunTotalHours());
    EXPECT_EQ(c[5], 1);               // 30026 inverting
    EXPECT_EQ(Pair(c[6], c[7]), 0.0); // 30027/30028 no faults
    EXPECT_NEAR(c[11] / 10.0, d.TemperatureC(), 0.051);
    EXPECT_EQ(static_cast<std::int16_t>(e[18]), std::lround(d.DcInjectionMa())); // 31019
}

TEST(SimRoundTrip, EveryBlockTheProgramReadsIsAnswered)
{
    // Polling steps, detection, identity, and the parameter page's read cycle.
    const std::vector<std::pair<int, int>> indexBlocks = {{44, 2},  {11, 31}, {1, 3},    {45, 1},   {142, 1},
                                                          {11, 24}, {35, 24}, {120, 23}, {120, 21}, {59, 23}};
    for (int type = 0; type <= 1; ++type) {
        CSimBench b(Identity(type));
        b.Attach();
        for (auto [start, count] : indexBlocks)
            EXPECT_EQ(b.Read(start, count).size(), static_cast<std::size_t>(count)) << type << ": " << start;
    }
    std::vector<std::pair<int, int>> addressBlocks = {{30001, 20}, {30021, 17}, {31001, 20}, {40001, 12}, {40101, 9},
                                                      {40201, 18}, {40221, 2},  {40301, 6},  {40401, 20}, {40401, 4},
                                                      {41001, 20}, {41041, 20}, {41061, 5},  {41101, 20}, {40502, 6},
                                                      {40101, 1},  {40007, 3},  {40001, 2},  {40012, 1},  {40003, 2}};
    for (const SRegisterBlock& block : kType2Blocks)
        addressBlocks.emplace_back(block.nStart, block.nCount);
    CSimBench b(Identity(2));
    b.Attach();
    for (auto [start, count] : addressBlocks)
        EXPECT_EQ(b.Read(start, count).size(), static_cast<std::size_t>(count)) << start;
}

std::vector<std::uint16_t> Words(int count, std::uint16_t first)
{
    std::vector<std::uint16_t> w;
    for (int i = 0; i < count; ++i)
        w.push_back(static_cast<std::uint16_t>(first + i));
    return w;
}

std::vector<long> AsValues(const std::vector<std::uint16_t>& words)
{
    return Values(words.begin(), words.end());
}

TEST(SimRoundTrip, IndexMapSettingsReadBackWhereThePageReadsThem)
{
    for (int type = 0; type <= 1; ++type) {
        SCOPED_TRACE(type);
        CSimBench b(Identity(type));
        b.Attach();
        // Step 0: 92..114 read back at 46..68.
        const auto block0 = Words(23, 1000);
        EXPECT_EQ(b.Write(92, block0).size(), 2u);
        EXPECT_EQ(b.Read(46, 23), AsValues(block0));
        EXPECT_EQ(b.Read(92, 23), AsValues(block0));
        // Step 1: the rest of the standard name, 115..119 at 69..73.
        const std::vector<std::uint16_t> name = {0x5644, 0x4520, 0x2020, 0x2020, 0x2020};
        EXPECT_EQ(b.Write(115, name).size(), 2u);
        EXPECT_EQ(b.Read(69, 5), AsValues(name));
        // Step 2: calibration, switches, standard code, power limit, protocol, address.
        auto block2 = Words(21, 2000);
        block2[141 - 122] = static_cast<std::uint16_t>(type);
        block2[142 - 122] = 17;
        EXPECT_TRUE(b.com.WriteRegisters(block2.data(), 122, 21));
        if (type == 1)
            b.com.SetAddressByte(0, 17); // the page moves the link to the new address right after sending
        EXPECT_EQ(b.Exchange().size(), 2u);
        EXPECT_EQ(b.Read(122, 21), AsValues(block2));
        EXPECT_EQ(b.Read(81, 1), (Values{block2[140 - 122]}));
        if (type == 1) {
            EXPECT_EQ(b.sim.Address(), 17);
        }
        // Single switches.
        b.com.WriteGfciFunction(false);
        EXPECT_EQ(b.Exchange().size(), 2u);
        b.com.WriteIsoFunction(true);
        EXPECT_EQ(b.Exchange().size(), 2u);
        b.com.WriteIslandTestSwitch(true);
        EXPECT_EQ(b.Exchange().size(), 2u);
        EXPECT_EQ(b.Read(74, 2), (Values{0, 1}));
        EXPECT_EQ(b.Read(138, 1), (Values{1}));
        // Step 3: the serial number; type 0 then answers under the new number.
        b.com.WriteSerialNumber(555566667777);
        EXPECT_EQ(b.Exchange().size(), 2u);
        EXPECT_EQ(b.sim.Serial(), 555566667777u);
        EXPECT_EQ(b.Read(1, 3), (Values{0x5555, 0x6666, 0x7777}));
        b.com.ReadSerialNumber();
        EXPECT_EQ(b.Exchange(), (Values{0x5555, 0x6666, 0x7777}));
        EXPECT_EQ(FormatSerialNumber(b.com.Serial()), "555566667777");
    }
}

TEST(SimRoundTrip, AddressMapWriteStepsReadBack)
{
    CSimBench b(Identity(2, 5));
    b.Attach();
    const std::pair<int, int> steps[] = {{40101, 5},  {40201, 18}, {40305, 1}, {40403, 1}, {40011, 1},
                                         {41007, 14}, {41047, 19}, {41101, 6}, {40405, 1}, {40502, 6}};
    std::uint16_t next = 100;
    for (auto [start, count] : steps) {
        auto words = Words(count, next);
        next = static_cast<std::uint16_t>(next + 50);
        EXPECT_EQ(b.Write(start, words).size(), 2u) << start;
        EXPECT_EQ(b.Read(start, count), AsValues(words)) << start;
    }
    // Step 8: serial number, command word and a new Modbus address. The echo
    // still comes from the old address, where the link expects it.
    const std::vector<std::uint16_t> identity = {0x1111, 0x2222, 0x3333, 0, 0x9999, 12};
    EXPECT_EQ(b.Write(40007, identity).size(), 2u);
    EXPECT_EQ(b.sim.Serial(), 111122223333u);
    EXPECT_TRUE(b.Read(40012, 1).empty()); // nobody answers at 5 any more
    b.com.SetAddressByte(0, 12);
    EXPECT_EQ(b.Read(40007, 6), AsValues(identity));
    // Switches: island is stored as written (0 for "on" under this type).
    b.com.WriteIslandTestSwitch(true);
    EXPECT_EQ(b.Exchange().size(), 2u);
    b.com.WriteGfciFunction(false);
    EXPECT_EQ(b.Exchange().size(), 2u);
    EXPECT_EQ(b.Read(41107, 3), (Values{0, 1, 0}));
}

TEST(SimRoundTrip, ClearEnergyAndSelfTestAct)
{
    for (int type = 0; type <= 2; ++type) {
        SCOPED_TRACE(type);
        CSimBench b(Identity(type));
        b.Attach();
        const int totalReg = type == 2 ? 30021 : 25;
        const int powerReg = type == 2 ? 30017 : 22;
        const int stateReg = type == 2 ? 30026 : 41;
        Values total = b.Read(totalReg, 2);
        ASSERT_EQ(total.size(), 2u);
        EXPECT_GT(Pair(total[0], total[1]), 0.0);
        b.com.SendClearEnergy();
        EXPECT_EQ(b.Exchange().size(), 2u);
        total = b.Read(totalReg, 2);
        EXPECT_LT(Pair(total[0], total[1]), 1.0); // back to zero (a second of noon may have followed)

        b.com.SendSelfTest();
        EXPECT_EQ(b.Exchange().size(), 2u);
        Values power = b.Read(powerReg, 2);
        EXPECT_EQ(Pair(power[0], power[1]), 0.0); // off the grid while testing
        EXPECT_EQ(b.Read(stateReg, 1), (Values{type == 2 ? 2 : 0}));
        b.nowMs += 61000;
        power = b.Read(powerReg, 2);
        EXPECT_GT(Pair(power[0], power[1]), 0.0);
        EXPECT_EQ(b.Read(stateReg, 1), (Values{1}));
    }
}

} // namespace
