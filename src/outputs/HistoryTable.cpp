#include "outputs/HistoryTable.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "export/ExportToExcel.h"
#include "export/XlsSpreadsheet.h"

namespace {

std::string Clock(std::int64_t t)
{
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

// The local time a minute had, with its offset: the repeated hour of a
// daylight-saving change reads apart.
std::string Stamp(std::int64_t t, int offset)
{
    const std::time_t local = static_cast<std::time_t>(t + offset);
    std::tm tm{};
    gmtime_r(&local, &tm);
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

// The shortest text that reads back as the same double.
std::string Number(double v)
{
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

std::string Tenths(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

// "A".."Z", "AA".. for a 0-based column.
std::string ColumnName(int col)
{
    std::string name;
    for (++col; col > 0; col = (col - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (col - 1) % 26));
    return name;
}

} // namespace

SHistoryTable DaysTable(const std::vector<SEnergyDay>& days)
{
    SHistoryTable table;
    table.header = {"date", "energy_kwh", "peak_w", "peak_time", "first", "last"};
    for (const SEnergyDay& d : days) {
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", d.nYear % 10000, d.nMonth % 100, d.nDay % 100);
        table.rows.push_back({date, Tenths(d.fEnergyKwh), Tenths(d.fPeakW), d.tmPeak != 0 ? Clock(d.tmPeak) : "",
                              Clock(d.tmFirst), Clock(d.tmLast)});
    }
    return table;
}

SHistoryTable MonthsTable(const std::vector<SEnergyMonth>& months)
{
    SHistoryTable table;
    table.header = {"month", "energy_kwh"};
    for (const SEnergyMonth& m : months) {
        char month[16];
        std::snprintf(month, sizeof month, "%04d-%02d", m.nYear % 10000, m.nMonth % 100);
        table.rows.push_back({month, Tenths(m.fEnergyKwh)});
    }
    return table;
}

SHistoryTable MinutesTable(const std::vector<SEnergyMinute>& minutes)
{
    SHistoryTable table;
    table.header.push_back("time");
    std::vector<int> series;
    for (int c = 1; c < kExportColumns; ++c) {
        const std::string_view title = ExportColumnTitle(c);
        table.header.emplace_back(title);
        series.push_back(FindSeriesByTitle(title));
    }
    for (const SEnergyMinute& minute : minutes) {
        std::vector<std::string> row;
        row.reserve(series.size() + 1);
        row.push_back(Stamp(minute.tmTime, minute.nUtcOffset));
        for (int s : series)
            row.push_back(s >= 0 && minute.aValue[s] ? Number(*minute.aValue[s]) : std::string());
        table.rows.push_back(std::move(row));
    }
    return table;
}

std::string CsvText(const SHistoryTable& table)
{
    std::string text;
    const auto line = [&text](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                text += ',';
            text += fields[i];
        }
        text += '\n';
    };
    line(table.header);
    for (const auto& row : table.rows)
        line(row);
    return text;
}

CSaveResult SaveTableAsXls(const SHistoryTable& table, const std::string& path, const SpreadsheetStarter& start)
{
    std::unique_ptr<ISpreadsheet> sheet = start ? start() : StartXlsSpreadsheet();
    if (!sheet)
        return {false, "the spreadsheet could not be started"};
    if (table.rows.size() + 1 > static_cast<std::size_t>(CXlsWorkbook::kMaxRows))
        return {false, "too many rows for one sheet"};
    sheet->NewWorkbook();
    sheet->FirstSheet();
    const auto put = [&sheet](std::size_t row, const std::vector<std::string>& fields) {
        for (std::size_t c = 0; c < fields.size(); ++c)
            if (!fields[c].empty())
                sheet->SetCell(ColumnName(static_cast<int>(c)) + std::to_string(row + 1), fields[c]);
    };
    put(0, table.header);
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        put(r + 1, table.rows[r]);
    CSaveResult result = sheet->SaveAs(path);
    sheet->Quit();
    return result;
}
