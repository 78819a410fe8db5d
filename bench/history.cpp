// How long a history write blocks the user-interface thread with a full
// day in the store (150,000 samples): the check that takes the store's copy
// and hands it to the writer thread. The file goes to a folder on the
// build's disk, as "hisdata/" beside the program would; the time until it
// is saved is shown apart. Ends with the line
//   history write full day: <ms> ms
// (the median of the blocked times; the goal is one frame, 16 ms).
#include "BenchDay.h"
#include "live/HistoryKeeper.h"
#include "model/TestResult.h"
#include "platform/WallClock.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kSamples = 150000;
constexpr std::uint32_t kSpacingMs = 497; // 150,000 cycles from 03:00 end before midnight

using CDayStore = CBenchDay<CTestResult>;

struct SFixture {
    std::string folder;
    CDayStore store{kSamples, kSpacingMs};
    SHistoryInverter inverter{"123456789012", 3000, 1};
    std::int64_t tmStart = platform::FromLocal(2013, 1, 8, 3, 0, 0);
    SFixture()
    {
        folder = std::string(ZELVAN_BINARY_DIR) + "/bench/history-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
    }
    ~SFixture()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

SFixture& Fixture()
{
    static SFixture f;
    return f;
}

// Milliseconds that the check which writes the file keeps its caller; the
// milliseconds until the file is saved go to *saved.
double BlockedMs(double* saved = nullptr)
{
    SFixture& f = Fixture();
    CHistoryKeeper keeper(f.store);
    keeper.SetAppDir(f.folder);
    keeper.SetCurveStart(f.tmStart);
    keeper.CheckHistory(0, f.inverter); // minute 0: nothing due yet
    const auto t0 = std::chrono::steady_clock::now();
    keeper.CheckHistory(kSamples - 1, f.inverter);
    const auto t1 = std::chrono::steady_clock::now();
    keeper.Flush();
    if (saved)
        *saved = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (keeper.HistoryFile().empty() || !std::filesystem::exists(keeper.Folder() + keeper.HistoryFile())) {
        std::fprintf(stderr, "no history write happened\n");
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

void BM_HistoryWriteFullDay(benchmark::State& state)
{
    for (auto _ : state)
        state.SetIterationTime(BlockedMs() / 1000.0);
}
BENCHMARK(BM_HistoryWriteFullDay)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Fixture();
    std::vector<double> runs, saves;
    for (int i = 0; i < 15; ++i) {
        double saved = 0.0;
        runs.push_back(BlockedMs(&saved));
        saves.push_back(saved);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::sort(runs.begin(), runs.end());
    std::sort(saves.begin(), saves.end());
    std::printf("saved on the writer thread after (ms): median %.2f, max %.2f\n", saves[saves.size() / 2],
                saves.back());
    std::printf("blocked (ms): min %.2f, max %.2f\n", runs.front(), runs.back());
    std::printf("history write full day: %.2f ms\n", runs[runs.size() / 2]);
    return 0;
}
