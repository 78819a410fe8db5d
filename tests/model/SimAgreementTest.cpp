// A polling run against the simulated inverter, in-process: the link builds
// each request, the engine answers, the link's parser posts the words, and
// the store step numbers and decodes them as the value handler does. What
// lands in the store must be what the simulator was serving.
#include "link/InverterCom.h"
#include "model/RegisterMap.h"
#include "model/StateTexts.h"
#include "model/TestResult.h"
#include "model/ValueStore.h"
#include "support/SimTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

class SimAgreement : public ::testing::TestWithParam<int> {
protected:
    SimAgreement() : bench(Identity(GetParam())) { bench.Attach(); }

    int Type() const { return GetParam(); }

    // One request of the cycle and the store step for each word it brings.
    void Poll(int step)
    {
        const SRegisterBlock block = *PollStepBlock(Type(), step);
        bench.com.ReadRegisters(block.nStart, block.nCount);
        const Values words = bench.Exchange(200);
        ASSERT_EQ(words.size(), static_cast<std::size_t>(block.nCount)) << "step " << step;
        for (std::size_t pos = 0; pos < words.size(); ++pos) {
            const int reg = block.nStart + static_cast<int>(pos);
            StoreRegisterValue(store, Type(), reg, static_cast<std::uint32_t>(words[pos]), version, false,
                               bench.com.LinkState());
        }
    }

    // The first steps after connecting: the version (type 0), the model code.
    void Connect()
    {
        if (Type() == 0) {
            bench.com.ReadRegisters(kVersionRegister, 1);
            const Values words = bench.Exchange();
            ASSERT_EQ(words.size(), 1u);
            version = FormatVersionText(static_cast<std::uint32_t>(words[0]));
        }
        if (Type() == 2) {
            Poll(1); // serial number: nothing of it is running data
            Poll(2);
        } else {
            Poll(0);
        }
    }

    void Cycle()
    {
        if (Type() == 2) {
            Poll(3);
            CheckPowerHalf();
            Poll(4);
            CheckEnergyHalf();
            Poll(5);
            CheckLast(kSeriesDci, bench.sim.Day().DcInjectionMa(), 0.5);
        } else {
            Poll(1);
            CheckPowerHalf();
            CheckEnergyHalf();
            CheckLast(kSeriesDci, bench.sim.Day().DcInjectionMa(), 0.5);
        }
    }

    // Each stored value against the simulator's physics at the moment it
    // answered, within half a step of the register's scale (counters are cut
    // down, so within one step).
    void CheckLast(int series, double expected, double tolerance)
    {
        const std::size_t n = store.GetSize(series);
        ASSERT_GT(n, 0u) << SeriesTitle(series);
        EXPECT_NEAR(store.GetValue(series, n - 1), expected, tolerance) << SeriesTitle(series);
    }

    void CheckPowerHalf()
    {
        const CDaySimulation& d = bench.sim.Day();
        CheckLast(kSeriesUdc, d.PvVoltage(), 0.051);
        CheckLast(kSeriesUac, d.GridVoltage(), 0.051);
        CheckLast(kSeriesFreq, d.GridFrequency(), 0.0051);
        const bool wholeWatts = version == "V8.05";
        CheckLast(kSeriesPac, d.PowerW(), wholeWatts ? 0.51 : 0.051);
        if (Type() == 2) {
            CheckLast(kSeriesEtoday, d.EnergyTodayKWh(), 0.1);
        } else {
            CheckLast(kSeriesTemp, d.TemperatureC(), 0.051);
        }
    }

    void CheckEnergyHalf()
    {
        const CDaySimulation& d = bench.sim.Day();
        CheckLast(kSeriesEtotal, d.EnergyTotalKWh(), 0.1);
        CheckLast(kSeriesTtoday, d.RunTodayMinutes(), 0);
        CheckLast(kSeriesTtotal, d.RunTotalHours(), 0);
        CheckLast(kSeriesState1, bench.sim.FaultWord(), 0);
        CheckLast(kSeriesState2, bench.sim.StateCode(), 0);
        if (Type() == 2)
            CheckLast(kSeriesTemp, d.TemperatureC(), 0.051);
        else
            CheckLast(kSeriesEtoday, d.EnergyTodayKWh(), 0.1);
    }

    CSimBench bench;
    CTestResult store;
    std::string version;
};

} // namespace

TEST_P(SimAgreement, PollingFillsTheStoreWithWhatTheSimulatorServes)
{
    platform::CFakeTicks ticks(1000);
    Connect();
    EXPECT_EQ(store.GetModelCode(), bench.sim.ModelCode());
    EXPECT_EQ(RatedPower(Type(), store.GetModelCode()), bench.sim.RatedWatts());
    // Connecting stores no running data.
    EXPECT_EQ(store.GetTimeCount(), 0u);

    constexpr int kCycles = 12;
    for (int c = 0; c < kCycles; ++c) {
        if (c == kCycles / 2) {
            // A fault mid-run: its bits and the fault state come through.
            bench.sim.Faults().bFaultWordSet = true;
            bench.sim.Faults().dwFaultWord = 0x80200001u;
        }
        ticks.Advance(600);
        Cycle();
    }

    // Every series of the map grew once per cycle, aligned with the times.
    EXPECT_EQ(store.GetTimeCount(), static_cast<std::size_t>(kCycles));
    for (int s = 0; s < kSeriesCount; ++s) {
        const bool absent = (s == kSeriesIacShift && Type() == 2) || (s == kSeriesInsulation && Type() != 2);
        EXPECT_EQ(store.GetSize(s), absent ? 0u : static_cast<std::size_t>(kCycles)) << SeriesTitle(s);
    }
    EXPECT_EQ(store.GetTime(kCycles - 1) - store.GetTime(0), 600u * (kCycles - 1));
    // The power was read at midday: a real figure, not a stray word.
    EXPECT_GT(store.GetFloat(kSeriesPac, 0), 100.0f);

    const std::uint32_t fault = store.GetUInt(kSeriesState1, kCycles - 1);
    EXPECT_EQ(fault, 0x80200001u);
    EXPECT_EQ(GetFaultTexts(fault, Type()).size(), 3u);
    const auto state = GetStateText(store.GetUInt(kSeriesState2, kCycles - 1), Type());
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->nIcon, kIconLampRed);
}

INSTANTIATE_TEST_SUITE_P(ProtocolTypes, SimAgreement, ::testing::Values(0, 1, 2),
                         [](const auto& info) { return "Type" + std::to_string(info.param); });
