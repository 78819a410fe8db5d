#pragma once
// zelvand as a real process: its arguments, its standard error (the
// journal-format log) kept in a file the test reads line by line.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildExit.h"

extern char** environ;

class CServiceProcess {
public:
    static std::string ProgramPath() { return std::string(ZELVAN_BINARY_DIR) + "/bin/zelvand"; }

    ~CServiceProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (!m_strLog.empty())
            std::remove(m_strLog.c_str());
    }

    // Starts `prefix` (e.g. a setpriv command line) then zelvand with args.
    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& prefix = {})
    {
        char name[] = "/tmp/zelvand-log-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0)
            return false;
        ::fchmod(fd, 0666); // a service under another uid writes it too
        ::close(fd);
        m_strLog = name;
        std::vector<std::string> all = prefix;
        all.push_back(ProgramPath());
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, m_strLog.c_str(), O_WRONLY | O_APPEND, 0);
        const int rc = ::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            m_pid = -1;
        return rc == 0;
    }

    // Runs it to its end: the exit status (-1 on a crash or a time-out).
    int RunToEnd(const std::vector<std::string>& args, int timeoutMs = 10000)
    {
        if (!Start(args))
            return -1;
        return Wait(timeoutMs);
    }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::ifstream in(m_strLog);
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }
    std::string Text() const
    {
        std::string text;
        for (const std::string& line : Lines())
            text += line + "\n";
        return text;
    }

    // The index of the first line from `from` on that holds `text`, or -1.
    int WaitFor(const std::string& text, std::size_t from, int timeoutMs) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const std::vector<std::string> lines = Lines();
            for (std::size_t i = from; i < lines.size(); ++i)
                if (lines[i].find(text) != std::string::npos)
                    return static_cast<int>(i);
            if (std::chrono::steady_clock::now() >= deadline || !Running())
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    // Lines that are exactly "<N>text" at any level.
    int CountExact(const std::string& text) const
    {
        int n = 0;
        for (const std::string& line : Lines()) {
            const std::size_t close = line.find('>');
            n += line.size() > 2 && line[0] == '<' && close != std::string::npos && line.substr(close + 1) == text;
        }
        return n;
    }

    pid_t Pid() const { return m_pid; }
    bool Running() const { return m_pid > 0 && ::kill(m_pid, 0) == 0; }

    // Sends a signal and waits for the exit status.
    int Stop(int signal = SIGTERM, int timeoutMs = 15000)
    {
        if (m_pid <= 0)
            return -1;
        ::kill(m_pid, signal);
        return Wait(timeoutMs);
    }

    int Wait(int timeoutMs) { return WaitForChildExit(m_pid, timeoutMs); }

private:
    pid_t m_pid = -1;
    std::string m_strLog;
};
