// A history file that cannot be written: each failed write shows its box
// with the path and the reason, polling goes on, and once the file can be
// written the exit write holds every minute of the day, the failed ones too.
#include <freexl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "export/HistoryFile.h"
#include "live/HistoryKeeper.h"
#include "model/TestResult.h"
#include "platform/MessageBox.h"
#include "platform/WallClock.h"

namespace {

class CStore : public CTestResult {
public:
    void AddMinute(std::uint32_t minute)
    {
        m_adwTime.push_back(1000u + minute * 60000u);
        for (int s = 0; s < kSeriesInsulation; ++s) {
            if (IsFloatSeries(s))
                m_afSeries[s].push_back(1.0f);
            else
                m_adwSeries[s].push_back(1u);
        }
    }
};

unsigned int DataRows(const std::string& path)
{
    const void* handle = nullptr;
    unsigned int rows = 0;
    unsigned short cols = 0;
    if (freexl_open(path.c_str(), &handle) == FREEXL_OK && freexl_select_active_worksheet(handle, 0) == FREEXL_OK)
        freexl_worksheet_dimensions(handle, &rows, &cols);
    freexl_close(handle);
    return rows > 2 ? rows - 2 : 0;
}

} // namespace

TEST(HistoryFolder, AFileThatCannotBeWrittenLosesNoMinuteOnceItCan)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zelvan-history-folder-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const std::int64_t start = platform::FromLocal(2013, 1, 8, 7, 5, 0);
    const SHistoryInverter inverter{"123456789012", 3000, 1};
    const std::string folder = HistoryFolder(dir.string());
    const std::string file = folder + HistoryFileName(inverter.strSerial, inverter.nRating, start);
    // Root writes into any folder: a folder in the file's place stops it.
    const bool bRoot = ::geteuid() == 0;
    std::filesystem::create_directories(bRoot ? file : folder);
    if (!bRoot)
        ::chmod(folder.c_str(), 0555);

    platform::CMessageBoxRecorder boxes;
    CStore store;
    CHistoryKeeper keeper(store);
    keeper.SetAppDir(dir.string());
    keeper.SetCurveStart(start);
    for (std::uint32_t minute = 0; minute <= 25; ++minute) {
        store.AddMinute(minute);
        keeper.CheckHistory(store.GetTimeCount() - 1, inverter);
    }
    keeper.Flush();
    // The writes at minutes 10 and 20 (the second replaces the first when
    // it is queued before the first began).
    const std::size_t failed = boxes.Count();
    ASSERT_GE(failed, 1u);
    ASSERT_LE(failed, 2u);
    const std::string text = boxes.Boxes()[0].text;
    EXPECT_NE(text.find(file), std::string::npos) << text;
    EXPECT_NE(text.find(bRoot ? "Is a directory" : "Permission denied"), std::string::npos) << text;

    if (bRoot)
        std::filesystem::remove(file);
    else
        ::chmod(folder.c_str(), 0755);
    keeper.WriteBeforeExit();
    EXPECT_EQ(boxes.Count(), failed);
    EXPECT_EQ(DataRows(file), 26u) << "every minute, the ones of the failed writes too";
    std::filesystem::remove_all(dir);
}
