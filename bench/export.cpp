// A full day of the spreadsheet export: 65,530 rows of 14 cells formatted,
// written and saved (with the flush to disk), against python3-xlwt writing
// the same cells. Ends with the line
//   export full day: <s> s, xlwt: <s> s, ratio: <x>
#include "BenchDay.h"
#include "export/ExportToExcel.h"
#include "export/XlsSpreadsheet.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 65530;

using CDay = CBenchDay<CDaySamples>;

struct SFixture {
    std::string folder;
    CDay day{kRows, 1318};
    CExportOwner owner;
    SFixture()
    {
        folder =
            (std::filesystem::temp_directory_path() / ("zelvan-bench-export-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(folder);
        owner.m_strExportPath = folder + "/day.xls";
        owner.m_nExportFrom = 0;
        owner.m_nExportTo = 1440;
        owner.m_nExportStep = 0;
        owner.m_tmBase = 1357628700; // 2013-01-08 07:05 UTC
        owner.m_strSerialNumber = "123456789012";
        owner.m_nRating = 3000;
        owner.m_pSamples = &day;
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

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Wall-clock seconds of one export; the CPU seconds it used go to *cpu.
double ExportOnce(double* cpu = nullptr)
{
    const double c0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const CExportResult r = ExportToExcel(Fixture().owner, 2);
    const auto t1 = std::chrono::steady_clock::now();
    if (cpu)
        *cpu = CpuSeconds() - c0;
    if (r.eStatus != CExportResult::kSaved || r.nRows != kRows) {
        std::fprintf(stderr, "export failed: %s\n", r.strError.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(t1 - t0).count();
}

void BM_ExportFullDay(benchmark::State& state)
{
    for (auto _ : state)
        ExportOnce();
    state.SetItemsProcessed(state.iterations() * kRows * 14);
}
BENCHMARK(BM_ExportFullDay)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The writer alone: cell texts already formatted, set by name and saved.
void BM_WorkbookFullDay(benchmark::State& state)
{
    std::vector<std::pair<std::string, std::string>> cells;
    cells.reserve(kRows * 14);
    char v[32];
    for (int r = 3; r < 3 + kRows; ++r)
        for (int c = 0; c < 14; ++c) {
            if (c == 0)
                std::snprintf(v, sizeof(v), "2013-01-08 %02d-%02d-%02d", r / 3600 % 24, r / 60 % 60, r % 60);
            else
                std::snprintf(v, sizeof(v), "%3.1f", r * 0.1 + c);
            char name[16];
            std::snprintf(name, sizeof(name), "%c%d", 'A' + c, r);
            cells.emplace_back(name, v);
        }
    const std::string path = Fixture().folder + "/cells.xls";
    for (auto _ : state) {
        CXlsSpreadsheet s;
        s.NewWorkbook();
        s.FirstSheet();
        for (const auto& [name, text] : cells)
            s.SetCell(name, text);
        if (!s.SaveAs(path).bOk)
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_WorkbookFullDay)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same cells through python3-xlwt: the script reads them first (not
// timed), then times the writes and the save.
const char* kXlwtScript = R"PY(
import sys, time, xlwt
rows = []
with open(sys.argv[1], encoding="utf-8") as f:
    for line in f:
        parts = line.rstrip("\n").split("\t")
        rows.append(parts)
data = [(r[0], [float(x) for x in r[1:]]) for r in rows[2:]]
t0 = time.perf_counter()
c0 = time.process_time()
wb = xlwt.Workbook(encoding="utf-8")
ws = wb.add_sheet("Sheet1")
ws.write(0, 0, rows[0][0])
for c, title in enumerate(rows[1]):
    ws.write(1, c, title)
for r, (when, values) in enumerate(data, start=2):
    ws.write(r, 0, when)
    for c, v in enumerate(values, start=1):
        ws.write(r, c, v)
wb.save(sys.argv[2])
print("%.6f %.6f" % (time.perf_counter() - t0, time.process_time() - c0))
)PY";

// Wall-clock seconds of xlwt's writes and save; its CPU seconds go to *cpu.
double XlwtSeconds(double* cpu)
{
    // The cells of our own workbook, read back through its recording of the
    // export: A1, the titles and every row's texts.
    struct CCollect : public ISpreadsheet {
        std::vector<std::vector<std::string>>* rows;
        bool NewWorkbook() override { return true; }
        bool FirstSheet() override { return true; }
        bool SetCell(std::string_view cell, std::string_view text) override
        {
            int row = 0, col = 0;
            ParseCellName(cell, row, col);
            if (rows->size() <= static_cast<std::size_t>(row))
                rows->resize(row + 1);
            auto& r = (*rows)[row];
            if (r.size() <= static_cast<std::size_t>(col))
                r.resize(col + 1);
            r[col] = std::string(text);
            return true;
        }
        CSaveResult SaveAs(const std::string&) override { return {true, {}}; }
        void Quit() override {}
    };
    std::vector<std::vector<std::string>> rows;
    CExportOwner owner = Fixture().owner;
    owner.m_fnStartSpreadsheet = [&] {
        auto c = std::make_unique<CCollect>();
        c->rows = &rows;
        return std::unique_ptr<ISpreadsheet>(std::move(c));
    };
    ExportToExcel(owner, 2);

    const std::string folder = Fixture().folder;
    const std::string cellsFile = folder + "/cells.tsv";
    const std::string scriptFile = folder + "/xlwt_day.py";
    {
        FILE* f = std::fopen(cellsFile.c_str(), "w");
        for (const auto& r : rows) {
            for (std::size_t c = 0; c < r.size(); ++c)
                std::fprintf(f, c ? "\t%s" : "%s", r[c].c_str());
            std::fputc('\n', f);
        }
        std::fclose(f);
        FILE* s = std::fopen(scriptFile.c_str(), "w");
        std::fputs(kXlwtScript, s);
        std::fclose(s);
    }
    const std::string command = "/usr/bin/python3 " + scriptFile + " " + cellsFile + " " + folder + "/xlwt.xls";
    FILE* p = ::popen(command.c_str(), "r");
    char line[128] = {};
    const bool got = p && std::fgets(line, sizeof(line), p);
    if (p)
        ::pclose(p);
    double wall = 0.0;
    *cpu = 0.0;
    if (!got || std::sscanf(line, "%lf %lf", &wall, cpu) != 2)
        std::fprintf(stderr, "python3-xlwt did not run\n");
    return wall;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Fixture(); // the day's samples exist before anything is timed

    // The headline figures first, from a fresh process: seven exports in a
    // row (the first one pays for fresh memory), their median; the CPU
    // figures show the cost apart from waiting on a busy machine.
    std::vector<double> wall, cpu;
    for (int i = 0; i < 7; ++i) {
        double c = 0.0;
        wall.push_back(ExportOnce(&c));
        cpu.push_back(c);
    }
    std::printf("export runs (s):");
    for (double w : wall)
        std::printf(" %.3f", w);
    std::printf("\n");
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    const double ours = wall[wall.size() / 2];
    const double oursCpu = cpu[cpu.size() / 2];
    double xlwtCpu = 0.0;
    const double xlwt = XlwtSeconds(&xlwtCpu);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("cpu time: export %.3f s, xlwt %.2f s, ratio %.0f\n", oursCpu, xlwtCpu,
                oursCpu > 0 ? xlwtCpu / oursCpu : 0.0);
    std::printf("export full day: %.3f s, xlwt: %.2f s, ratio: %.0f\n", ours, xlwt, ours > 0 ? xlwt / ours : 0.0);
    return 0;
}
