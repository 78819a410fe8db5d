#include "outputs/EnergyStore.h"

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "live/HistoryKeeper.h"
#include "platform/MessageBox.h"
#include "platform/WallClock.h"
#include "support/HistoryDay.h"

namespace {

const SHistoryInverter kInverter{"123456789012", 3000, 1};

double Tenths(float v)
{
    return std::nearbyint(static_cast<double>(v) * 10.0) / 10.0;
}

SEnergyMinute Minute(std::int64_t t, double etoday, double pac, const std::string& serial = "123456789012")
{
    SEnergyMinute m;
    m.strSerial = serial;
    m.tmTime = t;
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    m.nUtcOffset = static_cast<int>(tm.tm_gmtoff);
    m.aValue[kSeriesEtoday] = etoday;
    m.aValue[kSeriesPac] = pac;
    return m;
}

std::size_t MinuteCount(CEnergyStore& store)
{
    std::int64_t first = 0, last = 0;
    std::vector<SEnergyMinute> minutes;
    EXPECT_TRUE(store.Span(first, last).Ok());
    EXPECT_TRUE(store.MinutesBetween(first, last + 1, minutes).Ok());
    return minutes.size();
}

// The time zone for the life of the object.
class CTimeZone {
public:
    explicit CTimeZone(const char* tz)
    {
        const char* old = std::getenv("TZ");
        m_bHad = old != nullptr;
        if (m_bHad)
            m_strOld = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~CTimeZone()
    {
        if (m_bHad)
            ::setenv("TZ", m_strOld.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    CTimeZone(const CTimeZone&) = delete;
    CTimeZone& operator=(const CTimeZone&) = delete;

private:
    bool m_bHad = false;
    std::string m_strOld;
};

} // namespace

TEST(EnergyStore, MinuteAndDayRowsAreWrittenAsADayIsPolled)
{
    CScratchFolder dir("store-feed");
    auto store = std::make_shared<CEnergyStore>();
    ASSERT_EQ(store->Open(EnergyStorePath(dir.Path() + "hisdata")).eStatus, SStoreResult::kOk);
    CHistoryDay day;
    CHistoryKeeper keeper(day);
    keeper.SetAppDir(dir.Path());
    const std::int64_t start = platform::FromLocal(2013, 1, 8, 10, 0, 0);
    keeper.SetCurveStart(start);
    keeper.SetMinuteSink(EnergyStoreMinuteSink(store));
    auto cycle = [&](std::uint32_t second) {
        day.AddSample(second);
        keeper.CheckHistory(day.GetTimeCount() - 1, kInverter);
        keeper.Flush();
    };

    // A cycle every 20 s from 10:00:00 to 10:02:40: minutes 10:00 and 10:01
    // are complete, each kept as its last sample; 10:02 is still running.
    for (std::uint32_t s = 0; s < 180; s += 20)
        cycle(s);
    std::vector<SEnergyMinute> minutes;
    ASSERT_TRUE(store->MinutesOfDay(2013, 1, 8, minutes).Ok());
    ASSERT_EQ(minutes.size(), 2u);
    EXPECT_EQ(minutes[0].tmTime, start + 40);
    EXPECT_EQ(minutes[1].tmTime, start + 100);
    EXPECT_EQ(minutes[1].strSerial, "123456789012");
    EXPECT_DOUBLE_EQ(*minutes[1].aValue[kSeriesPac], Tenths(CHistoryDay::Pac(100)));
    EXPECT_DOUBLE_EQ(*minutes[1].aValue[kSeriesUdc], Tenths(CHistoryDay::Udc(5)));
    EXPECT_DOUBLE_EQ(*minutes[1].aValue[kSeriesFreq], 50.0);
    EXPECT_DOUBLE_EQ(*minutes[1].aValue[kSeriesState2], 2.0);
    EXPECT_FALSE(minutes[1].aValue[kSeriesInsulation].has_value());

    // Exit writes the running minute too; the day row follows the minutes.
    keeper.WriteBeforeExit();
    ASSERT_TRUE(store->MinutesOfDay(2013, 1, 8, minutes).Ok());
    ASSERT_EQ(minutes.size(), 3u);
    EXPECT_EQ(minutes[2].tmTime, start + 160);
    std::vector<SEnergyDay> days;
    ASSERT_TRUE(store->DaysOfMonth(2013, 1, days).Ok());
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].nDay, 8);
    EXPECT_DOUBLE_EQ(days[0].fEnergyKwh, Tenths(CHistoryDay::Etoday(160)));
    EXPECT_DOUBLE_EQ(days[0].fPeakW, Tenths(CHistoryDay::Pac(160)));
    EXPECT_EQ(days[0].tmPeak, start + 160);
    EXPECT_EQ(days[0].tmFirst, start + 40);
    EXPECT_EQ(days[0].tmLast, start + 160);
    // The history file is written as before.
    EXPECT_TRUE(std::filesystem::exists(keeper.Folder() + keeper.HistoryFile()));
}

TEST(EnergyStore, AFailedWriteIsAResultAndOneMessageForARunOfThem)
{
    CScratchFolder dir("store-full");
    const std::string path = dir.Path() + "zelvan.db";
    // A disk that fills up: the file size limit of a child process.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CEnergyStore store;
        if (!store.Open(path).Ok())
            ::_exit(10);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::int64_t t = 1357628400;
        for (int i = 0; i < 100000; ++i, t += 60) {
            const SStoreResult r = store.WriteMinutes({Minute(t, i / 10.0, 100.0)});
            if (r.eStatus == SStoreResult::kFailed)
                ::_exit(r.strMessage.find("Couldn't write the energy history") == 0 ? 0 : 11);
        }
        ::_exit(12); // never full
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // What was committed before the disk was full is there.
    CEnergyStore store;
    ASSERT_EQ(store.Open(path).eStatus, SStoreResult::kOk);
    EXPECT_GT(MinuteCount(store), 0u);

    // The keeper's sink: one box for a run of failures, another after a success.
    platform::CMessageBoxRecorder boxes;
    auto shared = std::make_shared<CEnergyStore>();
    const auto sink = EnergyStoreMinuteSink(shared); // not open: every write fails
    SMonitorReading reading;
    reading.inverter.strSerial = "123456789012";
    reading.tmWall = 1357628400;
    sink(reading);
    sink(reading);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find("the history files are written as before"), std::string::npos);
    ASSERT_TRUE(shared->Open(dir.Path() + "other.db").Ok());
    sink(reading);
    shared->Close();
    sink(reading);
    EXPECT_EQ(boxes.Count(), 2u);
}

TEST(EnergyStore, AKilledWriterLeavesADatabaseThatOpensWithAtMostTheLastMinuteMissing)
{
    CScratchFolder dir("store-kill");
    const std::string path = dir.Path() + "zelvan.db";
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        CEnergyStore store;
        if (!store.Open(path).Ok())
            ::_exit(1);
        std::int64_t t = 1357628400;
        for (std::uint32_t i = 1;; ++i, t += 60) {
            if (!store.WriteMinutes({Minute(t, i / 10.0, 100.0 + i)}).Ok())
                ::_exit(2);
            if (::write(fds[1], &i, sizeof i) != sizeof i) // minutes committed so far
                ::_exit(3);
        }
    }
    ::close(fds[1]);
    std::uint32_t committed = 0;
    while (committed < 300 && ::read(fds[0], &committed, sizeof committed) == sizeof committed) {
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;
    for (std::uint32_t more = 0; ::read(fds[0], &more, sizeof more) == sizeof more;)
        committed = more;
    ::close(fds[0]);

    CEnergyStore store;
    ASSERT_EQ(store.Open(path).eStatus, SStoreResult::kOk);
    const std::size_t held = MinuteCount(store);
    EXPECT_GE(held, committed);    // every minute it reported is there
    EXPECT_LE(held, committed + 1); // and at most the one in flight besides
    std::vector<SEnergyDay> days;
    ASSERT_TRUE(store.DaysOfMonth(2013, 1, days).Ok());
    ASSERT_FALSE(days.empty());
    EXPECT_TRUE(store.WriteMinutes({Minute(1357628400 + 60 * 100000, 1.0, 1.0)}).Ok());
}

TEST(EnergyStore, ADamagedOrNewerDatabaseIsSetAsideAndAnEmptyOneStarted)
{
    CScratchFolder dir("store-damaged");
    const std::string path = dir.Path() + "zelvan.db";
    auto fill = [&] {
        CEnergyStore store;
        ASSERT_TRUE(store.Open(path).Ok());
        std::vector<SEnergyMinute> minutes;
        for (int i = 0; i < 3000; ++i)
            minutes.push_back(Minute(1357628400 + 60 * i, i / 100.0, 200.0));
        ASSERT_TRUE(store.WriteMinutes(minutes).Ok());
    };
    auto reopen = [&](const char* kind) {
        CEnergyStore store;
        const SStoreResult r = store.Open(path);
        EXPECT_EQ(r.eStatus, SStoreResult::kStartedAnew) << kind << ": " << r.strMessage;
        EXPECT_NE(r.strSetAside.find(std::string("zelvan.db.") + kind + "-"), std::string::npos) << r.strSetAside;
        EXPECT_TRUE(std::filesystem::exists(r.strSetAside));
        EXPECT_NE(r.strMessage.find(r.strSetAside), std::string::npos);
        EXPECT_EQ(MinuteCount(store), 0u);
        EXPECT_TRUE(store.WriteMinutes({Minute(1357628400, 1.0, 1.0)}).Ok());
        std::filesystem::remove(r.strSetAside);
    };

    // Pages of the table trampled.
    fill();
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096 * 3);
        const std::string junk(4096 * 4, '\x5a');
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    reopen("damaged");
    // Not a database at all.
    std::filesystem::remove(path);
    std::ofstream(path) << "this is not a database, and it is long enough to have a header of sixteen bytes";
    reopen("damaged");
    // Written by a newer program.
    std::filesystem::remove(path);
    fill();
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    reopen("newer");
}

TEST(EnergyStore, MonthAndYearTotalsAreTheSumsOfTheDayRows)
{
    CScratchFolder dir("store-totals");
    CEnergyStore store;
    ASSERT_TRUE(store.Open(dir.Path() + "zelvan.db").Ok());
    // Two inverters, a reading an hour from 06:00 to 18:00 on random days.
    std::mt19937 random(7);
    for (const char* serial : {"111111111111", "222222222222"}) {
        std::vector<SEnergyMinute> minutes;
        for (int day = 0; day < 400; day += 1 + static_cast<int>(random() % 3)) {
            const std::int64_t morning = platform::FromLocal(2012, 12, 20 + day, 6, 0, 0);
            const double kwh = static_cast<double>(random() % 300) / 10.0;
            for (int h = 0; h <= 12; ++h)
                minutes.push_back(Minute(morning + 3600 * h, kwh * h / 12.0, 100.0 * h, serial));
        }
        ASSERT_TRUE(store.WriteMinutes(minutes).Ok());
    }
    for (const std::string serial : {"", "111111111111", "222222222222"}) {
        SCOPED_TRACE(serial);
        std::vector<SEnergyMonth> months;
        ASSERT_TRUE(store.MonthsOfYear(2013, months, serial).Ok());
        ASSERT_EQ(months.size(), 12u);
        double year = 0.0;
        std::int64_t yearTenths = 0;
        for (const SEnergyMonth& m : months) {
            std::vector<SEnergyDay> days;
            ASSERT_TRUE(store.DaysOfMonth(2013, m.nMonth, days, serial).Ok());
            std::int64_t tenths = 0;
            for (const SEnergyDay& d : days)
                tenths += std::llround(d.fEnergyKwh * 10.0);
            EXPECT_EQ(std::llround(m.fEnergyKwh * 10.0), tenths) << m.nMonth;
            EXPECT_EQ(m.nDays, static_cast<int>(days.size()));
            double total = 0.0;
            ASSERT_TRUE(store.MonthTotal(2013, m.nMonth, total, serial).Ok());
            EXPECT_EQ(std::llround(total * 10.0), tenths);
            yearTenths += tenths;
        }
        ASSERT_TRUE(store.YearTotal(2013, year, serial).Ok());
        EXPECT_EQ(std::llround(year * 10.0), yearTenths);
    }
    // All inverters: each day is the sum of the two.
    std::vector<SEnergyDay> all, one, two;
    ASSERT_TRUE(store.DaysOfMonth(2013, 6, all).Ok());
    ASSERT_TRUE(store.DaysOfMonth(2013, 6, one, "111111111111").Ok());
    ASSERT_TRUE(store.DaysOfMonth(2013, 6, two, "222222222222").Ok());
    double sum = 0.0;
    for (const auto* list : {&one, &two})
        for (const SEnergyDay& d : *list)
            sum += d.fEnergyKwh;
    double allSum = 0.0;
    for (const SEnergyDay& d : all)
        allSum += d.fEnergyKwh;
    EXPECT_NEAR(allSum, sum, 1e-6);
    EXPECT_LE(all.size(), one.size() + two.size());
}

TEST(EnergyStore, TheRepeatedHourWhenDaylightSavingEndsIsKept)
{
    CTimeZone berlin("Europe/Berlin");
    CScratchFolder dir("store-dst");
    CEnergyStore store;
    ASSERT_TRUE(store.Open(dir.Path() + "zelvan.db").Ok());
    // 2013-10-27: 03:00 summer time becomes 02:00 winter time. A minute each
    // from 01:30 to 03:30 local: 180 minutes, 02:00 to 02:59 twice.
    const std::int64_t first = platform::FromLocal(2013, 10, 27, 1, 30, 0);
    std::vector<SEnergyMinute> minutes;
    for (int i = 0; i < 180; ++i)
        minutes.push_back(Minute(first + 60 * i, i / 10.0, 100.0));
    int added = 0;
    ASSERT_TRUE(store.WriteMinutes(minutes, 3000, &added).Ok());
    EXPECT_EQ(added, 180);
    std::vector<SEnergyMinute> day;
    ASSERT_TRUE(store.MinutesOfDay(2013, 10, 27, day).Ok());
    ASSERT_EQ(day.size(), 180u);
    EXPECT_EQ(day[30].nUtcOffset, 7200);  // 02:00 summer time
    EXPECT_EQ(day[90].nUtcOffset, 3600);  // 02:00 again, winter time
    EXPECT_DOUBLE_EQ(*day[90].aValue[kSeriesEtoday], 9.0);
    std::vector<SEnergyDay> days;
    ASSERT_TRUE(store.DaysOfMonth(2013, 10, days).Ok());
    ASSERT_EQ(days.size(), 1u);
    EXPECT_DOUBLE_EQ(days[0].fEnergyKwh, 17.9);
    EXPECT_EQ(days[0].tmLast - days[0].tmFirst, 179 * 60);
}
