#pragma once
// zelvan-sim as a real process: its standard input and output on pipes, the
// pseudo-terminal path read from the first line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/ChildExit.h"

extern char** environ;

class CSimProcess {
public:
    static std::string ProgramPath() { return std::string(ZELVAN_BINARY_DIR) + "/bin/zelvan-sim"; }

    // Starts the program; false when it did not print a first line in time.
    bool Start(const std::vector<std::string>& args)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<std::string> all = {ProgramPath()};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        m_in = in[1];
        m_out = out[0];
        if (rc != 0) {
            m_pid = -1;
            return false;
        }
        m_path = ReadLine(5000);
        return !m_path.empty();
    }

    ~CSimProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_in >= 0)
            close(m_in);
        if (m_out >= 0)
            close(m_out);
    }

    const std::string& Path() const { return m_path; }

    // Types a console command and returns the program's answer line.
    std::string Command(const std::string& line)
    {
        const std::string text = line + "\n";
        if (write(m_in, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return {};
        return ReadLine(3000);
    }

    // The registers the console's "get" shows ("ok W1 W2 ..."), numbered as
    // the program numbers them; empty on an error answer.
    std::vector<std::uint16_t> Registers(int reg, int count = 1)
    {
        const std::string answer = Command("get " + std::to_string(reg) + " " + std::to_string(count));
        std::vector<std::uint16_t> words;
        if (answer.rfind("ok", 0) != 0)
            return words;
        const char* p = answer.c_str() + 2;
        char* end = nullptr;
        for (unsigned long w = std::strtoul(p, &end, 10); end != p; w = std::strtoul(p, &end, 10)) {
            words.push_back(static_cast<std::uint16_t>(w));
            p = end;
        }
        return words;
    }

    std::string ReadLine(int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (const auto eol = m_buffer.find('\n'); eol != std::string::npos) {
                std::string line = m_buffer.substr(0, eol);
                m_buffer.erase(0, eol + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{m_out, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return {};
            char buf[256];
            const ssize_t n = read(m_out, buf, sizeof buf);
            if (n <= 0)
                return {};
            m_buffer.append(buf, static_cast<std::size_t>(n));
        }
    }

    // Sends a signal and waits for the exit; returns the exit status, -1 on
    // a crash or when it did not stop within timeoutMs. It returns as soon as
    // the process has exited: the limit only catches a simulator that never
    // ends, and is generous for loaded sanitizer runs.
    int Stop(int signal = SIGTERM, int timeoutMs = 10000)
    {
        if (m_pid <= 0)
            return -1;
        kill(m_pid, signal);
        return WaitForChildExit(m_pid, timeoutMs);
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_path;
    std::string m_buffer;
};
