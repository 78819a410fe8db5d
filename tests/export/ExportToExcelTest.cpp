#include "support/XlsReaders.h"
#include "export/ExportToExcel.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/WallClock.h"

#include <cstdio>
#include <ctime>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <vector>

namespace {

// A day's samples built directly, one full record at a time or one series
// at a time (as a cut reply leaves them).
class CSamples : public CDaySamples {
public:
    void AddTime(std::uint32_t ms) { m_adwTime.push_back(ms); }
    void AddValue(int series, double v)
    {
        if (IsFloatSeries(series))
            m_afSeries[series].push_back(static_cast<float>(v));
        else
            m_adwSeries[series].push_back(ToU32(v));
    }
    // An integer series holds what fits it.
    static std::uint32_t ToU32(double v) { return v <= 0 ? 0u : v >= 4294967295.0 ? 4294967295u : std::uint32_t(v); }
    // A record of every exported column (the address map has no Iac-Shift);
    // the insulation samples are added apart.
    void AddRecord(std::uint32_t ms, double v = 1.0, bool addressMap = false)
    {
        AddTime(ms);
        for (int s = 0; s < kSeriesInsulation; ++s)
            if (!(addressMap && s == kSeriesIacShift))
                AddValue(s, v);
    }
};

// Stands in for the spreadsheet and records what the export asks of it.
struct SLog {
    std::vector<std::string> ops; // consecutive cell writes count once
    std::map<std::string, std::string> cells;
    std::string savedPath;
    std::size_t Rows() const
    {
        std::size_t n = 0;
        for (const auto& [name, text] : cells)
            n += name[0] == 'A' && std::stoi(name.substr(1)) >= 3;
        return n;
    }
};

class CRecordingSpreadsheet : public ISpreadsheet {
public:
    explicit CRecordingSpreadsheet(std::shared_ptr<SLog> log) : m_log(std::move(log)) {}
    bool NewWorkbook() override { return Op("NewWorkbook"); }
    bool FirstSheet() override { return Op("FirstSheet"); }
    bool SetCell(std::string_view cell, std::string_view text) override
    {
        if (m_log->ops.empty() || m_log->ops.back() != "SetCell")
            Op("SetCell");
        m_log->cells[std::string(cell)] = std::string(text);
        return true;
    }
    CSaveResult SaveAs(const std::string& path) override
    {
        Op("SaveAs");
        m_log->savedPath = path;
        return {true, {}};
    }
    void Quit() override { Op("Quit"); }

private:
    bool Op(const char* name)
    {
        m_log->ops.push_back(name);
        return true;
    }
    std::shared_ptr<SLog> m_log;
};

std::int64_t Base()
{
    return platform::FromLocal(2013, 1, 8, 7, 5, 0);
}

struct SRun {
    std::shared_ptr<SLog> log = std::make_shared<SLog>();
    platform::CMessageQueue queue;
    CExportOwner owner;
    CSamples samples;

    SRun()
    {
        owner.m_strExportPath = "/nowhere/out.xls";
        owner.m_tmBase = Base();
        owner.m_strSerialNumber = "123456789012";
        owner.m_nRating = 3000;
        owner.m_pSamples = &samples;
        owner.m_pTarget = &queue;
        owner.m_nExportTo = 1440;
        auto log_ = log;
        owner.m_fnStartSpreadsheet = [log_] { return std::make_unique<CRecordingSpreadsheet>(log_); };
    }
    CExportResult Export(int quiet = 2) { return ExportToExcel(owner, quiet); }
    std::string Cell(const std::string& name) const { return log->cells.count(name) ? log->cells.at(name) : "<none>"; }
    std::vector<platform::PostedMessage> Messages()
    {
        std::vector<platform::PostedMessage> out;
        while (auto m = queue.TryTake())
            out.push_back(*m);
        return out;
    }
};

std::string TimeText(std::int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof(buf), "%Y-%m-%d %H-%M-%S", &tm);
    return buf;
}

} // namespace

TEST(ExportToExcel, WritesTitleHeadersAndFormattedRowsInOrder)
{
    SRun run;
    // The tick counter wraps between the two records: 61.5 s apart.
    run.samples.AddTime(0xFFFFF000u);
    run.samples.AddTime(0xFFFFF000u + 61500u);
    const double first[] = {230.44, 231.06, 49.987, -10.0, 98304, 3, 0.04, 1.25, 12345.6, 6552.6, 7, 4321, 5, 0};
    for (int s = 0; s < kSeriesInsulation; ++s) {
        run.samples.AddValue(s, first[s]);
        run.samples.AddValue(s, first[s] + 1);
    }
    const CExportResult r = run.Export();
    ASSERT_EQ(r.eStatus, CExportResult::kSaved);
    EXPECT_EQ(r.nRows, 2);
    EXPECT_EQ(run.log->ops, (std::vector<std::string>{"NewWorkbook", "FirstSheet", "SetCell", "SaveAs", "Quit"}));
    EXPECT_EQ(run.log->savedPath, "/nowhere/out.xls");

    EXPECT_EQ(run.Cell("A1"), "SN: 123456789012,Model: 3000");
    const char* titles[] = {"Time",      "Udc(V)",    "Uac(V)", "f(Hz)",   "Pac(W)",  "Etoday(kWh)", "Etotal(kWh)",
                            "Ttoday(min)", "Ttotal(h)", "T(\xC2\xB0" "C)", "Iac-Shift", "DCI(mA)", "State 1", "State 2"};
    for (int c = 0; c < kExportColumns; ++c)
        EXPECT_EQ(run.Cell(std::string(1, char('A' + c)) + "2"), titles[c]);

    // 1.25 rounds to even as printf does; a float shows its nearest decimals.
    const char* row3[] = {"2013-01-08 07-05-00", "230.4", "231.1", "49.99", "0.0", "1.2", "12345.6", "  7",
                          "4321", "6552.6", "  5", "-10", "98304", "  3"};
    const char* row4[] = {"2013-01-08 07-06-01", "231.4", "232.1", "50.99", "1.0", "2.2", "12346.6", "  8",
                          "4322", "6553.6", "  6", " -9", "98305", "  4"};
    for (int c = 0; c < kExportColumns; ++c) {
        EXPECT_EQ(run.Cell(std::string(1, char('A' + c)) + "3"), row3[c]) << titles[c];
        EXPECT_EQ(run.Cell(std::string(1, char('A' + c)) + "4"), row4[c]) << titles[c];
    }
}

// The value texts are what printf gives, ties, signs and huge values
// included.
TEST(ExportToExcel, ValueTextsMatchPrintf)
{
    const float values[] = {0.125f, 2.675f, -0.04f, -0.6f, 1.25f, 0.05f, 1e10f, 3.4e38f, -3.4e38f, 123456.789f,
                            -2.5f,  0.005f, 99.995f, 1e-30f, 16777217.0f};
    SRun run;
    for (std::size_t i = 0; i < std::size(values); ++i)
        run.samples.AddRecord(static_cast<std::uint32_t>(i) * 1000u, values[i]);
    run.Export();
    char want[400];
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const std::string row = std::to_string(i + 3);
        std::snprintf(want, sizeof(want), "%3.1f", static_cast<double>(values[i]));
        EXPECT_EQ(run.Cell("B" + row), want) << values[i];
        std::snprintf(want, sizeof(want), "%3.2f", static_cast<double>(values[i]));
        EXPECT_EQ(run.Cell("D" + row), want) << values[i];
        std::snprintf(want, sizeof(want), "%3.0f", static_cast<double>(values[i]));
        EXPECT_EQ(run.Cell("L" + row), want) << values[i];
        std::snprintf(want, sizeof(want), "%3.0f", static_cast<double>(CSamples::ToU32(values[i])));
        EXPECT_EQ(run.Cell("N" + row), want) << values[i];
    }
}

TEST(ExportToExcel, ExtensionRule)
{
    EXPECT_EQ(ExportFileName("/data/day.xls"), "/data/day.xls");
    EXPECT_EQ(ExportFileName("/data/day.XLS"), "/data/day.XLS");
    EXPECT_EQ(ExportFileName("/data/day.Xls"), "/data/day.Xls.xls");
    EXPECT_EQ(ExportFileName("/data/day"), "/data/day.xls");
    EXPECT_EQ(ExportFileName("xls"), "xls.xls");
    EXPECT_EQ(ExportFileName(""), ".xls");

    SRun run;
    run.owner.m_strExportPath = "/data/day";
    run.Export();
    EXPECT_EQ(run.log->savedPath, "/data/day.xls");
}

// Records every 30 s for 20 minutes; the span 2 to 15 minutes is records 4
// to 29.
TEST(ExportToExcel, StepPicksRecordsAFullStepApart)
{
    auto rowTimes = [](int step, int from) {
        SRun run;
        for (std::uint32_t i = 0; i <= 40; ++i)
            run.samples.AddRecord(i * 30000u);
        run.owner.m_nExportFrom = from;
        run.owner.m_nExportTo = 15;
        run.owner.m_nExportStep = step;
        run.Export();
        std::vector<std::string> times;
        for (int r = 3; run.log->cells.count("A" + std::to_string(r)); ++r)
            times.push_back(run.Cell("A" + std::to_string(r)));
        return times;
    };
    const std::int64_t base = Base();

    const auto every = rowTimes(0, 2);
    ASSERT_EQ(every.size(), 26u);
    EXPECT_EQ(every.front(), TimeText(base + 120));
    EXPECT_EQ(every.back(), TimeText(base + 870));

    // The record before the span (90 s) is the first reference.
    EXPECT_EQ(rowTimes(5, 2), (std::vector<std::string>{TimeText(base + 390), TimeText(base + 690)}));
    // From minute 0 there is no record before: the first one is written.
    EXPECT_EQ(rowTimes(5, 0), (std::vector<std::string>{TimeText(base), TimeText(base + 300), TimeText(base + 600)}));
}

TEST(ExportToExcel, HistoryModeWritesOneRowPerMinute)
{
    SRun run;
    for (std::uint32_t s : {0u, 30u, 61u, 90u, 125u})
        run.samples.AddRecord(5000u + s * 1000u);
    run.owner.m_nExportFrom = 0;
    run.owner.m_nExportTo = 1440;
    run.owner.m_nExportStep = 1;
    run.Export(2);
    const std::int64_t base = Base();
    EXPECT_EQ(run.log->Rows(), 3u);
    EXPECT_EQ(run.Cell("A3"), TimeText(base));
    EXPECT_EQ(run.Cell("A4"), TimeText(base + 61));
    EXPECT_EQ(run.Cell("A5"), TimeText(base + 125));
    EXPECT_TRUE(run.Messages().empty());
}

TEST(ExportToExcel, ProgressAboutTenTimesAndOnlyWhenAsked)
{
    auto progress = [](int records, int quiet) {
        SRun run;
        for (int i = 0; i < records; ++i)
            run.samples.AddRecord(static_cast<std::uint32_t>(i) * 1000u);
        run.Export(quiet);
        std::vector<std::pair<std::uintptr_t, std::intptr_t>> out;
        for (const auto& m : run.Messages()) {
            EXPECT_EQ(m.msg, platform::WM_EXPORT_PROGRESS);
            out.emplace_back(m.wParam, m.lParam);
        }
        return out;
    };
    std::vector<std::pair<std::uintptr_t, std::intptr_t>> hundred;
    for (int k = 0; k < 100; k += 10)
        hundred.emplace_back(k, 100);
    EXPECT_EQ(progress(100, 0), hundred);
    EXPECT_TRUE(progress(10, 0).empty());
    EXPECT_EQ(progress(11, 0).size(), 11u); // every record is a multiple of 11 / 10 = 1
    EXPECT_TRUE(progress(100, 2).empty());
}

TEST(ExportToExcel, EmptySpanWritesTitleAndHeadersOnly)
{
    SRun empty;
    EXPECT_EQ(empty.Export().eStatus, CExportResult::kSaved);
    EXPECT_EQ(empty.log->cells.size(), 15u);
    EXPECT_EQ(empty.Cell("N2"), "State 2");

    SRun backwards; // a start after the end
    for (std::uint32_t i = 0; i <= 40; ++i)
        backwards.samples.AddRecord(i * 30000u);
    backwards.owner.m_nExportFrom = 10;
    backwards.owner.m_nExportTo = 5;
    backwards.Export(0);
    EXPECT_EQ(backwards.log->cells.size(), 15u);
    EXPECT_TRUE(backwards.Messages().empty());
}

TEST(ExportToExcel, SpreadsheetThatCannotStartShowsOnlyTheMessage)
{
    const CTempFolder folder;
    SRun run;
    run.samples.AddRecord(0);
    run.owner.m_strExportPath = folder.File("day");
    run.owner.m_fnStartSpreadsheet = [] { return std::unique_ptr<ISpreadsheet>(); };
    platform::CMessageBoxRecorder boxes;
    const CExportResult r = run.Export(0);
    EXPECT_EQ(r.eStatus, CExportResult::kNotStarted);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Couldn't start Excel and get Application object.");
    EXPECT_EQ(boxes.Boxes()[0].type, platform::kMbOk);
    EXPECT_EQ(CountEntries(folder.Path()), 0u);
    EXPECT_TRUE(run.Messages().empty());
}

// Protocol type 2 has no Iac-Shift register: the column shows -1, and the
// data ends with the shortest of DCI, Etoday and the insulation samples.
TEST(ExportToExcel, AddressMapEndRuleAndIacShift)
{
    SRun run;
    run.owner.m_nProtocolType = 2;
    for (std::uint32_t i = 0; i < 5; ++i)
        run.samples.AddRecord(i * 1000u, 2.0, true);
    for (int i = 0; i < 3; ++i)
        run.samples.AddValue(kSeriesInsulation, 1);
    EXPECT_EQ(run.Export().nRows, 3);
    EXPECT_EQ(run.Cell("K3"), " -1");
    EXPECT_EQ(run.Cell("K5"), " -1");
    EXPECT_EQ(run.Cell("L5"), "  2");

    SRun index; // protocol types 0 and 1: the length of "State 2"
    for (std::uint32_t i = 0; i < 5; ++i)
        index.samples.AddRecord(i * 1000u);
    EXPECT_EQ(index.Export().nRows, 5);
    EXPECT_EQ(index.Cell("K7"), "  1");
}

// A reply cut short leaves some series a record behind; the export stops at
// the records every column holds instead of reading past a series.
TEST(ExportToExcel, SeriesOfDifferentLengthsAreNeverReadPastTheirEnd)
{
    SRun run;
    for (std::uint32_t i = 0; i < 6; ++i)
        run.samples.AddRecord(i * 20000u);
    run.samples.AddTime(6 * 20000u); // the next cycle's first values only
    run.samples.AddValue(kSeriesUdc, 1);
    run.samples.AddValue(kSeriesState2, 1); // even the end-of-data column
    EXPECT_EQ(run.Export().nRows, 6);

    run.log->cells.clear();
    run.owner.m_nExportTo = 2; // nearest sample: record 6, past the short columns
    EXPECT_EQ(run.Export().nRows, 6);
    EXPECT_EQ(ExportSpan(run.samples, 0, 2, 0).nEnd, 6u);
}

TEST(ExportToExcel, StopsAfterRow65532)
{
    SRun run;
    for (std::uint32_t i = 0; i < 65600; ++i)
        run.samples.AddRecord(i * 1000u);
    EXPECT_EQ(run.Export().nRows, 65530);
    EXPECT_EQ(run.Cell("N65532"), "  1");
    EXPECT_EQ(run.Cell("A65533"), "<none>");
}

TEST(ExportToExcel, FailedSaveIsReportedWithItsReason)
{
    const CTempFolder folder;
    SRun run;
    run.samples.AddRecord(0);
    run.owner.m_fnStartSpreadsheet = nullptr; // the real writer
    run.owner.m_strExportPath = folder.File("hisdata/123456789012,3000,2013-01-08 07-05.xls");
    const CExportResult r = run.Export();
    EXPECT_EQ(r.eStatus, CExportResult::kSaveFailed);
    EXPECT_NE(r.strError.find("No such file or directory"), std::string::npos) << r.strError;
    EXPECT_EQ(CountEntries(folder.Path()), 0u);
}

// A full day through the real writer: both readers agree with A1, the
// headers and every cell of every row. The expected cells come from printf
// and strftime, independently of the export's own formatting.
TEST(ExportToExcel, FullDayReadBackByBothReaders)
{
    const CTempFolder folder;
    SRun run;
    run.owner.m_fnStartSpreadsheet = nullptr;
    run.owner.m_strExportPath = folder.File("day");
    const int rows = 65530;
    CSamples& s = run.samples;
    for (int i = 0; i < rows; ++i) {
        s.AddTime(1000u + static_cast<std::uint32_t>(i) * 1318u); // about a day
        s.AddValue(kSeriesUdc, 300.0 + (i % 977) * 0.37);
        s.AddValue(kSeriesUac, 229.0 + (i % 83) * 0.11);
        s.AddValue(kSeriesFreq, 49.9 + (i % 21) * 0.013);
        s.AddValue(kSeriesDci, -40.0 + i % 81);
        s.AddValue(kSeriesState1, i % 7 == 0 ? 0x18000u : 0u);
        s.AddValue(kSeriesState2, i % 5);
        s.AddValue(kSeriesPac, (i % 3001) * 1.7);
        s.AddValue(kSeriesEtoday, i / 1000.0);
        s.AddValue(kSeriesEtotal, 123456.7 + i / 100.0);
        s.AddValue(kSeriesTemp, 25.0 + (i % 300) * 0.1);
        s.AddValue(kSeriesTtoday, i / 60);
        s.AddValue(kSeriesTtotal, 40000 + i / 3600);
        s.AddValue(kSeriesIacShift, i % 11);
    }
    const CExportResult r = run.Export();
    ASSERT_EQ(r.eStatus, CExportResult::kSaved) << r.strError;
    ASSERT_EQ(r.nRows, rows);

    CellMap expected;
    expected[{0, 0}] = TextCell("SN: 123456789012,Model: 3000");
    for (int c = 0; c < kExportColumns; ++c)
        expected[{1, c}] = TextCell(std::string(ExportColumnTitle(c)));
    const int series[] = {kSeriesUdc,    kSeriesUac,  kSeriesFreq,   kSeriesPac,    kSeriesEtoday,
                          kSeriesEtotal, kSeriesTtoday, kSeriesTtotal, kSeriesTemp, kSeriesIacShift,
                          kSeriesDci,    kSeriesState1, kSeriesState2};
    const char* formats[] = {"%3.1f", "%3.1f", "%3.2f", "%3.1f", "%3.1f", "%3.1f", "%3.0f",
                             "%3.0f", "%3.1f", "%3.0f", "%3.0f", "%3.0f", "%3.0f"};
    char buf[64];
    for (int i = 0; i < rows; ++i) {
        expected[{i + 2, 0}] = TextCell(TimeText(run.owner.m_tmBase + (s.GetTime(i) - s.GetTime(0)) / 1000));
        for (int c = 1; c < kExportColumns; ++c) {
            std::snprintf(buf, sizeof(buf), formats[c - 1], s.GetValue(series[c - 1], i));
            expected[{i + 2, c}] = NumberCell(std::strtod(buf, nullptr));
        }
    }
    for (const auto& [reader, cells] :
         {std::pair{"xlrd", ReadWithXlrd(r.strPath)}, std::pair{"FreeXL", ReadWithFreeXl(r.strPath)}}) {
        ASSERT_TRUE(cells.has_value()) << reader;
        EXPECT_EQ(cells->size(), expected.size()) << reader;
        int wrong = 0;
        for (const auto& [at, want] : expected) {
            const auto it = cells->find(at);
            const bool same = it != cells->end() && it->second == want;
            if (!same && ++wrong <= 5)
                ADD_FAILURE() << reader << " at " << at.first << "," << at.second << ": "
                              << (it == cells->end() ? std::string("nothing") : Describe(it->second))
                              << " instead of " << Describe(want);
        }
        EXPECT_EQ(wrong, 0) << reader;
    }
}
