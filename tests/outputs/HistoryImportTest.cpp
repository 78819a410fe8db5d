#include "outputs/HistoryImport.h"
#include "platform/StopSignal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

#include "config/WorkbookLoader.h"
#include "platform/WallClock.h"
#include "support/HistoryDay.h"

namespace {

double Tenths(float v)
{
    return std::nearbyint(static_cast<double>(v) * 10.0) / 10.0;
}

// A curve of `minutes` minutes, a sample every 20 s, in a history workbook.
std::string WriteDay(const std::string& folder, std::int64_t start, int minutes,
                     const std::string& serial = "123456789012")
{
    CHistoryDay day;
    for (int s = 0; s < minutes * 60; s += 20)
        day.AddSample(static_cast<std::uint32_t>(s));
    return WriteHistoryWorkbook(folder, day, start, serial);
}

struct SRun {
    int status = -1;
    std::string out;
};

SRun RunHistoryTool(const std::string& args)
{
    const std::string command = std::string(ZELVAN_BINARY_DIR) + "/bin/zelvan-history " + args + " 2>/dev/null";
    SRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class HistoryImport : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tmDay1 = platform::FromLocal(2013, 1, 8, 7, 5, 0);
        m_tmDay2 = platform::FromLocal(2013, 1, 9, 7, 6, 0);
        m_strDay1 = WriteDay(m_folder.Path(), m_tmDay1, 120);
        WriteDay(m_folder.Path(), m_tmDay2, 60);
        // A workbook cut short by a failing disk, and one that is no workbook.
        std::filesystem::copy_file(m_strDay1, m_folder.Path() + "123456789012,3000,2013-01-10 07-05.xls");
        std::filesystem::resize_file(m_folder.Path() + "123456789012,3000,2013-01-10 07-05.xls",
                                     std::filesystem::file_size(m_strDay1) / 2);
        std::ofstream(m_folder.Path() + "notes.xls") << "a text that was saved under the wrong name\n";
        std::ofstream(m_folder.Path() + "readme.txt") << "not a workbook, not looked at\n";
    }

    CScratchFolder m_folder{"import"};
    std::int64_t m_tmDay1 = 0;
    std::int64_t m_tmDay2 = 0;
    std::string m_strDay1;
};

} // namespace

TEST_F(HistoryImport, ReadsTheProgramsOwnHistoryFilesOnceAndNamesTheDamagedOnes)
{
    CEnergyStore store;
    ASSERT_TRUE(store.Open(m_folder.Path() + "zelvan.db").Ok());
    const SImportSummary first = ImportHistoryFolder(store, m_folder.Path());
    EXPECT_EQ(first.Line(), "imported 2 files, 180 minutes, 2 skipped");
    ASSERT_EQ(first.skipped.size(), 2u);
    EXPECT_EQ(first.skipped[0].rfind("123456789012,3000,2013-01-10 07-05.xls: ", 0), 0u) << first.skipped[0];
    EXPECT_EQ(first.skipped[1].rfind("notes.xls: ", 0), 0u) << first.skipped[1];

    // Row by row what the file holds: the sample at each whole minute.
    std::vector<SEnergyMinute> minutes;
    ASSERT_TRUE(store.MinutesOfDay(2013, 1, 8, minutes).Ok());
    ASSERT_EQ(minutes.size(), 120u);
    for (std::size_t i : {std::size_t{0}, std::size_t{61}, std::size_t{119}}) {
        const auto second = static_cast<std::uint32_t>(i * 60);
        EXPECT_EQ(minutes[i].tmTime, m_tmDay1 + second);
        EXPECT_EQ(minutes[i].strSerial, "123456789012");
        EXPECT_DOUBLE_EQ(*minutes[i].aValue[kSeriesPac], Tenths(CHistoryDay::Pac(second)));
        EXPECT_DOUBLE_EQ(*minutes[i].aValue[kSeriesEtoday], Tenths(CHistoryDay::Etoday(second)));
        EXPECT_DOUBLE_EQ(*minutes[i].aValue[kSeriesUdc], Tenths(CHistoryDay::Udc(i * 3)));
        EXPECT_DOUBLE_EQ(*minutes[i].aValue[kSeriesState2], 2.0);
    }
    std::vector<SEnergyDay> days;
    ASSERT_TRUE(store.DaysOfMonth(2013, 1, days).Ok());
    ASSERT_EQ(days.size(), 2u);
    EXPECT_DOUBLE_EQ(days[0].fEnergyKwh, Tenths(CHistoryDay::Etoday(119 * 60)));
    EXPECT_EQ(days[0].tmFirst, m_tmDay1);
    EXPECT_EQ(days[1].tmLast, m_tmDay2 + 59 * 60);

    // Twice: nothing is read again, nothing added; a file written anew is
    // read again and adds only its new minutes.
    EXPECT_EQ(ImportHistoryFolder(store, m_folder.Path()).Line(), "imported 0 files, 0 minutes, 2 skipped");
    WriteDay(m_folder.Path(), m_tmDay2, 70);
    EXPECT_EQ(ImportHistoryFolder(store, m_folder.Path()).Line(), "imported 1 files, 10 minutes, 2 skipped");
    std::vector<SEnergyDay> again;
    ASSERT_TRUE(store.DaysOfMonth(2013, 1, again).Ok());
    EXPECT_DOUBLE_EQ(again[0].fEnergyKwh, days[0].fEnergyKwh);
    EXPECT_EQ(again[1].tmLast, m_tmDay2 + 69 * 60);
}

// A program that closes stops its import; the next import reads the rest.
TEST_F(HistoryImport, AStoppedImportReadsNothingMoreAndTheNextOneReadsTheRest)
{
    CEnergyStore store;
    ASSERT_TRUE(store.Open(m_folder.Path() + "zelvan.db").Ok());
    CStopSignal stop;
    stop.Request();
    EXPECT_EQ(ImportHistoryFolder(store, m_folder.Path(), &stop).nFiles, 0);
    EXPECT_EQ(ImportHistoryFolder(store, m_folder.Path()).Line(), "imported 2 files, 180 minutes, 2 skipped");
}

TEST_F(HistoryImport, ADamagedDatabaseIsRenamedAsideAndRebuiltFromTheFiles)
{
    const std::string path = m_folder.Path() + "zelvan.db";
    std::vector<SEnergyDay> before;
    {
        CEnergyStore store;
        ASSERT_TRUE(store.Open(path).Ok());
        (void)ImportHistoryFolder(store, m_folder.Path());
        ASSERT_TRUE(store.DaysOfMonth(2013, 1, before).Ok());
    }
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096);
        const std::string junk(4096 * 8, '\x7f');
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    CEnergyStore store;
    const SStoreResult opened = store.Open(path);
    ASSERT_EQ(opened.eStatus, SStoreResult::kStartedAnew) << opened.strMessage;
    EXPECT_TRUE(std::filesystem::exists(opened.strSetAside));
    EXPECT_EQ(ImportHistoryFolder(store, m_folder.Path()).Line(), "imported 2 files, 180 minutes, 2 skipped");
    std::vector<SEnergyDay> after;
    ASSERT_TRUE(store.DaysOfMonth(2013, 1, after).Ok());
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].fEnergyKwh, before[i].fEnergyKwh);
        EXPECT_EQ(after[i].tmPeak, before[i].tmPeak);
    }
}

TEST_F(HistoryImport, AHistoryFileAcrossTheRepeatedHourKeepsBothPasses)
{
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    CScratchFolder folder("import-dst");
    // From 01:30 summer time, three hours of the clock: 02:xx comes twice.
    const std::int64_t start = platform::FromLocal(2013, 10, 27, 1, 30, 0);
    WriteDay(folder.Path(), start, 180);
    CEnergyStore store;
    ASSERT_TRUE(store.Open(folder.Path() + "zelvan.db").Ok());
    EXPECT_EQ(ImportHistoryFolder(store, folder.Path()).Line(), "imported 1 files, 180 minutes, 0 skipped");
    std::vector<SEnergyMinute> minutes;
    ASSERT_TRUE(store.MinutesOfDay(2013, 10, 27, minutes).Ok());
    ASSERT_EQ(minutes.size(), 180u);
    for (std::size_t i = 0; i < minutes.size(); ++i)
        EXPECT_EQ(minutes[i].tmTime, start + static_cast<std::int64_t>(i) * 60) << i;
    EXPECT_EQ(minutes[30].nUtcOffset, 7200);
    EXPECT_EQ(minutes[90].nUtcOffset, 3600);
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST_F(HistoryImport, TheCommandLineToolImportsAndPrintsDaysMonthsAndMinutes)
{
    const std::string db = "--db '" + m_folder.Path() + "store/zelvan.db' ";
    // A query before there is a database, and bad arguments: a clear refusal.
    EXPECT_NE(RunHistoryTool(db + "days 2013-01").status, 0);
    for (const char* bad : {"", "days", "days 2013-1", "months 13", "minutes 2013-02-30", "export 2013", "--db"})
        EXPECT_EQ(RunHistoryTool(bad).status, 2) << bad;
    const SRun help = RunHistoryTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("minutes YYYY-MM-DD"), std::string::npos);

    SRun run = RunHistoryTool(db + "import '" + m_folder.Path() + "'");
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0], "imported 2 files, 180 minutes, 2 skipped");
    EXPECT_EQ(lines[1].rfind("skipped 123456789012,3000,2013-01-10 07-05.xls: ", 0), 0u) << lines[1];
    EXPECT_EQ(Lines(RunHistoryTool(db + "import '" + m_folder.Path() + "'").out)[0],
              "imported 0 files, 0 minutes, 2 skipped");

    run = RunHistoryTool(db + "days 2013-01");
    EXPECT_EQ(run.status, 0);
    lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0], "date,energy_kwh,peak_w,peak_time,first,last");
    char expected[128];
    std::snprintf(expected, sizeof expected, "2013-01-08,%.1f,%.1f,", CHistoryDay::Etoday(119 * 60),
                  CHistoryDay::Pac(3540));
    EXPECT_EQ(lines[1].rfind(expected, 0), 0u) << lines[1] << " / " << expected;

    run = RunHistoryTool(db + "months 2013");
    lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0], "month,energy_kwh");
    std::snprintf(expected, sizeof expected, "2013-01,%.1f",
                  Tenths(CHistoryDay::Etoday(119 * 60)) + Tenths(CHistoryDay::Etoday(59 * 60)));
    EXPECT_EQ(lines[1], expected);

    run = RunHistoryTool(db + "minutes 2013-01-08");
    lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 121u) << run.out;
    EXPECT_EQ(lines[0], "time,Udc(V),Uac(V),f(Hz),Pac(W),Etoday(kWh),Etotal(kWh),Ttoday(min),Ttotal(h),T(°C),"
                        "Iac-Shift,DCI(mA),State 1,State 2");
    EXPECT_EQ(lines[1].substr(0, 19), "2013-01-08T07:05:00");
    EXPECT_NE(lines[1].find(",300,"), std::string::npos) << lines[1]; // Udc of the first sample
}

TEST_F(HistoryImport, AFileThatTakesTheReaderDownIsSkippedAndTheOthersRead)
{
    // A reader that dies on one file, as FreeXL could on a crafted one.
    const std::string reader = m_folder.Path() + "dying-reader";
    std::ofstream(reader) << "#!/bin/sh\nshift\nfor f; do case \"$f\" in *2013-01-08*) kill -SEGV $$;; esac\n"
                          << ZELVAN_BINARY_DIR << "/bin/zelvan-workbook-reader --cells \"$f\" || exit 1; done\n";
    std::filesystem::permissions(reader, std::filesystem::perms::owner_all);
    SetWorkbookReaderPath(reader);
    CEnergyStore store;
    ASSERT_TRUE(store.Open(m_folder.Path() + "zelvan.db").Ok());
    const SImportSummary summary = ImportHistoryFolder(store, m_folder.Path());
    SetWorkbookReaderPath("");
    EXPECT_EQ(summary.Line(), "imported 1 files, 60 minutes, 3 skipped");
    ASSERT_EQ(summary.skipped.size(), 3u);
    EXPECT_EQ(summary.skipped[0], "123456789012,3000,2013-01-08 07-05.xls: Damaged file (the reader stopped)");
}
