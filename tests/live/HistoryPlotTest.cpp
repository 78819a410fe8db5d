// The History tab's arithmetic: periods and their moves, the value axis, bar
// places and the day curve's gaps, and the figures read from a real store.
#include "live/HistoryPlot.h"

#include <gtest/gtest.h>

#include "support/EnergyDays.h"
#include "support/HistoryDay.h"

TEST(HistoryPeriod, MovesByDayMonthAndYearAcrossTheirEnds)
{
    EXPECT_EQ(SHistoryPeriod::Day(2013, 1, 1).Moved(-1), SHistoryPeriod::Day(2012, 12, 31));
    EXPECT_EQ(SHistoryPeriod::Day(2012, 2, 28).Moved(1), SHistoryPeriod::Day(2012, 2, 29));
    EXPECT_EQ(SHistoryPeriod::Day(2013, 3, 31).As(EHistorySpan::kMonth).Moved(-1),
              (SHistoryPeriod{EHistorySpan::kMonth, 2013, 2, 28}));
    EXPECT_EQ(SHistoryPeriod::Month(2013, 1).Moved(-1), SHistoryPeriod::Month(2012, 12));
    EXPECT_EQ(SHistoryPeriod::Month(2012, 12).Moved(13), SHistoryPeriod::Month(2014, 1));
    EXPECT_EQ(SHistoryPeriod::Year(2013).Moved(1), SHistoryPeriod::Year(2014));
    EXPECT_EQ(SHistoryPeriod::Day(2012, 2, 29).YearBefore(), SHistoryPeriod::Day(2011, 2, 28));

    EXPECT_EQ(SHistoryPeriod::Day(2013, 1, 8).Title(), "2013-01-08");
    EXPECT_EQ(SHistoryPeriod::Month(2013, 1).Title(), "2013-01");
    EXPECT_EQ(SHistoryPeriod::Year(2013).Title(), "2013");
    EXPECT_EQ(SHistoryPeriod::Month(2012, 2).Slots(), 29);
    EXPECT_EQ(SHistoryPeriod::Year(2012).Slots(), 12);
}

TEST(HistoryPlot, BarsFillTheirSlotsWithoutOverlapAndTheAxisHoldsTheLargestValue)
{
    const SValueAxis axis = ValueAxis(23.4);
    EXPECT_GE(axis.dTop, 23.4);
    EXPECT_LT(axis.dTop, 23.4 + 2 * axis.dStep);
    EXPECT_EQ(ValueY(0.0, axis, 50, 450), 450);
    EXPECT_EQ(ValueY(axis.dTop, axis, 50, 450), 50);
    EXPECT_EQ(ValueY(2 * axis.dTop, axis, 50, 450), 50) << "clamped";
    EXPECT_GT(ValueAxis(0.0).dTop, 0.0) << "an empty period still has an axis";

    int right = 100;
    for (int i = 0; i < 31; ++i) {
        const SBarPlace bar = BarPlace(i, 31, 100, 720);
        EXPECT_GE(bar.nWidth, 1);
        EXPECT_GT(bar.nLeft, right - 1) << "bar " << i << " starts after the one before it";
        right = bar.nLeft + bar.nWidth;
        EXPECT_EQ(SlotAt(bar.nLeft + bar.nWidth / 2, 31, 100, 720), i);
    }
    EXPECT_LE(right, 720);
    EXPECT_EQ(SlotAt(99, 31, 100, 720), -1);
    EXPECT_EQ(SlotAt(720, 31, 100, 720), -1);
}

TEST(HistoryPlot, ALongerPauseThanAFewMinutesSplitsTheCurve)
{
    const std::vector<SCurvePoint> points = {{600, 1}, {601, 2}, {606, 3}, {612, 4}, {613, 5}};
    const auto runs = SplitAtGaps(points);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].size(), 3u) << "five minutes apart is still one line";
    EXPECT_EQ(runs[1].front().dMinute, 612);
    EXPECT_TRUE(SplitAtGaps({}).empty());
}

TEST(HistoryPlot, FiguresOfADayMonthAndYearComeFromTheStore)
{
    CScratchFolder folder("history-plot");
    CEnergyStore store;
    ASSERT_TRUE(store.Open(folder.Path() + "zelvan.db").Ok());
    ASSERT_TRUE(WriteMadeDay(store, {2013, 6, 10, 9.5, 2000}));
    ASSERT_TRUE(WriteMadeDay(store, {2013, 6, 11, 11.0, 2400, 10 * 60, 10 * 60 + 30}));
    ASSERT_TRUE(WriteMadeDay(store, {2013, 2, 1, 4.0, 900}));

    SHistoryFigures day;
    ASSERT_TRUE(LoadHistoryFigures(store, SHistoryPeriod::Day(2013, 6, 11), day).Ok());
    EXPECT_FALSE(day.bEmpty);
    EXPECT_DOUBLE_EQ(day.fTotalKwh, 11.0);
    EXPECT_DOUBLE_EQ(day.fPeakW, 2400.0);
    ASSERT_EQ(day.curve.size(), 2u) << "the half hour without readings splits the line";
    EXPECT_DOUBLE_EQ(day.curve[0].front().dMinute, 360.0);
    EXPECT_DOUBLE_EQ(day.curve[1].front().dMinute, 630.0);

    SHistoryFigures month;
    ASSERT_TRUE(LoadHistoryFigures(store, SHistoryPeriod::Month(2013, 6), month).Ok());
    ASSERT_EQ(month.bars.size(), 30u);
    EXPECT_DOUBLE_EQ(month.bars[9], 9.5);
    EXPECT_DOUBLE_EQ(month.bars[10], 11.0);
    EXPECT_FALSE(month.has[11]);
    EXPECT_DOUBLE_EQ(month.fTotalKwh, 20.5);

    SHistoryFigures year;
    ASSERT_TRUE(LoadHistoryFigures(store, SHistoryPeriod::Year(2013), year).Ok());
    EXPECT_DOUBLE_EQ(year.bars[1], 4.0);
    EXPECT_DOUBLE_EQ(year.bars[5], 20.5);
    EXPECT_DOUBLE_EQ(year.fTotalKwh, 24.5);
    double total = 0.0;
    ASSERT_TRUE(store.YearTotal(2013, total).Ok());
    EXPECT_DOUBLE_EQ(year.fTotalKwh, total);

    SHistoryFigures empty;
    ASSERT_TRUE(LoadHistoryFigures(store, SHistoryPeriod::Year(2012), empty).Ok());
    EXPECT_TRUE(empty.bEmpty);
}
