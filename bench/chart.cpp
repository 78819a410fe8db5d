// Cost of the power curve chart with a full day of samples against a short
// curve: a full repaint (every sample visited, reduced per pixel column) and
// one new sample (one segment drawn, only its rectangle repainted).
// Ratios compare CPU time (drawing is single-threaded; wall time on a busy
// machine mostly measures the neighbours). Ends with the line
// "chart repaint 150k/1.5k: <x>, addpoint 150k/1.5k: <y>".
#include "widgets/FlowPane.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr std::uint32_t kFirstTick = 4294000000u; // the counter wraps during the day
constexpr double kDayMinutes = 1200.0;
constexpr std::uint32_t kAddStepMs = 60;

double DayPower(double minute)
{
    return 3000.0 * std::sin(M_PI * minute / kDayMinutes) + 40.0 * std::sin(minute * 7.3);
}

// A chart of 800 x 400 pixels holding nSamples spread evenly over the day.
std::unique_ptr<CFlowPane> MakeChart(int nSamples)
{
    auto pane = std::make_unique<CFlowPane>();
    pane->resize(800, 400);
    pane->SetYRange(0, 3600);
    const double dStepMs = kDayMinutes * 60000.0 / nSamples;
    for (int i = 0; i < nSamples; ++i) {
        const double ms = i * dStepMs;
        pane->AddPoint(kFirstTick + static_cast<std::uint32_t>(ms), DayPower(ms / 60000.0));
    }
    pane->SetXRange(0, 1440);
    pane->show();
    QCoreApplication::processEvents();
    pane->repaint();
    return pane;
}

void BM_FullRepaint(benchmark::State& state)
{
    const auto pane = MakeChart(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        pane->SetYRange(0, 3600); // the whole curve is redrawn at the next paint
        pane->repaint();
    }
}
BENCHMARK(BM_FullRepaint)->Arg(1500)->Arg(150000)->Unit(benchmark::kMicrosecond);

void BM_AddPoint(benchmark::State& state)
{
    const auto pane = MakeChart(static_cast<int>(state.range(0)));
    std::uint32_t dwTime = pane->Times().back();
    for (auto _ : state) {
        dwTime += kAddStepMs;
        pane->AddPoint(dwTime, DayPower(kDayMinutes));
        QCoreApplication::processEvents(); // paints the changed rectangle
    }
}
// A fixed count keeps both curves close to their nominal size (1,500 grows
// to 3,500 at most) and every new sample inside the shown range.
BENCHMARK(BM_AddPoint)->Arg(1500)->Arg(150000)->Iterations(2000)->Unit(benchmark::kMicrosecond);

class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            m_times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }

    std::string Ratio(const std::string& strLarge, const std::string& strSmall) const
    {
        const auto large = m_times.find(strLarge);
        const auto small = m_times.find(strSmall);
        if (large == m_times.end() || small == m_times.end() || small->second <= 0)
            return "n/a";
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", large->second / small->second);
        return text;
    }

private:
    std::map<std::string, double> m_times;
};

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("chart repaint 150k/1.5k: %s, addpoint 150k/1.5k: %s\n",
                reporter.Ratio("BM_FullRepaint/150000", "BM_FullRepaint/1500").c_str(),
                reporter.Ratio("BM_AddPoint/150000/iterations:2000", "BM_AddPoint/1500/iterations:2000").c_str());
    return 0;
}
