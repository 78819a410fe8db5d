#include "live/PowerViewData.h"

#include <climits>
#include <gtest/gtest.h>
#include <vector>

#include "link/InverterCom.h"

namespace {

struct Recorded {
    std::vector<SDisplayUpdate> displays;
    std::vector<std::size_t> historyChecks;
    int nOpened = 0;
};

void Attach(CPowerViewData& data, Recorded& rec)
{
    data.onDisplay = [&rec](const SDisplayUpdate& u) { rec.displays.push_back(u); };
    data.onHistoryCheck = [&rec](std::size_t i) { rec.historyChecks.push_back(i); };
    data.onOpenParameters = [&rec] { ++rec.nOpened; };
}

// One type-1 running-data reply (registers 11 .. 41): 1234.5 W, 12.3 kWh
// today, 100.0 kWh in all.
void FeedIndexCycle(CPowerViewData& data, int nLinkState = kLinkRead)
{
    for (int reg = 11; reg <= 41; ++reg) {
        std::uint16_t w = 0;
        if (reg == 23)
            w = 12345;
        else if (reg == 24)
            w = 123;
        else if (reg == 26)
            w = 1000;
        data.OnValue(1, reg, w, nLinkState, "");
    }
}

} // namespace

TEST(PowerViewData, GaugeIsComputedWithoutOverflow)
{
    EXPECT_EQ(GaugePercent(1234.5f, 3000), 41);
    EXPECT_EQ(GaugePercent(3.0e9f, 3000), 100000000); // past 32 bits before the division
    EXPECT_EQ(GaugePercent(1.0e30f, 1500), INT_MAX);
    EXPECT_EQ(GaugePercent(500.0f, 0), std::nullopt); // unknown rating: the gauge stays
}

TEST(PowerViewData, CycleEndShowsTheLastSampleAndChecksTheHistory)
{
    CPowerViewData data;
    Recorded rec;
    Attach(data, rec);
    data.OnCycleEnd(1, 1000); // nothing stored yet: the cycle ends quietly
    EXPECT_TRUE(rec.displays.empty());

    data.Store().StoreIndexRegister(44, 30, 1); // model code: a 3 kW model, rated 2800 W
    FeedIndexCycle(data);
    FeedIndexCycle(data, kLinkWrite); // replies of writes stay out of the store
    data.OnCycleEnd(1, 1000);
    ASSERT_EQ(rec.displays.size(), 1u);
    const SDisplayUpdate& u = rec.displays[0];
    EXPECT_TRUE(u.bCurveStarted);
    EXPECT_EQ(u.tmCurveStart, 1000);
    EXPECT_EQ(u.dPowerAxisMax, 3600);
    EXPECT_FLOAT_EQ(*u.fPower, 1234.5f);
    EXPECT_EQ(u.nGauge, 44); // 1234 * 100 / 2800
    EXPECT_FLOAT_EQ(*u.fToday, 12.3f);
    EXPECT_FLOAT_EQ(*u.fTotal, 100.0f);
    EXPECT_FLOAT_EQ(*u.fCo2, 70.0f);
    EXPECT_EQ(rec.historyChecks, std::vector<std::size_t>{0});

    FeedIndexCycle(data);
    data.OnCycleEnd(1, 2000);
    ASSERT_EQ(rec.displays.size(), 2u);
    EXPECT_FALSE(rec.displays[1].bCurveStarted); // the curve started once
    EXPECT_EQ(rec.historyChecks.back(), 1u);
}

TEST(PowerViewData, ParametersOpenAtTheCycleEndInsteadOfTheDisplay)
{
    CPowerViewData data;
    Recorded rec;
    Attach(data, rec);
    FeedIndexCycle(data);
    data.RequestParameters();
    data.OnCycleEnd(1, 0);
    EXPECT_EQ(rec.nOpened, 1);
    EXPECT_TRUE(rec.displays.empty());
    EXPECT_FALSE(data.IsParametersRequested());
}

TEST(PowerViewData, PageRepliesRefreshWhatTheyBrought)
{
    CPowerViewData data;
    Recorded rec;
    Attach(data, rec);
    // Type 1: the running-data reply refreshes everything once the link is idle.
    data.OnPageValue(1, 23, 100, 11, kLinkRead, false, "", 0);
    EXPECT_TRUE(rec.displays.empty());
    data.OnPageValue(1, 24, 5, 11, kLinkRead, true, "", 0);
    ASSERT_EQ(rec.displays.size(), 1u);
    data.OnPageValue(1, 120, 1, 82, kLinkRead, true, "", 0); // a settings reply: nothing
    EXPECT_EQ(rec.displays.size(), 1u);

    // Type 2: power, then energy, then the history check, one reply each.
    CPowerViewData two;
    Recorded rec2;
    Attach(two, rec2);
    two.OnPageValue(2, 30001, 3000, 30001, kLinkRead, false, "", 0); // a sample time
    two.OnPageValue(2, 30017, 0, 30001, kLinkRead, false, "", 0);
    two.OnPageValue(2, 30018, 1500, 30001, kLinkRead, true, "", 0);
    ASSERT_EQ(rec2.displays.size(), 1u);
    EXPECT_FLOAT_EQ(*rec2.displays[0].fPower, 1500.0f);
    EXPECT_FALSE(rec2.displays[0].fTotal);
    two.OnPageValue(2, 30021, 0, 30021, kLinkRead, false, "", 0);
    two.OnPageValue(2, 30022, 2000, 30021, kLinkRead, true, "", 0);
    ASSERT_EQ(rec2.displays.size(), 2u);
    EXPECT_FALSE(rec2.displays[1].fPower);
    EXPECT_FLOAT_EQ(*rec2.displays[1].fCo2, 140.0f);
    two.OnPageValue(2, 31019, 0, 31001, kLinkRead, true, "", 0);
    EXPECT_EQ(rec2.historyChecks, std::vector<std::size_t>{0});

    // The echo of a write or a self test is no sample and refreshes nothing.
    two.OnPageValue(2, 30018, 9999, 30001, kLinkWrite, true, "", 0);
    two.OnPageValue(2, 30018, 9999, 30001, kLinkSelfTest, true, "", 0);
    EXPECT_EQ(rec2.displays.size(), 2u);
    EXPECT_EQ(two.Store().GetSize(kSeriesPac), 1u);
}

TEST(PowerViewData, TypeTwoEnergyReplyRefreshesTheTotalsWithoutAPowerSample)
{
    CPowerViewData data;
    Recorded rec;
    Attach(data, rec);
    // Today's energy read alone (no display step), then the energy reply:
    // the power series is still empty.
    data.OnPageValue(2, 30019, 0, 30019, kLinkRead, false, "", 0);
    data.OnPageValue(2, 30020, 123, 30019, kLinkRead, true, "", 0);
    EXPECT_TRUE(rec.displays.empty());
    data.OnPageValue(2, 30021, 0, 30021, kLinkRead, false, "", 0);
    data.OnPageValue(2, 30022, 2000, 30021, kLinkRead, true, "", 0);
    ASSERT_EQ(data.Store().GetSize(kSeriesPac), 0u);
    ASSERT_EQ(rec.displays.size(), 1u);
    const SDisplayUpdate& u = rec.displays[0];
    EXPECT_FALSE(u.fPower);
    EXPECT_FALSE(u.bCurveStarted);
    EXPECT_FLOAT_EQ(*u.fToday, 12.3f);
    EXPECT_FLOAT_EQ(*u.fTotal, 200.0f);
    EXPECT_FLOAT_EQ(*u.fCo2, 140.0f);
}
