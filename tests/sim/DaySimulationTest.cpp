// The simulated day: what an operator sees over 24 hours must look like a
// PV day, and the counters must behave like an inverter's.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/SimTestUtil.h"

namespace {

constexpr double kHour = 3600.0;

TEST(DaySimulation, PowerFollowsTheSunWithinTheRating)
{
    for (std::uint32_t seed : {1u, 2u, 77u}) {
        SCOPED_TRACE(seed);
        CDaySimulation day(seed, 2800);
        double morning = 0, noon = 0, evening = 0, peak = 0;
        for (double t = 0; t < 24 * kHour; t += 30) {
            const double p = day.PowerAt(t);
            peak = std::max(peak, p);
            EXPECT_GE(p, 0.0);
            EXPECT_LE(p, 2800.0);
            if (t < 5 * kHour || t > 20 * kHour) {
                EXPECT_EQ(p, 0.0) << t / kHour;
            }
            if (t >= 7 * kHour && t < 8 * kHour)
                morning += p;
            if (t >= 12 * kHour && t < 13 * kHour)
                noon += p;
            if (t >= 17.5 * kHour && t < 18.5 * kHour)
                evening += p;
        }
        EXPECT_GT(morning, 0.0);
        EXPECT_GT(noon, morning);
        EXPECT_GT(noon, evening);
        EXPECT_GT(evening, 0.0);
        EXPECT_GT(peak, 1000.0);
    }
}

TEST(DaySimulation, WeatherRepeatsForASeedAndDiffersBetweenSeeds)
{
    CDaySimulation a(5, 3000), b(5, 3000), c(6, 3000);
    bool differs = false;
    for (double t = 0; t < 3 * 24 * kHour; t += 600) {
        EXPECT_EQ(a.PowerAt(t), b.PowerAt(t));
        differs = differs || a.PowerAt(t) != c.PowerAt(t);
    }
    EXPECT_TRUE(differs);
    // Integration does not depend on how often it is asked.
    a.Start(10 * kHour);
    b.Start(10 * kHour);
    for (double t = 10 * kHour; t <= 14 * kHour; t += 1)
        a.AdvanceTo(t);
    b.AdvanceTo(14 * kHour);
    EXPECT_NEAR(a.EnergyTodayKWh(), b.EnergyTodayKWh(), 1e-9);
}

// Two days through the register map at 60 times real time, polled every
// simulated minute as the program would see them.
TEST(DaySimulation, CountersOverTwoDaysThroughTheRegisters)
{
    for (int type : {1, 2}) {
        SCOPED_TRACE(type);
        CSimBench b(Identity(type), 20 * kHour, 60.0); // starts at 20:00
        auto reg = [&](int r) {
            std::uint16_t v = 0;
            EXPECT_TRUE(b.sim.ReadRegister(r, v)) << r;
            return static_cast<double>(v);
        };
        auto etoday = [&] { return type == 2 ? reg(30019) * 65536 + reg(30020) : reg(24); };
        auto etotal = [&] { return type == 2 ? reg(30021) * 65536 + reg(30022) : reg(25) * 65536 + reg(26); };
        auto pac = [&] { return type == 2 ? reg(30017) * 65536 + reg(30018) : (reg(22) * 65536 + reg(23)) / 10; };
        auto state = [&] { return static_cast<int>(type == 2 ? reg(30026) : reg(41)); };
        const int waiting = type == 2 ? 8 : 0;

        double lastToday = etoday(), lastTotal = etotal();
        EXPECT_GT(lastToday, 0.0); // the day already had its sun
        int midnights = 0, inverting = 0;
        for (std::int64_t ms = 1000; ms <= 48 * 60 * 1000; ms += 1000) { // 48 simulated hours
            b.sim.AdvanceTo(ms);
            const double tod = std::fmod(b.sim.SimSeconds(ms), 24 * kHour);
            const double today = etoday(), total = etotal(), p = pac();
            EXPECT_LE(p, b.sim.RatedWatts());
            EXPECT_GE(total, lastTotal);
            if (today < lastToday) {
                ++midnights;
                EXPECT_LT(tod, 61.0); // only just after midnight
                EXPECT_EQ(today, 0.0);
            }
            if (tod < 4 * kHour) {
                EXPECT_EQ(p, 0.0);
                EXPECT_EQ(state(), waiting);
            }
            if (p > 0) {
                ++inverting;
                EXPECT_EQ(state(), 1);
            }
            lastToday = today;
            lastTotal = total;
        }
        EXPECT_EQ(midnights, 2);
        EXPECT_GT(inverting, 600);  // two days of 12 hours or so
        EXPECT_GT(lastToday, 50.0); // more than 5 kWh on the second day
    }
}

TEST(DaySimulation, PowerLimitAndFaultHoldThePowerDown)
{
    CSimBench b(Identity(1));
    b.Attach();
    const auto limit = std::vector<std::uint16_t>{100}; // 10.0 % at index 140
    EXPECT_TRUE(b.com.WriteRegisters(limit.data(), 140, 1));
    b.Exchange();
    EXPECT_LE(b.sim.Day().PowerW(), 280.0 + 1e-9);
    b.sim.Faults().bFaultWordSet = true;
    b.sim.Faults().dwFaultWord = 1u << 21; // grid lost
    const Values v = b.Read(22, 2);
    EXPECT_EQ(v, (Values{0, 0}));
    EXPECT_EQ(b.Read(39, 3), (Values{0x0020, 0x0000, 3}));
}

} // namespace
