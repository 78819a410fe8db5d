// The live store over a full day: appending about 150,000 polling cycles
// (the most a day of 400 ms cycles can bring, 86,400 s / 0.6 s) and taking
// the copy a reader thread works on. Prints the memory the day holds and a
// closing line of figures.
#include "model/RegisterMap.h"
#include "model/TestResult.h"
#include "model/RegisterScale.h"
#include "platform/Tick.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int kCyclesPerDay = 150000;

// One polling cycle as the value handler delivers it: the blocks of steps
// 1 (index map) or 3, 4 and 5 (address map), numbered register by register.
void FeedCycle(CTestResult& store, int protocolType, int cycle)
{
    const auto raw = [cycle](int reg) { return static_cast<std::uint32_t>((reg * 7 + cycle) & 0xFFFF); };
    if (protocolType == 2) {
        for (int step = 3; step <= 5; ++step) {
            const SRegisterBlock b = *PollStepBlock(2, step);
            for (int reg = b.nStart; reg < b.nStart + b.nCount; ++reg)
                store.StoreAddressRegister(reg, raw(reg), GetRegisterScale(2, reg));
        }
        return;
    }
    const SRegisterBlock b = *PollStepBlock(protocolType, 1);
    for (int reg = b.nStart; reg < b.nStart + b.nCount; ++reg)
        store.StoreIndexRegister(reg, raw(reg), GetRegisterScale(protocolType, reg));
}

void FillDay(CTestResult& store, int protocolType, platform::CFakeTicks& ticks)
{
    for (int cycle = 0; cycle < kCyclesPerDay; ++cycle) {
        ticks.Advance(576); // 150,000 cycles over 24 h
        FeedCycle(store, protocolType, cycle);
    }
}

std::map<int, std::size_t> g_dayBytes; // by protocol type

void AppendDay(benchmark::State& state)
{
    const int protocolType = static_cast<int>(state.range(0));
    platform::CFakeTicks ticks(0);
    for (auto _ : state) {
        CTestResult store;
        FillDay(store, protocolType, ticks);
        benchmark::DoNotOptimize(store.GetTimeCount());
        g_dayBytes[protocolType] = store.GetMemoryBytes();
        state.counters["MB"] = static_cast<double>(store.GetMemoryBytes()) / 1e6;
    }
    // Seconds per polling cycle, printed with its unit.
    state.counters["per_cycle"] =
        benchmark::Counter(static_cast<double>(kCyclesPerDay) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void TakeCopy(benchmark::State& state)
{
    const int protocolType = static_cast<int>(state.range(0));
    platform::CFakeTicks ticks(0);
    CTestResult store;
    FillDay(store, protocolType, ticks);
    for (auto _ : state) {
        CDaySamples copy = store.TakeCopy();
        benchmark::DoNotOptimize(copy.GetTimes().data());
    }
    state.counters["MB"] = static_cast<double>(store.TakeCopy().GetMemoryBytes()) / 1e6;
}

// Remembers the real time of each run for the closing line.
class CFigures : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            m_ms[run.benchmark_name()] =
                run.GetAdjustedRealTime() * 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    double Ms(const std::string& name) const
    {
        const auto it = m_ms.find(name);
        return it == m_ms.end() ? -1.0 : it->second;
    }

private:
    std::map<std::string, double> m_ms;
};

} // namespace

BENCHMARK(AppendDay)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(TakeCopy)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    CFigures figures;
    benchmark::RunSpecifiedBenchmarks(&figures);
    benchmark::Shutdown();
    std::printf("store: day of %d cycles: append %.1f ms (type 0) / %.1f ms (type 2), copy %.2f ms / %.2f ms, "
                "memory %.1f MB / %.1f MB\n",
                kCyclesPerDay, figures.Ms("AppendDay/0"), figures.Ms("AppendDay/2"), figures.Ms("TakeCopy/0"),
                figures.Ms("TakeCopy/2"), static_cast<double>(g_dayBytes[0]) / 1e6,
                static_cast<double>(g_dayBytes[2]) / 1e6);
    return 0;
}
