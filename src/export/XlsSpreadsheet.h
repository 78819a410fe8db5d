#pragma once
#include "export/AtomicFile.h"
#include "export/Spreadsheet.h"
#include "export/XlsWorkbook.h"

#include <memory>
#include <optional>

// The spreadsheet the export drives: it keeps the workbook in memory and
// saves it as a real Excel 97-2003 file (BIFF8 in a compound file), replacing
// the target atomically.
//
// A cell text that is a plain decimal number after its leading padding
// spaces ("  5", "230.4", "-1") is stored as that number, as a spreadsheet
// does with a typed-in value, so the columns can be summed and charted;
// every other text (times, titles, "SN: ...") is stored as text.
class CXlsSpreadsheet : public ISpreadsheet {
public:
    bool NewWorkbook() override;
    bool FirstSheet() override;
    bool SetCell(std::string_view cell, std::string_view text) override;
    CSaveResult SaveAs(const std::string& path) override;
    void Quit() override;

    // The file writer used by SaveAs; tests substitute one that fails or
    // stops in the middle of the data.
    virtual std::unique_ptr<CAtomicFile> CreateFile();

private:
    std::optional<CXlsWorkbook> m_workbook;
    bool m_bSheet = false;
};

// "A1" -> row 0, column 0; "IV65536" is the last cell of a sheet. Letters
// may be lower case; false for anything else.
bool ParseCellName(std::string_view name, int& row, int& col);

// The number a cell text stands for, when it is a plain decimal number:
// optional leading spaces, an optional minus, digits, optionally a point and
// more digits.
std::optional<double> PlainDecimal(std::string_view text);

// The built-in starter: a CXlsSpreadsheet, which always starts.
std::unique_ptr<ISpreadsheet> StartXlsSpreadsheet();
