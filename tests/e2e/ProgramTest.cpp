// The real program, started as its own process under the offscreen platform,
// against zelvan-sim on pseudo-terminals; what it does is read from its
// communication log.
#include "support/XlsReaders.h"
#include "support/PtyPair.h"
#include "platform/WallClock.h"
#include "support/SimProcess.h"
#include "support/ChildExit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/inotify.h>
#include <thread>

namespace {

struct SLogLine {
    double dSeconds = 0; // of the day, from the line's time stamp
    std::string strTag;
    std::string strText;
};

class CProgram {
public:
    ~CProgram()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        // The history files it wrote beside itself go with the test.
        for (const std::string& path : HistoryFiles())
            std::remove(path.c_str());
        std::remove(m_strLog.c_str());
    }

    // The paths of its history writes, in order.
    std::vector<std::string> HistoryFiles() const
    {
        std::vector<std::string> paths;
        for (const SLogLine& l : Lines())
            if (l.strTag == "history" && !l.strText.empty() && l.strText[0] == '/')
                paths.push_back(l.strText);
        return paths;
    }
    pid_t Pid() const { return m_pid; }
    // Waits for the end after a SIGKILL.
    void Reap()
    {
        if (m_pid > 0 && ::waitpid(m_pid, nullptr, 0) == m_pid)
            m_pid = -1;
    }

    bool Start(const std::string& ports)
    {
        char name[] = "/tmp/zelvan-e2e-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0)
            return false;
        ::close(fd);
        m_strLog = name;
        std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "ZELVAN_SERIAL_PORTS=" + ports,
                                        "ZELVAN_LOG=" + m_strLog, "HOME=/tmp", "PATH=/usr/bin:/bin"};
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = std::string(ZELVAN_BINARY_DIR) + "/bin/zelvan";
        char* argv[] = {program.data(), nullptr};
        // From another folder: the program finds its files beside itself.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0;
    }

    std::vector<SLogLine> Lines() const
    {
        std::vector<SLogLine> lines;
        std::ifstream in(m_strLog);
        std::string line;
        while (std::getline(in, line)) {
            // 2026-12-08T01:02:03.456 tag text
            SLogLine l;
            int h = 0, m = 0;
            double s = 0;
            if (line.size() < 24 || std::sscanf(line.c_str() + 11, "%d:%d:%lf", &h, &m, &s) != 3)
                continue;
            l.dSeconds = h * 3600 + m * 60 + s;
            const std::size_t space = line.find(' ', 24);
            l.strTag = line.substr(24, space == std::string::npos ? std::string::npos : space - 24);
            l.strText = space == std::string::npos ? "" : line.substr(space + 1);
            lines.push_back(l);
        }
        return lines;
    }

    // Waits for a line with the tag and text; returns its index or -1.
    int WaitFor(const std::string& tag, const std::string& text, std::size_t from, int timeoutMs) const
    {
        for (int waited = 0; waited <= timeoutMs; waited += 100) {
            const std::vector<SLogLine> lines = Lines();
            for (std::size_t i = from; i < lines.size(); ++i)
                if (lines[i].strTag == tag && lines[i].strText.find(text) != std::string::npos)
                    return static_cast<int>(i);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return -1;
    }

    int Count(const std::string& tag, const std::string& text, std::size_t from) const
    {
        int n = 0;
        const std::vector<SLogLine> lines = Lines();
        for (std::size_t i = from; i < lines.size(); ++i)
            n += lines[i].strTag == tag && lines[i].strText == text;
        return n;
    }

    // SIGTERM ends the program like its Exit command: exit code 0 soon.
    int Terminate(int timeoutMs)
    {
        ::kill(m_pid, SIGTERM);
        return WaitForChildExit(m_pid, timeoutMs);
    }

private:
    pid_t m_pid = -1;
    std::string m_strLog;
};

class Program : public ::testing::TestWithParam<int> {};

} // namespace

TEST_P(Program, DetectsPollsNoticesSilenceRecoversAndExits)
{
    CPtyPair dead; // opens, never answers
    CSimProcess sim;
    ASSERT_TRUE(dead.Ok());
    // A serial number of its own per type: the day's files of runs side by side differ.
    const std::string serial = "90000000002" + std::to_string(GetParam());
    ASSERT_TRUE(
        sim.Start({"--protocol", std::to_string(GetParam()), "--serial", serial, "--start", "12:00", "--speed", "60"}));
    CProgram program;
    ASSERT_TRUE(program.Start(dead.SlavePath() + ":" + sim.Path()));

    const int first = program.WaitFor("detect", "Detecting " + dead.SlavePath(), 0, 10000);
    const int second = program.WaitFor("detect", "Detecting " + sim.Path(), 0, 15000);
    ASSERT_GE(first, 0);
    ASSERT_GT(second, first);
    // The dead port gets the three probes, about 2 s each.
    const auto lines = program.Lines();
    EXPECT_GT(lines[static_cast<std::size_t>(second)].dSeconds - lines[static_cast<std::size_t>(first)].dSeconds, 5.5);
    const int connected = program.WaitFor("status", "Connected", static_cast<std::size_t>(second), 10000);
    ASSERT_GT(connected, second);
    EXPECT_GE(program.WaitFor("rx", "", static_cast<std::size_t>(connected) + 20, 10000), 0) << "values flow";
    EXPECT_EQ(program.Count("status", "Connected", static_cast<std::size_t>(second)), 1) << "one line per change";

    // Silence: "Dis-connected" once; the inverter back: "Connected".
    sim.Command("silence on");
    const int lost = program.WaitFor("status", "Dis-connected", static_cast<std::size_t>(connected), 15000);
    ASSERT_GT(lost, connected);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(program.Count("status", "Dis-connected", static_cast<std::size_t>(connected)), 1);
    sim.Command("clear");
    EXPECT_GT(program.WaitFor("status", "Connected", static_cast<std::size_t>(lost), 10000), lost);

    EXPECT_EQ(program.Terminate(5000), 0);
    // The day's file at exit: named and headed with the model's rating, 3 kW
    // (model code 30, or 0x4000 under type 2), not the gauge's rated power.
    const std::vector<std::string> files = program.HistoryFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_NE(files[0].find("/" + serial + ",3000,"), std::string::npos) << files[0];
    const std::optional<CellMap> cells = ReadWithXlrd(files[0]);
    ASSERT_TRUE(cells);
    EXPECT_EQ(cells->at({0, 0}).strText, "SN: " + serial + ",Model: 3000");
}

namespace {

// The rows of a history workbook as two independent readers see them; the
// readers must agree.
std::optional<CellMap> ReadHistory(const std::string& path)
{
    const std::optional<CellMap> xlrd = ReadWithXlrd(path);
    const std::optional<CellMap> freexl = ReadWithFreeXl(path);
    if (!xlrd || !freexl)
        return std::nullopt;
    EXPECT_EQ(*xlrd, *freexl) << path;
    return xlrd;
}

// The wall-clock second of a row's time text "%Y-%m-%d %H-%M-%S".
std::int64_t RowTime(const SReadCell& cell)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(cell.strText.c_str(), "%d-%d-%d %d-%d-%d", &y, &mo, &d, &h, &mi, &s) != 6)
        return 0;
    return platform::FromLocal(y, mo, d, h, mi, s);
}

} // namespace

// Two programs poll the same inverter (two simulated copies) from the same
// minute, so their curves share one history file. The first ends by SIGTERM
// and writes it; the second is killed while it saves the same file.
TEST(ProgramHistory, SigtermWritesTheDayAndAKillDuringASaveLeavesThePreviousFile)
{
    const std::string folder = std::string(ZELVAN_BINARY_DIR) + "/bin/hisdata";
    std::filesystem::create_directories(folder);
    // Both curves must start in one minute.
    const int second = platform::ToLocal(platform::WallNow()).nSecond;
    if (second > 40)
        std::this_thread::sleep_for(std::chrono::seconds(61 - second));

    const std::vector<std::string> args = {"--protocol", "1", "--serial", "900000000015", "--speed", "60"};
    CSimProcess simA, simB;
    ASSERT_TRUE(simA.Start(args));
    ASSERT_TRUE(simB.Start(args));
    CProgram a, b;
    ASSERT_TRUE(a.Start(simA.Path()));
    ASSERT_TRUE(b.Start(simB.Path()));
    const int connectedA = a.WaitFor("status", "Connected", 0, 15000);
    const int connectedB = b.WaitFor("status", "Connected", 0, 15000);
    ASSERT_GE(connectedA, 0);
    ASSERT_GE(connectedB, 0);
    ASSERT_GE(a.WaitFor("rx", "", static_cast<std::size_t>(connectedA) + 8, 10000), 0);
    ASSERT_GE(b.WaitFor("rx", "", static_cast<std::size_t>(connectedB) + 8, 10000), 0);

    const std::int64_t tmEnd = platform::WallNow();
    EXPECT_EQ(a.Terminate(5000), 0);
    ASSERT_EQ(a.HistoryFiles().size(), 1u);
    const std::string path = a.HistoryFiles()[0];
    EXPECT_EQ(path.rfind(folder + "/900000000015,", 0), 0u) << path;
    const std::optional<CellMap> before = ReadHistory(path);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->at({0, 0}).strText, "SN: 900000000015,Model: 3000");
    int last = 2;
    while (before->count({last + 1, 0}))
        ++last;
    ASSERT_EQ(before->count({2, 0}), 1u) << "at least one row";
    EXPECT_LE(std::llabs(RowTime(before->at({last, 0})) - tmEnd), 60) << "rows up to the last minute";

    // The second program's exit save starts with its temporary file beside
    // the target: it is killed right then.
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, folder.c_str(), IN_CREATE), 0);
    ::kill(b.Pid(), SIGTERM);
    // Other files come and go in the folder too (the energy store's): wait
    // for the history file's temporary itself.
    bool bSaving = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!bSaving && std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{watch, POLLIN, 0};
        if (::poll(&pfd, 1, 100) != 1)
            continue;
        alignas(inotify_event) char events[4096];
        const ssize_t n = ::read(watch, events, sizeof events);
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if (event->len > 0 && std::string(event->name).rfind(".900000000015,", 0) == 0)
                bSaving = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::kill(b.Pid(), SIGKILL);
    b.Reap();
    ::close(watch);
    ASSERT_TRUE(bSaving) << "no save started";

    const std::optional<CellMap> after = ReadHistory(path);
    ASSERT_TRUE(after);
    EXPECT_EQ(*after, *before);
    int temporaries = 0; // left by the killed save: it was cut in the middle
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind(".900000000015,", 0) == 0)
            temporaries += std::filesystem::remove(entry.path());
    EXPECT_EQ(temporaries, 1);
}

INSTANTIATE_TEST_SUITE_P(ProtocolTypes, Program, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& info) { return "Type" + std::to_string(info.param); });
