#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The outcome of saving a workbook: on failure, a text that says why.
struct CSaveResult {
    bool bOk = false;
    std::string strError;
};

// A spreadsheet application as the export drives it, one operation at a
// time, in this order: a new workbook, its first sheet, cell texts by cell
// name ("A1", "N65532"), save as an .xls workbook, quit. The export ignores
// the results of the cell operations, as it would those of an automation
// server; only the save's result reaches its caller.
class ISpreadsheet {
public:
    virtual ~ISpreadsheet() = default;
    // The application's workbook collection: alerts off, one new workbook.
    virtual bool NewWorkbook() = 0;
    // The new workbook's first worksheet; cells go there.
    virtual bool FirstSheet() = 0;
    // Puts a text into the cell named `cell`. Like a spreadsheet given a
    // cell value, it may store a text that reads as a number as that number.
    virtual bool SetCell(std::string_view cell, std::string_view text) = 0;
    // Saves the workbook as an Excel 97-2003 file at `path`.
    virtual CSaveResult SaveAs(const std::string& path) = 0;
    virtual void Quit() = 0;
};

// Starts a spreadsheet application; nullptr when it cannot start. This is
// the seam where tests put a component that fails to start or to save.
using SpreadsheetStarter = std::function<std::unique_ptr<ISpreadsheet>()>;
