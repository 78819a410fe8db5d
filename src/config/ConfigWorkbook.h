#pragma once
#include <array>
#include <string>
#include <vector>

#include "config/WorkbookLoader.h"

// The configuration workbook "datacfg-sp.xls": per-standard grid settings
// (sheet "tester-parset") and the model list (sheet "tester-modelcode"),
// read once at start-up and kept as columns of text.
//
// Cell texts: a text cell as read, a number cell as its "%.2f" rendering
// (3000 becomes "3000.00"). A workbook that cannot be opened is reported in
// one message box; the program then runs on with empty tables.
class ConfigWorkbook {
public:
    static constexpr int kStandardCount = 21;
    static constexpr int kParameterColumns = 24; // "Parameter", "min", "max", one per standard
    static constexpr int kModelColumns = 6;
    static constexpr std::size_t kLastErrorSize = 200; // characters, terminator included
    static constexpr int kNoModelCode = 999;

    static constexpr const char* kFileName = "datacfg-sp.xls";
    static constexpr const char* kParameterSheet = "tester-parset";
    static constexpr const char* kModelSheet = "tester-modelcode";
    static constexpr const char* kMessageBoxCaption = "Zelvan";

    // Column indices of the model sheet.
    enum { kModelModel, kModelName, kModelCode, kModelPower, kModelStandard, kModelCodeOld };

    ConfigWorkbook();
    ~ConfigWorkbook();
    ConfigWorkbook(const ConfigWorkbook&) = delete;
    ConfigWorkbook& operator=(const ConfigWorkbook&) = delete;

    // Opens and reads the workbook (relative paths resolve against the
    // working directory). On failure shows one message box with the error's
    // text and returns false; the sheets then read as empty. A damaged file
    // is reported like a missing one.
    bool OpenWorkbook(const std::string& path = kFileName);
    void ReadParameterSheet();
    void ReadModelSheet();

    // The 21 fixed grid standard names, in column order; standard number k
    // is entry k and selects parameter column 3 + k.
    const std::vector<std::string>& StandardList() const { return m_vStandards; }
    static const char* const* StandardColumnNames(); // the 24 parameter column names
    static const char* const* ModelColumnNames();    // the 6 model column names

    // Value of the first row named `name` in the column of standard
    // `standard`: 0 with `value` set, or -1 (no such row, no cell of that
    // row in the column, standard out of range, or a text that is not a
    // finite number).
    int LookupParameter(const std::string& name, int standard, double& value) const;

    // Model code of the first model row whose "Code-Old" (year 2011) or
    // "Name" (year 2010) cell equals `text`; 999 when none matches. A code
    // cell that does not hold a whole number in int range gives -1.
    int LookupModelCode(const std::string& text, int year) const;

    // Turns a 10-character serial label into the 12-digit serial number text
    // and returns the label's layout year (2010 or 2011). Returns 0 and
    // leaves the label unchanged when the label cannot be decoded.
    int DecodeSerialLabel(std::string& label) const;

    // Columns as read, one entry per row. A cell that the row's record did
    // not reach (after a failed number read) is an empty text, and
    // Has...Cell says false for it.
    const std::vector<std::string>& ParameterColumn(int c) const { return m_vParameterTable[c]; }
    const std::vector<std::string>& ModelColumn(int c) const { return m_vModelTable[c]; }
    std::size_t ParameterRows() const { return m_vParameterRowWidth.size(); }
    std::size_t ModelRows() const { return m_vModelRowWidth.size(); }
    bool HasParameterCell(std::size_t row, int column) const;
    bool HasModelCell(std::size_t row, int column) const;
    const char* LastError() const { return m_szLastError; }
    bool IsOpen() const { return m_bOpen; }

private:
    void TakeSheet(std::size_t index, std::vector<std::string>* table, int columnCount, std::vector<int>& rowWidths);
    void SetLastErrorText(const char* text);

    bool m_bOpen = false;
    std::vector<SSheetContent> m_vPendingSheets; // read at open, taken by the sheet reads
    char m_szLastError[kLastErrorSize];
    std::vector<std::string> m_vStandards;
    std::array<std::vector<std::string>, kParameterColumns> m_vParameterTable;
    std::array<std::vector<std::string>, kModelColumns> m_vModelTable;
    std::vector<int> m_vParameterRowWidth; // columns read per row
    std::vector<int> m_vModelRowWidth;
};

// A cell text as a finite number (the whole text must be the number, blanks
// after it allowed); false when it does not read as one.
bool ParseCellNumber(const std::string& text, double& value);

// Copy of the most recent workbook error text of any ConfigWorkbook.
const char* GetConfigLastError();
