// The energy store with a made-up year: 525,600 minute rows (one inverter,
// every minute of 2013) and 365 day rows. Measures writing one minute (the
// history writer's job per completed minute), the History views' queries
// (a day's minutes, a month's days, a year's months), importing 365 full
// history workbooks into an empty store, and the file's size. Ends with
//   energy-store: minute <a> ms, day <b> ms, month <c> ms, year <d> ms, import <e> s, <f> MB a year
// Goals: minute 1 ms, day 5 ms, month 20 ms, year 50 ms, import 10 s, 40 MB.
#include "export/ExportToExcel.h"
#include "export/HistoryFile.h"
#include "model/TestResult.h"
#include "outputs/EnergyStore.h"
#include "outputs/HistoryImport.h"
#include "platform/WallClock.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The sun from 06:00 to 20:00, a clear day scaled by the day of the year.
double Pac(int dayOfYear, int minuteOfDay)
{
    const double x = (minuteOfDay - 360) / 840.0;
    if (x <= 0.0 || x >= 1.0)
        return 0.0;
    return std::round(3000.0 * std::sin(x * M_PI) * (0.6 + 0.4 * std::sin(dayOfYear / 365.0 * M_PI)) * 10.0) / 10.0;
}

// One day of minutes in engineering units; *etoday runs up through the day.
std::vector<SEnergyMinute> MadeUpDay(int dayOfYear, std::int64_t midnight, double& etotal)
{
    std::vector<SEnergyMinute> day(1440);
    double etoday = 0.0;
    for (int m = 0; m < 1440; ++m) {
        SEnergyMinute& row = day[m];
        row.strSerial = "123456789012";
        row.tmTime = midnight + 60 * m + 17;
        row.nUtcOffset = 3600;
        const double pac = Pac(dayOfYear, m);
        etoday += pac / 60000.0;
        etotal += pac / 60000.0;
        row.aValue[kSeriesUdc] = pac > 0 ? 300.0 + (m % 97) / 10.0 : 0.0;
        row.aValue[kSeriesUac] = 229.0 + (m % 31) / 10.0;
        row.aValue[kSeriesFreq] = 49.95 + (m % 11) / 100.0;
        row.aValue[kSeriesPac] = pac;
        row.aValue[kSeriesEtoday] = std::floor(etoday * 10.0) / 10.0;
        row.aValue[kSeriesEtotal] = std::floor(etotal * 10.0) / 10.0;
        row.aValue[kSeriesTtoday] = pac > 0 ? m - 360 : 0;
        row.aValue[kSeriesTtotal] = 1000 + dayOfYear * 14;
        row.aValue[kSeriesTemp] = 20.0 + pac / 200.0;
        row.aValue[kSeriesIacShift] = 0;
        row.aValue[kSeriesDci] = m % 7;
        row.aValue[kSeriesState1] = 0;
        row.aValue[kSeriesState2] = pac > 0 ? 2 : 0;
    }
    return day;
}

// A full day in the live store, one sample a minute, as the history file gets it.
class CFullDay : public CTestResult {
public:
    explicit CFullDay(const std::vector<SEnergyMinute>& minutes)
    {
        for (std::size_t i = 0; i < minutes.size(); ++i) {
            m_adwTime.push_back(static_cast<std::uint32_t>(1000 + i * 60000));
            for (int s = 0; s < kSeriesInsulation; ++s) {
                const double v = minutes[i].aValue[s].value_or(0.0);
                if (IsFloatSeries(s))
                    m_afSeries[s].push_back(static_cast<float>(v));
                else
                    m_adwSeries[s].push_back(static_cast<std::uint32_t>(v));
            }
        }
    }
};

struct SFixture {
    std::string folder;
    CEnergyStore store;
    std::vector<std::int64_t> midnights;
    double fillSeconds = 0.0;
    SFixture()
    {
        folder = std::string(ZELVAN_BINARY_DIR) + "/bench/energy-store-" + std::to_string(::getpid()) + "/";
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder + "hisdata");
        if (!store.Open(folder + "year.db").Ok()) {
            std::fprintf(stderr, "cannot open the store\n");
            std::exit(1);
        }
        double etotal = 0.0;
        const auto t0 = Clock::now();
        for (int d = 0; d < 365; ++d) {
            midnights.push_back(platform::FromLocal(2013, 1, 1 + d, 0, 0, 0));
            if (!store.WriteMinutes(MadeUpDay(d, midnights.back(), etotal), 3000).Ok()) {
                std::fprintf(stderr, "cannot fill the store\n");
                std::exit(1);
            }
        }
        fillSeconds = MsSince(t0) / 1000.0;
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

void BM_DayMinutes(benchmark::State& state)
{
    std::vector<SEnergyMinute> out;
    int d = 0;
    for (auto _ : state) {
        const platform::LocalTime t = platform::ToLocal(Fixture().midnights[d++ % 365] + 43200);
        benchmark::DoNotOptimize(Fixture().store.MinutesOfDay(t.nYear, t.nMonth, t.nDay, out));
    }
}
BENCHMARK(BM_DayMinutes)->Unit(benchmark::kMillisecond);

void BM_MonthDays(benchmark::State& state)
{
    std::vector<SEnergyDay> out;
    int m = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(Fixture().store.DaysOfMonth(2013, 1 + m++ % 12, out));
}
BENCHMARK(BM_MonthDays)->Unit(benchmark::kMillisecond);

void BM_YearMonths(benchmark::State& state)
{
    std::vector<SEnergyMonth> out;
    for (auto _ : state)
        benchmark::DoNotOptimize(Fixture().store.MonthsOfYear(2013, out));
}
BENCHMARK(BM_YearMonths)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    SFixture& f = Fixture();
    std::printf("filled a year (525,600 minutes) in %.1f s\n", f.fillSeconds);

    // The views' queries, each over every day / month of the year.
    std::vector<double> day, month, year;
    std::vector<SEnergyMinute> minutes;
    std::vector<SEnergyDay> days;
    std::vector<SEnergyMonth> months;
    for (int d = 0; d < 365; d += 3) {
        const platform::LocalTime t = platform::ToLocal(f.midnights[d] + 43200);
        const auto t0 = Clock::now();
        if (!f.store.MinutesOfDay(t.nYear, t.nMonth, t.nDay, minutes).Ok() || minutes.size() != 1440) {
            std::fprintf(stderr, "day query: %zu minutes\n", minutes.size());
            return 1;
        }
        day.push_back(MsSince(t0));
    }
    for (int m = 1; m <= 12; ++m) {
        const auto t0 = Clock::now();
        (void)f.store.DaysOfMonth(2013, m, days);
        month.push_back(MsSince(t0));
    }
    for (int i = 0; i < 20; ++i) {
        const auto t0 = Clock::now();
        (void)f.store.MonthsOfYear(2013, months);
        year.push_back(MsSince(t0));
    }
    if (months.size() != 12) {
        std::fprintf(stderr, "year query: %zu months\n", months.size());
        return 1;
    }

    // Size of the year, the journal folded in.
    const double mb = [&] {
        f.store.Close();
        return static_cast<double>(std::filesystem::file_size(f.folder + "year.db")) / 1e6;
    }();
    if (!f.store.Open(f.folder + "year.db").Ok())
        return 1;

    // One minute at a time, as the writer thread writes them: the year after.
    std::vector<double> minute;
    double etotal = 0.0;
    const std::int64_t next = platform::FromLocal(2014, 1, 1, 0, 0, 0);
    for (int d = 0; d < 2; ++d) {
        for (const SEnergyMinute& m : MadeUpDay(d, next + d * 86400, etotal)) {
            const auto t0 = Clock::now();
            if (!f.store.WriteMinutes({m}, 3000).Ok())
                return 1;
            minute.push_back(MsSince(t0));
        }
    }
    const double minuteMean = [&] {
        double sum = 0.0;
        for (double v : minute)
            sum += v;
        return sum / static_cast<double>(minute.size());
    }();
    std::sort(minute.begin(), minute.end());

    // 365 full history workbooks, written by the real writer, then imported.
    etotal = 0.0;
    for (int d = 0; d < 365; ++d) {
        const CFullDay samples(MadeUpDay(d, f.midnights[d], etotal));
        CExportOwner owner;
        owner.m_strExportPath = f.folder + "hisdata/" + HistoryFileName("123456789012", 3000, f.midnights[d]);
        owner.m_nExportTo = 1440;
        owner.m_nExportStep = 1;
        owner.m_tmBase = f.midnights[d];
        owner.m_strSerialNumber = "123456789012";
        owner.m_nRating = 3000;
        owner.m_nProtocolType = 1;
        owner.m_pSamples = &samples;
        if (ExportToExcel(owner, 2).eStatus != CExportResult::kSaved)
            return 1;
    }
    CEnergyStore fresh;
    if (!fresh.Open(f.folder + "import.db").Ok())
        return 1;
    const auto t0 = Clock::now();
    const SImportSummary summary = ImportHistoryFolder(fresh, f.folder + "hisdata/");
    const double importSeconds = MsSince(t0) / 1000.0;
    std::printf("import: %s\n", summary.Line().c_str());
    if (summary.nFiles != 365 || !summary.skipped.empty())
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("minute write (ms): mean %.3f, median %.3f, p99 %.3f, max %.3f\n", minuteMean,
                minute[minute.size() / 2], minute[minute.size() * 99 / 100], minute.back());
    std::printf("energy-store: minute %.3f ms, day %.2f ms, month %.2f ms, year %.2f ms, import %.1f s, %.1f MB a year\n",
                minuteMean, Median(day), Median(month), Median(year), importSeconds, mb);
    return 0;
}
