// The real program, started as its own process under the offscreen platform,
// against zelvan-sim on pseudo-terminals; what it does is read from its
// communication log.
#include "link/PtyPair.h"
#include "sim/SimProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
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
        std::remove(m_strLog.c_str());
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
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(10000);
        }
        return -1;
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
    ASSERT_TRUE(sim.Start({"--protocol", std::to_string(GetParam()), "--start", "12:00", "--speed", "60"}));
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

    // Silence: "Dis-connected" once; the inverter back: "Connected".
    sim.Command("silence on");
    const int lost = program.WaitFor("status", "Dis-connected", static_cast<std::size_t>(connected), 15000);
    ASSERT_GT(lost, connected);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(program.Count("status", "Dis-connected", static_cast<std::size_t>(connected)), 1);
    sim.Command("clear");
    EXPECT_GT(program.WaitFor("status", "Connected", static_cast<std::size_t>(lost), 10000), lost);

    EXPECT_EQ(program.Terminate(5000), 0);
}

INSTANTIATE_TEST_SUITE_P(ProtocolTypes, Program, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& info) { return "Type" + std::to_string(info.param); });
