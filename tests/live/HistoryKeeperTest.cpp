#include "live/HistoryKeeper.h"

#include "model/TestResult.h"
#include "platform/MessageBox.h"
#include "platform/WallClock.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A store filled by sample time (ms after the curve's first sample).
class CStore : public CTestResult {
public:
    void AddRecord(std::uint32_t ms)
    {
        m_adwTime.push_back(1000u + ms);
        for (int s = 0; s < kSeriesInsulation; ++s) {
            if (IsFloatSeries(s))
                m_afSeries[s].push_back(1.0f);
            else
                m_adwSeries[s].push_back(1u);
        }
    }
};

// The saves the writer asked for: path and data rows, in order.
struct SSaves {
    std::mutex lock;
    std::vector<std::pair<std::string, int>> saves;
};

class CCountingSheet : public ISpreadsheet {
public:
    explicit CCountingSheet(std::shared_ptr<SSaves> saves) : m_saves(std::move(saves)) {}
    bool NewWorkbook() override { return true; }
    bool FirstSheet() override { return true; }
    bool SetCell(std::string_view cell, std::string_view) override
    {
        m_nRows += cell[0] == 'A' && cell != "A1" && cell != "A2";
        return true;
    }
    CSaveResult SaveAs(const std::string& path) override
    {
        std::lock_guard<std::mutex> lock(m_saves->lock);
        m_saves->saves.emplace_back(path, m_nRows);
        return {true, {}};
    }
    void Quit() override {}

private:
    std::shared_ptr<SSaves> m_saves;
    int m_nRows = 0;
};

const SHistoryInverter kInverter{"123456789012", 3000, 1};

class HistoryKeeper : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_strDir = (std::filesystem::temp_directory_path() / ("zelvan-history-" + std::to_string(::getpid()))).string();
        std::filesystem::remove_all(m_strDir);
        std::filesystem::create_directories(m_strDir);
        m_keeper.SetAppDir(m_strDir);
        m_keeper.SetCurveStart(platform::FromLocal(2013, 1, 8, 7, 5, 0));
        SHistoryHooks hooks;
        hooks.setPollPaused = [this](bool bPaused) { m_pauses.push_back(bPaused); };
        hooks.restartCurve = [this] { ++m_nRestarts; };
        auto saves = m_saves;
        hooks.startSpreadsheet = [saves] { return std::make_unique<CCountingSheet>(saves); };
        m_keeper.SetHooks(hooks);
    }
    void TearDown() override { std::filesystem::remove_all(m_strDir); }

    // A cycle at this second of the curve, then its history check and the
    // write it started (writes minutes apart are never merged).
    void CycleAt(int second, const SHistoryInverter& inverter = kInverter)
    {
        m_store.AddRecord(static_cast<std::uint32_t>(second) * 1000u);
        m_keeper.CheckHistory(m_store.GetTimeCount() - 1, inverter);
        m_keeper.Flush();
    }
    std::vector<std::pair<std::string, int>> Saves()
    {
        m_keeper.Flush();
        std::lock_guard<std::mutex> lock(m_saves->lock);
        return m_saves->saves;
    }
    std::string HisPath(const std::string& name) const { return m_strDir + "/hisdata/" + name; }

    std::string m_strDir;
    CStore m_store;
    std::shared_ptr<SSaves> m_saves = std::make_shared<SSaves>();
    std::vector<bool> m_pauses;
    int m_nRestarts = 0;
    CHistoryKeeper m_keeper{m_store};
};

} // namespace

TEST_F(HistoryKeeper, WritesEveryTenMinutesOfCurveTimeIntoAFolderItMakes)
{
    const std::string name = "123456789012,3000,2013-01-08 07-05.xls";
    CycleAt(0);
    CycleAt(9 * 60 + 59);
    EXPECT_TRUE(Saves().empty());
    EXPECT_TRUE(m_pauses.empty());

    CycleAt(10 * 60);
    CycleAt(19 * 60 + 30); // nothing at 19
    ASSERT_EQ(Saves().size(), 1u);
    EXPECT_EQ(Saves()[0], std::make_pair(HisPath(name), 2)); // rows for 0 s and 599 s
    EXPECT_TRUE(std::filesystem::is_directory(m_strDir + "/hisdata"));
    EXPECT_EQ(m_pauses, (std::vector<bool>{true, false}));
    EXPECT_EQ(m_keeper.LastHistoryMinute(), 10);

    CycleAt(20 * 60);
    CycleAt(30 * 60);
    ASSERT_EQ(Saves().size(), 3u);
    EXPECT_EQ(Saves()[2], std::make_pair(HisPath(name), 4)); // a row a minute at most
    EXPECT_EQ(m_nRestarts, 0);
}

TEST_F(HistoryKeeper, DayChangeWritesEvenDuringAnExportThenStartsANewCurveAndName)
{
    m_keeper.SetCurveStart(platform::FromLocal(2013, 1, 8, 23, 40, 0));
    m_keeper.SetExporting(true);
    CycleAt(0);
    CycleAt(15 * 60); // an export suspends the ten-minute writes
    EXPECT_TRUE(Saves().empty());

    CycleAt(20 * 60 + 30); // 00:00:30: the sample goes into the old day's file
    ASSERT_EQ(Saves().size(), 1u);
    EXPECT_EQ(Saves()[0], std::make_pair(HisPath("123456789012,3000,2013-01-08 23-40.xls"), 3));
    EXPECT_EQ(m_store.GetTimeCount(), 0u);
    EXPECT_EQ(m_nRestarts, 1);
    EXPECT_TRUE(m_keeper.HistoryFile().empty());
    EXPECT_EQ(m_keeper.LastHistoryMinute(), -1);

    // Same inverter, same rating: the new curve still gets a new name.
    m_keeper.SetExporting(false);
    m_keeper.SetCurveStart(platform::FromLocal(2013, 1, 9, 0, 1, 0));
    CycleAt(0);
    CycleAt(10 * 60);
    ASSERT_EQ(Saves().size(), 2u);
    EXPECT_EQ(Saves()[1].first, HisPath("123456789012,3000,2013-01-09 00-01.xls"));
}

TEST_F(HistoryKeeper, AnotherInverterEndsTheCurveWithItsOwnFile)
{
    CycleAt(0);
    CycleAt(30);
    const SHistoryInverter other{"000000000777", 5000, 2};
    CycleAt(60, other);
    ASSERT_EQ(Saves().size(), 1u);
    EXPECT_EQ(Saves()[0].first, HisPath("123456789012,3000,2013-01-08 07-05.xls"));
    EXPECT_EQ(Saves()[0].second, 1); // 0 s; 30 s is within the minute, 60 s was the other's
    EXPECT_EQ(m_store.GetTimeCount(), 0u);
    EXPECT_EQ(m_nRestarts, 1);

    m_keeper.SetCurveStart(platform::FromLocal(2013, 1, 8, 7, 7, 0));
    CycleAt(0, other);
    CycleAt(600, other);
    ASSERT_EQ(Saves().size(), 2u);
    EXPECT_EQ(Saves()[1].first, HisPath("000000000777,5000,2013-01-08 07-07.xls"));
}

TEST_F(HistoryKeeper, ExitWritesOnlyWhatIsNewerThanTheLastWrite)
{
    CycleAt(0);
    CycleAt(600);
    CycleAt(660);
    m_keeper.WriteBeforeExit();
    ASSERT_EQ(Saves().size(), 2u);
    EXPECT_EQ(Saves()[1].second, 3);

    CHistoryKeeper idle(m_store); // the same curve, nothing checked since: nothing due
    idle.WriteBeforeExit();
    EXPECT_EQ(Saves().size(), 2u);
}

TEST_F(HistoryKeeper, AFolderThatCannotBeMadeShowsOneBoxPerFailedWriteAndPollingGoesOn)
{
    std::ofstream(m_strDir + "/file") << "x";
    m_keeper.SetAppDir(m_strDir + "/file");                                 // hisdata would go under a file
    m_keeper.SetHooks({[this](bool b) { m_pauses.push_back(b); }, {}, {}}); // the real writer
    platform::CMessageBoxRecorder boxes;
    CycleAt(0);
    CycleAt(600);
    m_keeper.Flush();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find(m_strDir + "/file/hisdata/"), std::string::npos) << boxes.Boxes()[0].text;
    EXPECT_NE(boxes.Boxes()[0].text.find("Not a directory"), std::string::npos);
    EXPECT_EQ(m_pauses, (std::vector<bool>{true, false}));

    // The next try ten minutes later fails with a box of its own.
    CycleAt(1200);
    m_keeper.Flush();
    EXPECT_EQ(boxes.Count(), 2u);
    // At exit the failed write is tried once more; a box it shows gives way
    // to the writer's stop (so it may not show at all) and never holds the
    // exit up.
    m_keeper.WriteBeforeExit();
    EXPECT_LE(boxes.Count(), 3u);
}

TEST(HistoryWriter, RunsJobsInOrderAndSkipsOnesALaterJobRewrites)
{
    CHistoryWriter writer;
    std::vector<std::string> done;
    std::mutex gate;
    std::atomic<bool> bStarted{false};
    std::unique_lock<std::mutex> hold(gate);
    writer.Post("a", [&] {
        bStarted = true;
        std::lock_guard<std::mutex> l(gate);
        done.push_back("a1");
    });
    while (!bStarted)
        std::this_thread::yield();
    writer.Post("b", [&] { done.push_back("b"); });
    writer.Post("a", [&] { done.push_back("a2"); });
    writer.Post("a", [&] { done.push_back("a3"); });
    hold.unlock();
    writer.Flush();
    writer.Stop();
    writer.Post("c", [&] { done.push_back("c"); }); // after stop: at once
    EXPECT_EQ(done, (std::vector<std::string>{"a1", "b", "a3", "c"}));
}
