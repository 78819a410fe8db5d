// zelvand as its own process against zelvan-sim processes on pseudo-terminals:
// what it does is read from its journal-format log, its communication log,
// its status and the history workbooks it leaves.
#include "support/XlsReaders.h"
#include "support/SimProcess.h"
#include "support/ServiceProcess.h"

#include <grp.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

// An empty configuration: everything comes from the command line.
std::string EmptyConfig(const CTempFolder& folder)
{
    const std::string path = folder.File("zelvand.toml");
    std::ofstream{path};
    return path;
}

// The first .xls file in the folder, waited for.
std::string WaitForWorkbook(const std::string& folder, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 200) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec))
            if (entry.path().extension() == ".xls")
                return entry.path().string();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return {};
}

// Data rows (from the third on) with a time in their first cell.
std::size_t DataRows(const std::string& path)
{
    const std::optional<CellMap> cells = ReadWithFreeXl(path);
    std::set<int> rows;
    if (cells)
        for (const auto& [at, cell] : *cells)
            if (at.first >= 2 && at.second == 0 && cell.bText)
                rows.insert(at.first);
    return rows.size();
}

std::string RunStatus(const std::vector<std::string>& args)
{
    std::string command = CServiceProcess::ProgramPath();
    for (const std::string& a : args)
        command += " '" + a + "'";
    std::string output;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[1024];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

std::string TypeText(int type)
{
    return std::to_string(type);
}

class ServiceRun : public ::testing::TestWithParam<int> {};

} // namespace

// The clocks at thirty times speed: the ten-minute write comes after about
// twenty seconds.
TEST_P(ServiceRun, ConnectsKeepsTheTenMinuteHistoryAndWritesTheDayAtStop)
{
    CTempFolder folder;
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", TypeText(GetParam()), "--start", "12:00", "--speed", "30", "--turnaround", "0"}));
    const std::string history = folder.File("hisdata");
    const std::vector<std::string> common = {"--config", EmptyConfig(folder), "--status-file", folder.File("status.json")};
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--port", sim.Path(), "--history-dir", history, "--time-speed", "30"});
    CServiceProcess service;
    ASSERT_TRUE(service.Start(args));

    EXPECT_GE(service.WaitFor("<5>connected to ", 0, 20000), 0) << service.Text();
    EXPECT_GE(service.WaitFor(" on " + sim.Path() + ", protocol type " + TypeText(GetParam()), 0, 0), 0)
        << service.Text();
    const std::string workbook = WaitForWorkbook(history, 45000);
    ASSERT_FALSE(workbook.empty()) << "no history at the ten-minute mark\n" << service.Text();
    const std::size_t rowsAtMark = DataRows(workbook);
    EXPECT_GE(rowsAtMark, 5u); // a minute without a finished cycle has no row

    std::vector<std::string> statusArgs = common;
    statusArgs.push_back("--status");
    const std::string status = RunStatus(statusArgs);
    EXPECT_NE(status.find("{\"link\":\"connected\""), std::string::npos) << status;
    EXPECT_NE(status.find("\"protocol\":" + TypeText(GetParam()) + ","), std::string::npos) << status;
    EXPECT_NE(status.find("\"Etotal(kWh)\":"), std::string::npos) << status;

    // Two more minutes, then the stop writes them.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_EQ(service.Stop(SIGTERM), 0) << service.Text();
    EXPECT_GT(DataRows(workbook), rowsAtMark);
    EXPECT_GE(service.WaitFor("<6>stopped", 0, 0), 0);
    EXPECT_FALSE(fs::exists(folder.File("status.json"))) << "a stopped service leaves no state";
}

TEST_P(ServiceRun, SilenceGivesOneLinkLostAndOneLinkBack)
{
    CTempFolder folder;
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", TypeText(GetParam()), "--start", "12:00", "--speed", "60"}));
    CServiceProcess service;
    ASSERT_TRUE(service.Start({"--config", EmptyConfig(folder), "--port", sim.Path(), "--history-dir",
                               folder.File("hisdata"), "--status-file", folder.File("status.json")}));
    const int connected = service.WaitFor("<5>connected to ", 0, 20000);
    ASSERT_GE(connected, 0) << service.Text();

    sim.Command("silence on");
    const int lost = service.WaitFor("<4>link lost", static_cast<std::size_t>(connected), 20000);
    ASSERT_GT(lost, connected) << service.Text();
    std::this_thread::sleep_for(std::chrono::seconds(4)); // resends and a detection meanwhile
    EXPECT_EQ(service.CountExact("link lost"), 1) << service.Text();
    sim.Command("silence off");
    const int back = service.WaitFor("<5>link back", static_cast<std::size_t>(lost), 40000);
    ASSERT_GT(back, lost) << service.Text();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(service.CountExact("link lost"), 1) << service.Text();
    EXPECT_EQ(service.CountExact("link back"), 1) << service.Text();
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(EachProtocolType, ServiceRun, ::testing::Values(0, 1, 2));

namespace {

// The local second of the day of each "detect Detecting <port>" line of a
// communication log.
std::vector<double> DetectionTimes(const std::string& log, const std::string& port)
{
    std::vector<double> times;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        int h = 0, m = 0;
        double s = 0;
        if (line.size() > 24 && line.find(" detect Detecting " + port) != std::string::npos &&
            std::sscanf(line.c_str() + 11, "%d:%d:%lf", &h, &m, &s) == 3)
            times.push_back(h * 3600 + m * 60 + s);
    }
    return times;
}

} // namespace

// Silent from the start (the night): the walks come with a growing pause,
// and the inverter is found once it answers.
TEST(ServiceDetection, RetriesWithAGrowingPauseWhileTheInverterIsSilent)
{
    CTempFolder folder;
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--silence"}));
    const std::string log = folder.File("comm.log");
    CServiceProcess service;
    ASSERT_TRUE(service.Start({"--config", EmptyConfig(folder), "--port", sim.Path(), "--protocol", "1",
                               "--history-dir", folder.File("hisdata"), "--status-file", folder.File("status.json"),
                               "--comm-log", log}));
    std::vector<double> times;
    for (int waited = 0; waited < 30000 && times.size() < 3; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        times = DetectionTimes(log, sim.Path());
    }
    ASSERT_EQ(times.size(), 3u) << service.Text();
    // A walk of one probe (2 s), then 2 s, then 4 s of pause.
    EXPECT_GT(times[2] - times[1], times[1] - times[0] + 1.0);
    // One walk told at info level, the night's at debug only.
    EXPECT_EQ(service.CountExact("Detecting " + sim.Path()), 1);
    EXPECT_EQ(service.CountExact("link lost"), 0);

    sim.Command("silence off");
    EXPECT_GE(service.WaitFor("<5>connected to ", 0, 25000), 0) << service.Text();
    EXPECT_EQ(service.Stop(SIGINT), 0);
}

// Under a uid of its own, allowed the port through the group dialout only,
// as the packaged service runs.
TEST(ServiceUser, RunsUnderAnotherUidThroughTheDialoutGroup)
{
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || dialout == nullptr || std::system("command -v setpriv >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs root, the group dialout and setpriv";
    constexpr uid_t kUid = 65534;
    CTempFolder folder;
    ASSERT_EQ(::chown(folder.Path().c_str(), kUid, kUid), 0);
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--start", "12:00", "--speed", "60"}));
    // The pseudo-terminal as a serial device is: root's, the group dialout's.
    ASSERT_EQ(::chown(sim.Path().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(sim.Path().c_str(), 0660), 0);
    const std::string config = EmptyConfig(folder);
    const std::string history = folder.File("hisdata");

    CServiceProcess service;
    ASSERT_TRUE(service.Start({"--config", config, "--port", sim.Path(), "--history-dir", history, "--status-file",
                               folder.File("status.json")},
                              {"setpriv", "--reuid=" + std::to_string(kUid), "--regid=" + std::to_string(kUid),
                               "--groups=" + std::to_string(dialout->gr_gid), "--inh-caps=-all"}));
    EXPECT_GE(service.WaitFor("<5>connected to ", 0, 20000), 0) << service.Text();
    EXPECT_EQ(service.Stop(SIGTERM), 0) << service.Text();
    const std::string workbook = WaitForWorkbook(history, 0);
    ASSERT_FALSE(workbook.empty()) << "the day written at the stop";
    struct stat st {};
    ASSERT_EQ(::stat(workbook.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kUid);
}
