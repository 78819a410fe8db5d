#include "model/TestResult.h"
#include "model/ValueStore.h"
#include "model/RegisterScale.h"
#include "platform/Tick.h"
#include "platform/WallClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

// Feeds one index-map polling cycle (registers 11 to 41) with the raw words
// given by `word(reg)`, as the value handler numbers them.
template <class F> void FeedIndexCycle(CTestResult& store, F word)
{
    for (int reg = 11; reg <= 41; ++reg)
        store.StoreIndexRegister(reg, word(reg), GetRegisterScale(0, reg));
}

} // namespace

TEST(TestResult, IndexMapDecodesEachKind)
{
    CTestResult store;
    store.StoreIndexRegister(35, 65526, 1.0f);  // signed word
    store.StoreIndexRegister(31, 65526, 10.0f); // the temperature is unsigned
    store.StoreIndexRegister(27, 0, 1.0f);
    store.StoreIndexRegister(28, 7, 1.0f); // pair, whole
    store.StoreIndexRegister(29, 0, 1.0f);
    store.StoreIndexRegister(30, 79, 10.0f); // 7.9 truncates to 7, never rounds to 8
    store.StoreIndexRegister(32, 65535, 1.0f);
    store.StoreIndexRegister(39, 1, 1.0f);
    store.StoreIndexRegister(40, 0x8000, 1.0f);
    store.StoreIndexRegister(41, 3, 10.0f); // integer: the scale plays no part
    store.StoreIndexRegister(25, 2, 10.0f);
    store.StoreIndexRegister(26, 10, 10.0f);

    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesDci, 0), -10.0f);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesTemp, 0), 6552.6f);
    EXPECT_EQ(store.GetUInt(kSeriesTtoday, 0), 7u);
    EXPECT_EQ(store.GetUInt(kSeriesTtotal, 0), 7u);
    EXPECT_EQ(store.GetUInt(kSeriesIacShift, 0), 65535u);
    EXPECT_EQ(store.GetUInt(kSeriesState1, 0), 98304u);
    EXPECT_EQ(store.GetUInt(kSeriesState2, 0), 3u);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesEtotal, 0), 13108.2f); // (2 * 65536 + 10) / 10
    // Registers that are not sample registers leave the sample times alone.
    EXPECT_EQ(store.GetTimeCount(), 0u);
}

TEST(TestResult, FaultWordJoinsUnsignedAndRestartsWithItsHighWord)
{
    CTestResult store;
    store.StoreIndexRegister(39, 0x8000, 1.0f);
    store.StoreIndexRegister(40, 0xFFFF, 1.0f);
    store.StoreIndexRegister(39, 0, 1.0f);
    store.StoreIndexRegister(40, 4, 1.0f);
    // A second low word without a new high word adds onto what was built.
    store.StoreIndexRegister(40, 1, 1.0f);
    ASSERT_EQ(store.GetSize(kSeriesState1), 3u);
    EXPECT_EQ(store.GetUInt(kSeriesState1, 0), 0x8000FFFFu);
    EXPECT_EQ(store.GetUInt(kSeriesState1, 1), 4u);
    EXPECT_EQ(store.GetUInt(kSeriesState1, 2), 5u);
    // The fault word never touches the pair latch.
    EXPECT_EQ(store.GetHighWord(), 0u);
}

TEST(TestResult, UnknownRegistersChangeNothingAndTheLatchIsShared)
{
    CTestResult store;
    store.StoreIndexRegister(22, 3, 1.0f);
    EXPECT_FALSE(store.StoreIndexRegister(33, 9, 1.0f));
    EXPECT_FALSE(store.StoreIndexRegister(30017, 9, 1.0f)); // an address-map register in the index map
    EXPECT_FALSE(store.StoreAddressRegister(30002, 9, 1.0f));
    EXPECT_FALSE(store.StoreAddressRegister(22, 9, 1.0f));
    EXPECT_EQ(store.GetHighWord(), 3u);
    for (int s = 0; s < kSeriesCount; ++s)
        EXPECT_EQ(store.GetSize(s), 0u) << SeriesTitle(s);
    EXPECT_EQ(store.GetTimeCount(), 0u);

    // The latch is not cleared after use: a pair without its own latch
    // reads the last one written.
    store.StoreIndexRegister(23, 0, 1.0f);
    store.StoreIndexRegister(26, 0, 1.0f);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesPac, 0), 196608.0f);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesEtotal, 0), 196608.0f);
}

TEST(TestResult, AddressMapDecodesWithTheScaleMagnitude)
{
    CTestResult store;
    store.StoreAddressRegister(30017, 1, 1.0f);
    store.StoreAddressRegister(30018, 5, 1.0f);
    store.StoreAddressRegister(31019, 65526, -1.0f); // a negative table scale only marks a signed quantity
    store.StoreAddressRegister(30013, 5001, -100.0f);
    store.StoreAddressRegister(30023, 125, 1.0f);
    store.StoreAddressRegister(30024, 1, 1.0f);
    store.StoreAddressRegister(30025, 2, 1.0f);
    store.StoreAddressRegister(30026, 128, 1.0f);
    store.StoreAddressRegister(30027, 0, 1.0f);
    store.StoreAddressRegister(30028, 3, 1.0f);
    store.StoreAddressRegister(30036, 41, 1.0f);
    store.StoreAddressRegister(40001, 0x0001, 1.0f);
    store.StoreAddressRegister(40002, 0x2000, 1.0f);

    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesPac, 0), 65541.0f);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesDci, 0), -10.0f);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesFreq, 0), 50.01f);
    EXPECT_EQ(store.GetUInt(kSeriesTtoday, 0), 125u);
    EXPECT_EQ(store.GetUInt(kSeriesTtotal, 0), 65538u);
    EXPECT_EQ(store.GetUInt(kSeriesState2, 0), 128u);
    EXPECT_EQ(store.GetUInt(kSeriesState1, 0), 3u);
    EXPECT_EQ(store.GetUInt(kSeriesInsulation, 0), 41u);
    EXPECT_EQ(store.GetModelCode(), 0x12000);
    EXPECT_EQ(store.GetSize(kSeriesIacShift), 0u);
}

TEST(TestResult, ZeroScaleStoresNoGarbage)
{
    // A missing catalogue entry must not turn a whole-number series into an
    // undefined conversion of infinity.
    CTestResult store;
    store.StoreIndexRegister(32, 5, 0.0f);
    store.StoreIndexRegister(29, 0, 1.0f);
    store.StoreIndexRegister(30, 5, -1.0f); // negative: wraps as an unsigned cell would
    EXPECT_EQ(store.GetUInt(kSeriesIacShift, 0), 0u);
    EXPECT_EQ(store.GetUInt(kSeriesTtotal, 0), 0xFFFFFFFBu);
}

TEST(TestResult, CycleStampsItsSampleTimeAndKeepsSeriesAligned)
{
    platform::CFakeTicks ticks(5000);
    CTestResult store;
    FeedIndexCycle(store, [](int reg) { return static_cast<std::uint32_t>(reg == 23 ? 1234 : 100 + reg); });
    ticks.Advance(2500);
    FeedIndexCycle(store, [](int reg) { return static_cast<std::uint32_t>(reg == 23 ? 2345 : 200 + reg); });

    ASSERT_EQ(store.GetTimeCount(), 2u);
    EXPECT_EQ(store.GetTime(0), 5000u);
    EXPECT_EQ(store.GetTime(1), 7500u);
    for (int s = 0; s < kSeriesCount; ++s)
        EXPECT_EQ(store.GetSize(s), s == kSeriesInsulation ? 0u : 2u) << SeriesTitle(s);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesUdc, 1), 21.1f);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesPac, 0), (122 * 65536 + 1234) / 10.0f);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesPac, 1), (222 * 65536 + 2345) / 10.0f);
    EXPECT_EQ(store.GetUInt(kSeriesState2, 1), 241u);
}

TEST(TestResult, ElementAccessReportsEveryBadIndex)
{
    CTestResult store;
    EXPECT_THROW(store.GetTime(0), std::out_of_range);
    EXPECT_THROW(store.GetFloat(kSeriesPac, 0), std::out_of_range);
    store.StoreIndexRegister(24, 10, 10.0f);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesEtoday, 0), 1.0f);
    EXPECT_DOUBLE_EQ(store.GetValue(kSeriesEtoday, 0), 1.0);
    EXPECT_THROW(store.GetFloat(kSeriesEtoday, 1), std::out_of_range);
    EXPECT_THROW(store.GetValue(kSeriesState1, 0), std::out_of_range);
    EXPECT_THROW(store.GetUInt(kSeriesEtoday, 0), std::invalid_argument); // wrong type
    EXPECT_THROW(store.GetFloat(kSeriesCount, 0), std::invalid_argument);
    EXPECT_THROW(store.GetFloat(-1, 0), std::invalid_argument);
    EXPECT_EQ(store.GetSize(kSeriesCount), 0u);
    EXPECT_THROW(store.GetSampleWallTime(0, 0), std::out_of_range);
}

TEST(TestResult, RemoveAllSamplesFreesTheSeriesButKeepsTheDecodingState)
{
    CTestResult store;
    store.StoreIndexRegister(44, 30, 1.0f);
    store.StoreIndexRegister(39, 2, 1.0f);
    FeedIndexCycle(store, [](int reg) { return static_cast<std::uint32_t>(reg); });
    store.StoreIndexRegister(39, 2, 1.0f);
    ASSERT_GT(store.GetMemoryBytes(), 0u);

    store.RemoveAllSamples();
    EXPECT_EQ(store.GetTimeCount(), 0u);
    for (int s = 0; s < kSeriesCount; ++s)
        EXPECT_EQ(store.GetSize(s), 0u);
    EXPECT_EQ(store.GetMemoryBytes(), 0u);
    EXPECT_EQ(store.GetModelCode(), 30);
    EXPECT_EQ(store.GetHighWord(), 29u);
    EXPECT_EQ(store.GetFaultWord(), 0x20000u); // a low word arriving next still joins this high word
    store.StoreIndexRegister(40, 1, 1.0f);
    EXPECT_EQ(store.GetUInt(kSeriesState1, 0), 0x20001u);
}

TEST(TestResult, CopyForReadersIsIndependentOfLaterAppends)
{
    CTestResult store;
    FeedIndexCycle(store, [](int reg) { return static_cast<std::uint32_t>(reg); });
    const CDaySamples copy = store.TakeCopy();
    FeedIndexCycle(store, [](int reg) { return static_cast<std::uint32_t>(reg); });
    store.RemoveAllSamples();
    EXPECT_EQ(copy.GetTimeCount(), 1u);
    EXPECT_EQ(copy.GetSize(kSeriesPac), 1u);
    EXPECT_FLOAT_EQ(copy.GetFloat(kSeriesUdc, 0), 1.1f);
}

TEST(TestResult, ReaderThreadWorksOnItsCopyWhileAppendsGoOn)
{
    // The export worker's situation: its copy is taken on the appending
    // thread and handed over; the appends go on while it reads. Run under
    // the thread sanitizer this shows the two never share storage.
    CTestResult store;
    for (int i = 0; i < 200; ++i)
        FeedIndexCycle(store, [i](int reg) { return static_cast<std::uint32_t>(reg + i); });
    std::atomic<bool> done{false};
    double sum = 0;
    std::thread reader([copy = store.TakeCopy(), &sum, &done] {
        for (std::size_t i = 0; i < copy.GetSize(kSeriesPac); ++i)
            for (int s = 0; s < kSeriesCount; ++s)
                if (i < copy.GetSize(s))
                    sum += copy.GetValue(s, i);
        done = true;
    });
    for (int i = 0; i < 2000; ++i)
        FeedIndexCycle(store, [i](int reg) { return static_cast<std::uint32_t>(reg + i); });
    reader.join();
    EXPECT_TRUE(done);
    EXPECT_GT(sum, 0.0);
    EXPECT_EQ(store.GetTimeCount(), 2200u);
}

TEST(ValueStore, StoresOnlyWhileReadingUnlessTheDialogIsOpen)
{
    CTestResult store;
    // Link idle (4) or writing (3): the value handler's reply is not running data.
    EXPECT_FALSE(StoreRegisterValue(store, 0, 24, 10, "", false, 4, 10.0f));
    EXPECT_FALSE(StoreRegisterValue(store, 0, 24, 10, "", false, 3, 10.0f));
    EXPECT_EQ(store.GetSize(kSeriesEtoday), 0u);
    EXPECT_TRUE(StoreRegisterValue(store, 0, 24, 10, "", false, 2, 10.0f));
    EXPECT_TRUE(StoreRegisterValue(store, 1, 24, 20, "", true, 4, 10.0f));
    EXPECT_TRUE(StoreRegisterValue(store, 2, 30001, 3000, "", false, 2, 10.0f));
    EXPECT_FALSE(StoreRegisterValue(store, 2, 24, 20, "", false, 2, 10.0f)); // no such address
    EXPECT_EQ(store.GetSize(kSeriesEtoday), 2u);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesUdc, 0), 300.0f);
}

TEST(ValueStore, VersionExceptionGivesWholeWattsOnRegister23Only)
{
    // The catalogue's scales: 10 for registers 23 and 24.
    for (const char* version : {"V5.00", "V8.05", "V8.11"}) {
        CTestResult store;
        StoreRegisterValue(store, 0, 22, 0, version, false, 2);
        StoreRegisterValue(store, 0, 23, 1234, version, false, 2);
        StoreRegisterValue(store, 0, 24, 1234, version, false, 2);
        EXPECT_FLOAT_EQ(store.GetFloat(kSeriesPac, 0), 1234.0f) << version;
        EXPECT_FLOAT_EQ(store.GetFloat(kSeriesEtoday, 0), 123.4f) << version;
    }
    for (const char* version : {"", "V8.06", "V8.05 ", "v8.05"}) {
        CTestResult store;
        StoreRegisterValue(store, 1, 22, 0, version, false, 2);
        StoreRegisterValue(store, 1, 23, 1234, version, false, 2);
        EXPECT_FLOAT_EQ(store.GetFloat(kSeriesPac, 0), 123.4f) << version;
    }
    // The address map's power register is not 23: no exception there.
    CTestResult store;
    StoreRegisterValue(store, 2, 30001, 1234, "V8.05", false, 2);
    EXPECT_FLOAT_EQ(store.GetFloat(kSeriesUdc, 0), 123.4f);
}

class DayClock : public ::testing::Test {
protected:
    static std::int64_t At(int year, int month, int day, int hour, int minute, int second)
    {
        return platform::FromLocal(year, month, day, hour, minute, second);
    }
};

TEST_F(DayClock, SampleTimeAndMinuteOfTheCurve)
{
    platform::CFakeTicks ticks(1000);
    CTestResult store;
    store.StoreIndexRegister(11, 0, 10.0f);
    ticks.Set(61500);
    store.StoreIndexRegister(11, 0, 10.0f);

    const std::int64_t start = At(2026, 3, 14, 10, 0, 0);
    const std::int64_t t = store.GetSampleWallTime(1, start);
    EXPECT_EQ(t, At(2026, 3, 14, 10, 1, 0)); // 60.5 s counts as 60
    EXPECT_EQ(CurveMinute(t, start), 1);
    EXPECT_FALSE(IsDayChange(t, start));
    // Seconds play no part: 10:00:59 is still minute 0.
    EXPECT_EQ(CurveMinute(At(2026, 3, 14, 10, 0, 59), start), 0);
}

TEST_F(DayClock, MidnightGivesANegativeMinuteAndADayChange)
{
    const std::int64_t start = At(2026, 3, 14, 23, 55, 0);
    const std::int64_t t = At(2026, 3, 15, 0, 0, 30);
    EXPECT_EQ(CurveMinute(t, start), -1435);
    EXPECT_TRUE(IsDayChange(t, start));
}

TEST_F(DayClock, SameDayNumberInAnotherMonthOrYearIsANewDay)
{
    const std::int64_t start = At(2026, 3, 14, 9, 0, 0);
    EXPECT_TRUE(IsDayChange(At(2026, 4, 14, 9, 30, 0), start));
    EXPECT_TRUE(IsDayChange(At(2027, 3, 14, 9, 30, 0), start));
    EXPECT_FALSE(IsDayChange(At(2026, 3, 14, 23, 59, 59), start));
}

TEST_F(DayClock, WrappedTickCounterStillGivesTheElapsedSeconds)
{
    platform::CFakeTicks ticks(0xFFFFF000u); // 4096 ms before the wrap
    CTestResult store;
    store.StoreIndexRegister(11, 0, 10.0f);
    ticks.Advance(10000);
    store.StoreIndexRegister(11, 0, 10.0f);
    EXPECT_LT(store.GetTime(1), store.GetTime(0));
    const std::int64_t start = At(2026, 3, 14, 12, 0, 0);
    EXPECT_EQ(store.GetSampleWallTime(1, start), start + 10);
}
