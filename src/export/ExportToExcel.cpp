#include "export/ExportToExcel.h"

#include "export/XlsSpreadsheet.h"
#include "link/ProtocolTable.h"
#include "model/NearestSample.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/WallClock.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kCaption = "Zelvan";
constexpr const char* kNoSpreadsheet = "Couldn't start Excel and get Application object.";
constexpr int kFirstDataRow = 3;
constexpr int kLastDataRow = 65532;

// Columns B to N: the series and the decimals of its "%3.Nf" format.
struct SValueColumn {
    int nSeries;
    int nDecimals;
};
constexpr SValueColumn kValueColumns[kExportColumns - 1] = {
    {kSeriesUdc, 1},     {kSeriesUac, 1},    {kSeriesFreq, 2},   {kSeriesPac, 1},    {kSeriesEtoday, 1},
    {kSeriesEtotal, 1},  {kSeriesTtoday, 0}, {kSeriesTtotal, 0}, {kSeriesTemp, 1},   {kSeriesIacShift, 0},
    {kSeriesDci, 0},     {kSeriesState1, 0}, {kSeriesState2, 0},
};

// No such register under protocol type 2: the column shows -1.
bool HasNoIacShift(int protocolType)
{
    return UsesAddressNumbering(protocolType);
}

// "%3.<decimals>f" without the locale: the C decimal point always.
std::string_view FormatValue(char* buf, std::size_t size, double value, int decimals)
{
    // Fast path: when value x 10^decimals is exact (always so for the
    // store's floats and integers) and below 2^53, rounding it to an integer
    // (ties to even, as printf) gives the digits.
    static constexpr double kScale[3] = {1.0, 10.0, 100.0};
    const double scaled = value * kScale[decimals];
    if (decimals <= 2 && std::fabs(scaled) < 9007199254740992.0 && std::fma(value, kScale[decimals], -scaled) == 0.0 &&
        size >= 24) {
        const double rounded = std::nearbyint(scaled);
        std::uint64_t n = static_cast<std::uint64_t>(std::fabs(rounded));
        char digits[24];
        int len = 0;
        do {
            digits[len++] = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n != 0);
        while (len <= decimals)
            digits[len++] = '0';
        char text[32];
        std::size_t t = 0;
        if (std::signbit(value))
            text[t++] = '-';
        for (int k = len - 1; k >= 0; --k) {
            text[t++] = digits[k];
            if (k == decimals && decimals > 0)
                text[t++] = '.';
        }
        const std::size_t pad = t < 3 ? 3 - t : 0;
        std::fill(buf, buf + pad, ' ');
        std::copy(text, text + t, buf + pad);
        return {buf, pad + t};
    }
    char digits[400];
    const auto res = std::to_chars(digits, digits + sizeof(digits), value, std::chars_format::fixed, decimals);
    const std::size_t n = res.ptr - digits;
    const std::size_t pad = n < 3 ? 3 - n : 0;
    if (pad + n > size)
        return {};
    std::fill(buf, buf + pad, ' ');
    std::copy(digits, digits + n, buf + pad);
    return {buf, pad + n};
}

// "%c%i": column letter and row.
std::string_view CellName(char* buf, int column, int row)
{
    buf[0] = static_cast<char>('A' + column);
    const auto res = std::to_chars(buf + 1, buf + 12, row);
    return {buf, static_cast<std::size_t>(res.ptr - buf)};
}

// "%Y-%m-%d %H-%M-%S" in local time (a row's cost is mostly this text, so
// no printf).
std::string_view FormatTime(char* buf, std::size_t size, std::int64_t seconds)
{
    const platform::LocalTime t = platform::ToLocal(seconds);
    if (t.nYear < 1000 || t.nYear > 9999 || size < 20) {
        const int n = std::snprintf(buf, size, "%d-%02d-%02d %02d-%02d-%02d", t.nYear, t.nMonth, t.nDay, t.nHour,
                                    t.nMinute, t.nSecond);
        return {buf, n > 0 ? std::min(static_cast<std::size_t>(n), size - 1) : 0};
    }
    auto two = [](char* p, int v) {
        p[0] = static_cast<char>('0' + v / 10);
        p[1] = static_cast<char>('0' + v % 10);
    };
    two(buf, t.nYear / 100);
    two(buf + 2, t.nYear % 100);
    buf[4] = '-';
    two(buf + 5, t.nMonth);
    buf[7] = '-';
    two(buf + 8, t.nDay);
    buf[10] = ' ';
    two(buf + 11, t.nHour);
    buf[13] = '-';
    two(buf + 14, t.nMinute);
    buf[16] = '-';
    two(buf + 17, t.nSecond);
    return {buf, 19};
}

double ColumnValue(const CDaySamples& s, int series, std::size_t i)
{
    return IsFloatSeries(series) ? static_cast<double>(s.GetFloatSeries(series)[i])
                                 : static_cast<double>(s.GetUIntSeries(series)[i]);
}

} // namespace

std::string_view ExportColumnTitle(int column)
{
    if (column == 0)
        return "Time";
    if (column < 1 || column >= kExportColumns)
        return {};
    return SeriesTitle(kValueColumns[column - 1].nSeries);
}

std::string ExportFileName(const std::string& path)
{
    const std::string tail = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    if (tail == ".xls" || tail == ".XLS")
        return path;
    return path + ".xls";
}

CExportSpan ExportSpan(const CDaySamples& samples, int fromMinute, int toMinute, int protocolType)
{
    const std::vector<std::uint32_t>& times = samples.GetTimes();
    CExportSpan span;
    const int start = FindNearestSample(times.data(), times.size(), fromMinute);
    span.nStart = start < 0 ? 0 : static_cast<std::size_t>(start);
    const int end = FindNearestSample(times.data(), times.size(), toMinute);
    if (end >= 0) {
        span.nEnd = static_cast<std::size_t>(end);
    } else if (UsesAddressNumbering(protocolType)) {
        span.nEnd = std::min({samples.GetSize(kSeriesDci), samples.GetSize(kSeriesEtoday),
                              samples.GetSize(kSeriesInsulation)});
    } else {
        span.nEnd = samples.GetSize(kSeriesState2);
    }

    // Only records that every exported column holds.
    std::size_t complete = times.size();
    for (const SValueColumn& c : kValueColumns)
        if (!(c.nSeries == kSeriesIacShift && HasNoIacShift(protocolType)))
            complete = std::min(complete, samples.GetSize(c.nSeries));
    span.nEnd = std::min(span.nEnd, complete);
    span.nStart = std::min(span.nStart, span.nEnd);
    return span;
}

CExportResult ExportToExcel(const CExportOwner& owner, int nQuiet)
{
    CExportResult result;
    result.strPath = ExportFileName(owner.m_strExportPath);

    std::unique_ptr<ISpreadsheet> app = owner.m_fnStartSpreadsheet ? owner.m_fnStartSpreadsheet()
                                                                   : StartXlsSpreadsheet();
    if (!app) {
        platform::ShowMessageBox(kCaption, kNoSpreadsheet, platform::kMbOk);
        result.eStatus = CExportResult::kNotStarted;
        return result;
    }
    app->NewWorkbook();
    app->FirstSheet();

    char name[16];
    char text[512];
    std::snprintf(text, sizeof(text), "SN: %s,Model: %d", owner.m_strSerialNumber.c_str(), owner.m_nRating);
    app->SetCell("A1", text);
    for (int c = 0; c < kExportColumns; ++c)
        app->SetCell(CellName(name, c, 2), ExportColumnTitle(c));

    const CDaySamples empty;
    const CDaySamples& s = owner.m_pSamples ? *owner.m_pSamples : empty;
    const CExportSpan span = ExportSpan(s, owner.m_nExportFrom, owner.m_nExportTo, owner.m_nProtocolType);
    const std::size_t count = span.Count();
    const std::uint32_t stepMs = static_cast<std::uint32_t>(std::max(owner.m_nExportStep, 0)) * 60000u;
    const bool noIacShift = HasNoIacShift(owner.m_nProtocolType);
    const bool progress = nQuiet == 0 && owner.m_pTarget != nullptr && count > 10;
    const std::size_t progressEvery = count / 10;

    int row = kFirstDataRow;
    // The reference record: the one before the span at first, then the last
    // one written.
    bool hasRef = span.nStart > 0;
    std::size_t ref = hasRef ? span.nStart - 1 : 0;
    for (std::size_t i = span.nStart; i < span.nEnd; ++i) {
        if (hasRef && static_cast<std::uint32_t>(s.GetTime(i) - s.GetTime(ref)) < stepMs)
            continue;
        hasRef = true;
        ref = i;

        app->SetCell(CellName(name, 0, row), FormatTime(text, sizeof(text), s.GetSampleWallTime(i, owner.m_tmBase)));
        for (int c = 1; c < kExportColumns; ++c) {
            const SValueColumn& col = kValueColumns[c - 1];
            const double value =
                (col.nSeries == kSeriesIacShift && noIacShift) ? -1.0 : ColumnValue(s, col.nSeries, i);
            app->SetCell(CellName(name, c, row), FormatValue(text, sizeof(text), value, col.nDecimals));
        }
        ++result.nRows;

        const std::size_t examined = i - span.nStart;
        if (progress && examined % progressEvery == 0)
            owner.m_pTarget->Post(platform::WM_EXPORT_PROGRESS, examined, static_cast<platform::LPARAM>(count));
        if (++row > kLastDataRow)
            break;
    }

    const CSaveResult saved = app->SaveAs(result.strPath);
    app->Quit();
    result.eStatus = saved.bOk ? CExportResult::kSaved : CExportResult::kSaveFailed;
    result.strError = saved.strError;
    return result;
}
