// The service's cost: zelvand polling zelvan-sim (protocol type 1) for 60 s
// as its own process. CPU time and resident memory from /proc, and the time
// from the start to the first value (the first running-data reply, seen in
// its communication log, as the window's monitor bench sees it). Goals: at most 0.2 % of a core, at most
// 10 MB resident, the first value within 1 s.
//
//   bench_daemon [SECONDS]   default 60
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "BenchLog.h"
#include "support/SimProcess.h"
#include "support/ServiceProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

// utime + stime of a process, in clock ticks.
long CpuTicks(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(in, text);
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) // state .. cmajflt
        fields >> skip;
    long utime = 0, stime = 0;
    fields >> utime >> stime;
    return utime + stime;
}

long RssKb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds < 5 || seconds > 3600) {
        std::fprintf(stderr, "usage: bench_daemon [SECONDS 5-3600]\n");
        return 2;
    }
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zelvan-daemon-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string config = (dir / "zelvand.toml").string();
    std::ofstream{config};

    CSimProcess sim;
    if (!sim.Start({"--protocol", "1", "--start", "12:00", "--speed", "1"})) {
        std::fprintf(stderr, "daemon: zelvan-sim did not start\n");
        return 1;
    }
    const std::string log = (dir / "comm.log").string();
    CServiceProcess service;
    const auto t0 = Clock::now();
    if (!service.Start({"--config", config, "--port", sim.Path(), "--history-dir", (dir / "hisdata").string(),
                        "--status-file", (dir / "status.json").string(), "--log-level", "notice", "--comm-log",
                        log})) {
        std::fprintf(stderr, "daemon: zelvand did not start\n");
        return 1;
    }
    double firstValue = -1;
    while (Clock::now() - t0 < std::chrono::seconds(20)) {
        if (LogHas(log, " rx 01 04 3E")) { // type 1's running data: address 1, function 4, 62 bytes
            firstValue = std::chrono::duration<double>(Clock::now() - t0).count();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (firstValue < 0) {
        std::fprintf(stderr, "daemon: no connection\n%s", service.Text().c_str());
        return 1;
    }
    // The steady state: from the first value on, for the run's length.
    const pid_t pid = service.Pid();
    const long ticks0 = CpuTicks(pid);
    const auto start = Clock::now();
    long rss = 0;
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        rss = std::max(rss, RssKb(pid));
    }
    const long ticks = CpuTicks(pid) - ticks0;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = 100.0 * static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK)) / wall;
    const int status = service.Stop(SIGTERM);
    sim.Stop();
    std::filesystem::remove_all(dir);

    const bool ok = cpu <= 0.2 && rss <= 10 * 1024 && firstValue <= 1.0 && status == 0;
    std::printf("daemon: goals %s (cpu <= 0.2 %%, rss <= 10 MB, first value <= 1 s, exit %d)\n", ok ? "met" : "missed",
                status);
    std::printf("daemon: cpu %.3f %%, rss %.1f MB, first value %.2f s\n", cpu, rss / 1024.0, firstValue);
    return ok ? 0 : 1;
}
