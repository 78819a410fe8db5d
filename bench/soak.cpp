// The soak: the monitor's link and data path as the service runs them (poll
// thread, port thread, value store, history files, detection after a loss) against zelvan-sim as a process, through
// simulated hours at speed, with a schedule of line faults and unplugs.
// The program's tick and wall clocks run at the simulator's speed from the
// same start, so history minutes are the simulator's minutes. Prints one
// line; exits non-zero when a fault was not recovered, minutes are missing
// outside the faults, or descriptors leaked.
//
//   bench_soak [HOURS [SPEED]]   default 2 simulated hours at 30 times speed
#include <dirent.h>
#include <freexl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/SimProcess.h"
#include "live/Monitor.h"
#include "platform/MessageBox.h"
#include "platform/Tick.h"
#include "platform/WallClock.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// A fault: the commands that start and end it, and how long it lasts in
// simulated minutes. An unplug ends by itself.
struct SFault {
    const char* name;
    const char* on;
    const char* off;
};

constexpr SFault kSchedule[] = {
    {"silence", "silence on", "silence off"},
    {"drop", "drop 50", "drop 0"},
    {"cut", "cut 100", "cut 0"},
    {"bad-crc", "bad-crc 100", "bad-crc 0"},
    {"noise", "noise 40", "noise 0"},
    {"slow", "slow 120", "slow 0"},
    {"unplug", nullptr, nullptr},
};
constexpr int kFaultMinutes = 3;
constexpr int kQuietMinutes = 12;
constexpr int kRecoverRealMs = 30000; // values must flow again within this

// One clock for both sides: simulated seconds since the start, at speed.
class CSoakClock {
public:
    CSoakClock(std::int64_t wallStart, double speed) : m_wallStart(wallStart), m_speed(speed), m_t0(Clock::now())
    {
        platform::SetTickSource([this] { return static_cast<platform::DWORD>(1000 + SimMs()); });
        platform::SetWallSource([this] { return m_wallStart + SimMs() / 1000; });
    }
    ~CSoakClock()
    {
        platform::SetTickSource({});
        platform::SetWallSource({});
    }
    std::int64_t SimMs() const
    {
        const auto real = std::chrono::duration<double, std::milli>(Clock::now() - m_t0).count();
        return static_cast<std::int64_t>(real * m_speed);
    }
    std::int64_t Wall() const { return m_wallStart + SimMs() / 1000; }
    int RealMs(double simMinutes) const { return static_cast<int>(simMinutes * 60000.0 / m_speed); }

private:
    std::int64_t m_wallStart;
    double m_speed;
    Clock::time_point m_t0;
};

// The monitor as the service runs it: the soak's thread is its data path.
class CSoakView {
public:
    explicit CSoakView(const std::string& appDir, const std::string& port)
        : m_monitor(Settings(appDir, port))
    {
    }

    bool Detect()
    {
        return m_monitor.Start() && m_monitor.PumpUntil([this] { return m_monitor.IsLinkUp(); }, 20000);
    }
    void PumpFor(int ms) { (void)m_monitor.PumpUntil([] { return false; }, ms); }
    bool WaitCycles(int more, int timeoutMs)
    {
        const int target = m_monitor.Cycles() + more;
        return m_monitor.PumpUntil([&] { return m_monitor.Cycles() >= target; }, timeoutMs);
    }
    void Stop() { m_monitor.Stop(); }
    std::size_t StoreBytes() const { return m_monitor.StoreBytes(); }

private:
    static SMonitorSettings Settings(const std::string& appDir, const std::string& port)
    {
        SMonitorSettings settings;
        settings.strAppDir = appDir;
        settings.astrPorts = {port};
        return settings;
    }

    CMonitor m_monitor;
};

long RssKb()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

int CountEntries(const char* folder)
{
    int n = 0;
    if (DIR* dir = ::opendir(folder)) {
        while (const dirent* e = ::readdir(dir))
            n += e->d_name[0] != '.' ? 1 : 0;
        ::closedir(dir);
    }
    return n;
}

// The time of every data row of the history files in the folder, read back
// with FreeXL (rows from the third on; column A "%Y-%m-%d %H-%M-%S").
std::vector<std::int64_t> HistoryRows(const std::string& folder, int& files)
{
    std::vector<std::int64_t> rows;
    files = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path().extension() != ".xls")
            continue;
        ++files;
        const void* handle = nullptr;
        unsigned int count = 0;
        unsigned short cols = 0;
        if (freexl_open(entry.path().c_str(), &handle) != FREEXL_OK || freexl_select_active_worksheet(handle, 0) ||
            freexl_worksheet_dimensions(handle, &count, &cols)) {
            std::fprintf(stderr, "soak: cannot read %s\n", entry.path().c_str());
            freexl_close(handle);
            continue;
        }
        for (unsigned int r = 2; r < count; ++r) {
            FreeXL_CellValue v;
            int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
            if (freexl_get_cell_value(handle, r, 0, &v) == FREEXL_OK &&
                (v.type == FREEXL_CELL_TEXT || v.type == FREEXL_CELL_SST_TEXT) &&
                std::sscanf(v.value.text_value, "%d-%d-%d %d-%d-%d", &y, &mo, &d, &h, &mi, &s) == 6)
                rows.push_back(platform::FromLocal(y, mo, d, h, mi, s));
        }
        freexl_close(handle);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

struct SWindow {
    std::int64_t from;
    std::int64_t to;
};

// Whole minutes without a row between consecutive rows (rows are at least
// a minute apart), outside the gaps that touch a fault window (counted in
// `inFaults`).
int MissingMinutes(const std::vector<std::int64_t>& times, const std::vector<SWindow>& faults, int& inFaults)
{
    int missing = 0;
    inFaults = 0;
    for (std::size_t i = 1; i < times.size(); ++i) {
        const std::int64_t a = times[i - 1];
        const std::int64_t b = times[i];
        const bool inFault = std::any_of(faults.begin(), faults.end(),
                                         [&](const SWindow& w) { return a <= w.to + 60 && b >= w.from - 60; });
        const int gap = static_cast<int>(std::max<std::int64_t>(0, (b - a) / 60 - 1));
        (inFault ? inFaults : missing) += gap;
    }
    return missing;
}

} // namespace

int main(int argc, char** argv)
{
    const double hours = argc > 1 ? std::atof(argv[1]) : 2.0;
    const double speed = argc > 2 ? std::atof(argv[2]) : 30.0;
    if (!(hours > 0 && hours <= 48) || !(speed >= 1 && speed <= 100)) {
        std::fprintf(stderr, "usage: bench_soak [HOURS (0-48] [SPEED 1-100]]\n");
        return 2;
    }
    // A short run covers the sunny middle of the day; a whole day starts
    // just after midnight and crosses the next one.
    const bool wholeDay = hours >= 20;
    const int startHour = wholeDay ? 0 : 10;
    const int startMinute = wholeDay ? 5 : 0;
    platform::LocalTime today = platform::ToLocal(platform::WallNow());
    const std::int64_t wallStart =
        platform::FromLocal(today.nYear, today.nMonth, today.nDay, startHour, startMinute, 0);

    const fs::path dir = fs::temp_directory_path() / ("zelvan-soak-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string link = (dir / "inverter").string();
    char start[8];
    std::snprintf(start, sizeof start, "%02d:%02d", startHour, startMinute);

    platform::CMessageBoxRecorder boxes;
    CSimProcess sim;
    if (!sim.Start({"--protocol", "1", "--link", link, "--start", start, "--speed", std::to_string(speed),
                    "--turnaround", "0"})) {
        std::fprintf(stderr, "soak: zelvan-sim did not start (%s)\n", CSimProcess::ProgramPath().c_str());
        return 1;
    }
    CSoakClock clock(wallStart, speed);
    int faults = 0;
    int recovered = 0;
    int boxesOver = 0; // faults with more than one box
    std::vector<SWindow> windows;
    long rssStart = 0;
    int fdsStart = 0;
    long rssEnd = 0;
    int fdsEnd = 0;
    std::size_t storeBytes = 0;
    {
        CSoakView view(dir.string() + "/", link);
        if (!view.Detect() || !view.WaitCycles(2, 20000)) {
            std::fprintf(stderr, "soak: no connection to the simulator\n");
            return 1;
        }
        rssStart = RssKb();
        fdsStart = CountEntries("/proc/self/fd");
        const std::int64_t endMs = static_cast<std::int64_t>(hours * 3600000.0);
        for (std::size_t k = 0;; ++k) {
            view.PumpFor(clock.RealMs(kQuietMinutes));
            if (clock.SimMs() + (kFaultMinutes + kQuietMinutes) * 60000ll > endMs)
                break;
            const SFault& fault = kSchedule[k % std::size(kSchedule)];
            const std::size_t boxesBefore = boxes.Count();
            SWindow window{clock.Wall(), 0};
            ++faults;
            if (fault.on != nullptr) {
                sim.Command(fault.on);
                view.PumpFor(clock.RealMs(kFaultMinutes));
                sim.Command(fault.off);
            } else {
                sim.Command("unplug " + std::to_string(clock.RealMs(kFaultMinutes)));
                view.PumpFor(clock.RealMs(kFaultMinutes));
            }
            if (view.WaitCycles(2, kRecoverRealMs))
                ++recovered;
            else
                std::fprintf(stderr, "soak: no values after %s\n", fault.name);
            window.to = clock.Wall();
            windows.push_back(window);
            boxesOver += boxes.Count() - boxesBefore > 1 ? 1 : 0;
        }
        while (clock.SimMs() < endMs)
            view.PumpFor(50);
        rssEnd = RssKb();
        fdsEnd = CountEntries("/proc/self/fd");
        storeBytes = view.StoreBytes();
        view.Stop();
    }
    const double simulated = clock.SimMs() / 3600000.0;

    int files = 0;
    const std::vector<std::int64_t> rows = HistoryRows((dir / "hisdata").string(), files);
    int inFaults = 0;
    const int missing = rows.empty() ? static_cast<int>(simulated * 60) : MissingMinutes(rows, windows, inFaults);
    sim.Stop();
    fs::remove_all(dir);

    std::printf("soak: %.1f simulated hours, %d faults, %d recovered, %d minutes missing outside faults, "
                "rss %.1f->%.1f MB, fds %d->%d\n",
                simulated, faults, recovered, missing, rssStart / 1024.0, rssEnd / 1024.0, fdsStart, fdsEnd);
    std::printf("soak: %zu history rows in %d files, %d minutes missing during faults, store %.2f MB, %zu boxes "
                "(%d faults with more than one), speed %.0f\n",
                rows.size(), files, inFaults, storeBytes / 1048576.0, boxes.Count(), boxesOver, speed);
    const bool ok = recovered == faults && missing == 0 && fdsEnd == fdsStart && boxesOver == 0;
    return ok ? 0 : 1;
}
