#pragma once
#include <string>
#include <vector>

#include "export/Spreadsheet.h"
#include "outputs/EnergyStore.h"

// The energy store's days, months and minutes as tables of texts, the one
// form that both the command-line tool and the window's History tab write:
// as CSV (a header line, then one line a row) and as an .xls workbook
// through the export's spreadsheet. One place for the columns and their
// number formats, so a script and an operator read the same figures.
struct SHistoryTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
};

// date,energy_kwh,peak_w,peak_time,first,last (local clock times)
SHistoryTable DaysTable(const std::vector<SEnergyDay>& days);
// month,energy_kwh
SHistoryTable MonthsTable(const std::vector<SEnergyMonth>& months);
// time (local, with its UTC offset) and the history file's columns; a value
// the reading lacked is an empty field.
SHistoryTable MinutesTable(const std::vector<SEnergyMinute>& minutes);

// The table as CSV text, each line ending in '\n'.
std::string CsvText(const SHistoryTable& table);

// The table on the first sheet of a new .xls workbook at `path` (header in
// row 1); numbers are stored as numbers. Empty starter: the built-in writer.
[[nodiscard]] CSaveResult SaveTableAsXls(const SHistoryTable& table, const std::string& path,
                                         const SpreadsheetStarter& start = {});
