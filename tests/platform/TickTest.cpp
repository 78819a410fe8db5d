#include "platform/Tick.h"
#include "platform/WallClock.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Tick, ModularComparisonSurvivesTheWrap)
{
    const DWORD beforeWrap = 0xFFFFFF00u;
    const DWORD afterWrap = 0x00000100u; // 512 ms later, across the wrap
    EXPECT_EQ(TickDiff(afterWrap, beforeWrap), 512u);
    EXPECT_TRUE(TickAfter(afterWrap, beforeWrap));
    EXPECT_FALSE(TickAfter(beforeWrap, afterWrap));
    EXPECT_FALSE(TickAfter(afterWrap, afterWrap));
}

TEST(Tick, FakeTicksReplaceAndRestoreTheClock)
{
    {
        CFakeTicks ticks(0xFFFFFFF0u);
        EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
        ticks.Advance(0x20);
        EXPECT_EQ(GetTickCount(), 0x10u);
    }
    // The real clock moves on its own again.
    const DWORD a = GetTickCount();
    EXPECT_LT(TickDiff(GetTickCount(), a), 1000u);
}

TEST(WallClock, LocalBreakdownRoundTrips)
{
    const std::int64_t s = FromLocal(2013, 1, 8, 7, 5, 30);
    const LocalTime back = ToLocal(s);
    EXPECT_EQ(back.nYear, 2013);
    EXPECT_EQ(back.nMonth, 1);
    EXPECT_EQ(back.nDay, 8);
    EXPECT_EQ(back.nHour, 7);
    EXPECT_EQ(back.nMinute, 5);
    EXPECT_EQ(back.nSecond, 30);

    CFakeWallClock clock(s);
    EXPECT_EQ(WallNow(), s);
    clock.Advance(60);
    EXPECT_EQ(ToLocal(WallNow()).nMinute, 6);
}
