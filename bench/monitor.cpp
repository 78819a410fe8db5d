// The running program polling the simulator: its CPU share and resident
// memory over a minute, and the time from its start to the first running
// data it shows (the first running-data reply, seen in its communication
// log), with a type-1 inverter on the first port.
//   bench_monitor [SECONDS]   (default 60)
// Ends with "monitor: cpu <x> %, rss <y> MB, first value <z> s".
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchLog.h"

namespace {

using Clock = std::chrono::steady_clock;

pid_t Spawn(std::vector<std::string> args, const std::vector<std::string>& env)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopy = env;
    std::vector<char*> envp;
    for (std::string& e : envCopy)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// User plus system time of a process, in seconds.
double CpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double StatusMegabytes(pid_t pid, const std::string& key)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0)
            return std::atof(line.c_str() + key.size() + 1) / 1024.0;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string bin = std::string(ZELVAN_BINARY_DIR) + "/bin/";
    const std::string dir = "/tmp/zelvan-bench-" + std::to_string(getpid());
    const std::string port = dir + "/inverter";
    const std::string log = dir + "/comm.log";
    std::system(("mkdir -p " + dir).c_str());

    const pid_t sim = Spawn({bin + "zelvan-sim", "--protocol", "1", "--start", "12:00", "--link", port}, {});
    for (int i = 0; i < 50 && access(port.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

    const auto start = Clock::now();
    const pid_t program = Spawn({bin + "zelvan"}, {"QT_QPA_PLATFORM=offscreen", "ZELVAN_SERIAL_PORTS=" + port,
                                                   "ZELVAN_LOG=" + log, "HOME=/tmp"});
    if (sim <= 0 || program <= 0) {
        std::fprintf(stderr, "monitor: could not start the simulator or the program\n");
        return 1;
    }
    // The running-data reply of a type-1 inverter: address 1, function 4, 62 bytes.
    double firstValue = -1;
    while (firstValue < 0 && Clock::now() - start < std::chrono::seconds(20)) {
        if (LogHas(log, " rx 01 04 3E"))
            firstValue = std::chrono::duration<double>(Clock::now() - start).count();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double cpuBefore = CpuSeconds(program);
    const auto measured = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = (CpuSeconds(program) - cpuBefore) /
                       std::chrono::duration<double>(Clock::now() - measured).count() * 100.0;
    const double rss = StatusMegabytes(program, "VmRSS");
    const double peak = StatusMegabytes(program, "VmHWM");

    kill(program, SIGTERM);
    waitpid(program, nullptr, 0);
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    std::system(("rm -rf " + dir).c_str());

    std::printf("polled for %d s; peak resident memory %.1f MB\n", seconds, peak);
    std::printf("monitor: cpu %.2f %%, rss %.1f MB, first value %.2f s\n", cpu, rss, firstValue);
    return firstValue < 0 ? 1 : 0;
}
