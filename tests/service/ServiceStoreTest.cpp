// zelvand and the energy store in its history folder: the minutes of a run,
// the import at start that rebuilds a damaged database, and --import.
#include "support/ServiceProcess.h"
#include "support/SimProcess.h"
#include "support/XlsReaders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>

#include "outputs/EnergyStore.h"

namespace {

namespace fs = std::filesystem;

std::vector<SEnergyMinute> StoredMinutes(const std::string& db)
{
    CEnergyStore store;
    std::vector<SEnergyMinute> minutes;
    if (store.Open(db).eStatus != SStoreResult::kOk ||
        !store.MinutesBetween(0, std::numeric_limits<std::int64_t>::max(), minutes).Ok())
        ADD_FAILURE() << db << " does not open";
    return minutes;
}

// zelvand --import with its standard output.
std::string Import(const std::string& folder, const std::string& db, int& exitCode)
{
    const std::string command = CServiceProcess::ProgramPath() + " --config /dev/null --import '" + folder +
                                "' --db '" + db + "' 2>&1";
    std::string output;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = ::pclose(pipe);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

} // namespace

// Thirty times speed: a minute every two seconds.
TEST(ServiceStore, KeepsTheRunsMinutesRebuildsADamagedDatabaseAndImportsAFolder)
{
    CTempFolder folder;
    const std::string config = folder.File("zelvand.toml");
    std::ofstream{config};
    const std::string history = folder.File("hisdata");
    const std::string db = history + "/zelvan.db";
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--serial", "500000000001", "--start", "12:00", "--speed", "30",
                           "--turnaround", "0"}));
    const std::vector<std::string> args = {"--config", config, "--port", sim.Path(), "--history-dir", history,
                                           "--status-file", folder.File("status.json"), "--time-speed", "30"};
    {
        CServiceProcess service;
        ASSERT_TRUE(service.Start(args));
        ASSERT_GE(service.WaitFor("<5>connected to ", 0, 20000), 0) << service.Text();
        EXPECT_GE(service.WaitFor("imported 0 files, 0 minutes, 0 skipped", 0, 5000), 0) << service.Text();
        std::this_thread::sleep_for(std::chrono::seconds(14));
        EXPECT_EQ(service.Stop(SIGTERM), 0) << service.Text();
    }
    const std::vector<SEnergyMinute> live = StoredMinutes(db);
    ASSERT_GE(live.size(), 5u);
    EXPECT_EQ(live.front().strSerial, "500000000001");
    EXPECT_TRUE(live.back().aValue[kSeriesEtotal].has_value());

    // Another program's database over it, damaged: set aside with one line,
    // and the import at start brings the day back from its workbook.
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(db + suffix);
    std::ofstream(db, std::ios::binary) << std::string(8192, '\x5a');
    {
        CServiceProcess service;
        ASSERT_TRUE(service.Start(args));
        EXPECT_GE(service.WaitFor("imported 1 files, ", 0, 20000), 0) << service.Text();
        int damaged = 0;
        for (const std::string& line : service.Lines())
            damaged += line.find("damaged") != std::string::npos;
        EXPECT_EQ(damaged, 1) << service.Text();
        EXPECT_EQ(service.Stop(SIGTERM), 0) << service.Text();
    }
    EXPECT_GE(StoredMinutes(db).size(), live.size() - 1);
    bool setAside = false;
    for (const auto& entry : fs::directory_iterator(history))
        setAside = setAside || entry.path().filename().string().rfind("zelvan.db.damaged-", 0) == 0;
    EXPECT_TRUE(setAside);

    // Any folder into any database, once.
    int exitCode = -1;
    const std::string other = folder.File("other.db");
    const std::string first = Import(history, other, exitCode);
    EXPECT_EQ(exitCode, 0) << first;
    EXPECT_EQ(first.rfind("imported 1 files, ", 0), 0u) << first;
    EXPECT_EQ(StoredMinutes(other).size(), StoredMinutes(db).size());
    EXPECT_EQ(Import(history, other, exitCode), "imported 0 files, 0 minutes, 0 skipped\n");
    EXPECT_EQ(exitCode, 0);
    const std::string missing = Import(folder.File("no-such-folder"), other, exitCode);
    EXPECT_EQ(exitCode, 1) << missing;
}
