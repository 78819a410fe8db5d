#pragma once
#include <span>
#include <string>
#include <vector>

// Reading of the configuration workbook's sheets with FreeXL, kept apart
// from ConfigWorkbook so that it can run in a process of its own: the library
// trusts lengths and indices inside the file, so a damaged workbook can make
// it read out of bounds. In the reader program (zelvan-workbook-reader), such
// a file costs only that process.

// One sheet to read: its name and the columns wanted, found by header name.
struct SSheetRequest {
    const char* sheet;
    const char* const* columns;
    int columnCount;
};

struct SSheetContent {
    std::vector<std::vector<std::string>> columns; // one per requested column, one entry per row
    std::vector<int> rowWidths;                    // columns the record reached, per row
    std::string lastError;                         // last error text the reading set; empty: none
};

struct SWorkbookContent {
    int openResult = 0;                // 0: opened; else the error code
    std::string openError;             // message box text when the workbook cannot be opened
    std::vector<SSheetContent> sheets; // one per request, when opened
};

// Error codes of our own, beside FreeXL's negative codes.
constexpr long kWorkbookErrNotOpen = -100;
constexpr long kWorkbookErrNoSheet = -101;
constexpr long kWorkbookErrNoColumn = -102;
constexpr long kWorkbookErrEmptyCell = -103;
constexpr long kWorkbookErrNotNumber = -104;
constexpr long kWorkbookErrReaderFailed = -105;

const char* WorkbookErrorMeaning(long code);

// The last-error text: "Error:\n", the code, its meaning, the source and the
// description, then the field name for a field read.
std::string FormatWorkbookError(long code, const std::string& description, const char* fieldName = nullptr);

// Reads the requested sheets in the reader program. A reader that cannot be
// started, fails, stops or overruns its time gives kWorkbookErrReaderFailed,
// reported like a damaged workbook.
SWorkbookContent LoadWorkbook(const std::string& path, std::span<const SSheetRequest> requests);

// The same reading in the calling process.
SWorkbookContent LoadWorkbookInProcess(const std::string& path, std::span<const SSheetRequest> requests);

// The reader program LoadWorkbook starts: this path when set (empty: unset),
// else $ZELVAN_WORKBOOK_READER, else zelvan-workbook-reader beside the
// running executable, else the one in the build tree.
void SetWorkbookReaderPath(const std::string& path);

// The parent's side of a read: decodes the reader program's answer. False
// (the workbook then counts as missing or damaged) for anything that is not
// a complete answer to these requests: short, long, counts that do not
// match, an open result outside int range.
bool DecodeReaderAnswer(const std::string& answer, std::span<const SSheetRequest> requests, SWorkbookContent& content);

// Every cell of a workbook's first sheet, for files read whole (the history
// workbooks the program writes), read in the reader program like LoadWorkbook.
struct SSheetCells {
    enum EKind : unsigned char { kEmpty = 0, kText = 1, kNumber = 2 };
    int openResult = 0;     // 0: read; else the error code (kWorkbookErrReaderFailed: the reader failed)
    std::string openError;  // why it could not be read
    unsigned int nRows = 0;
    unsigned int nColumns = 0;
    std::vector<unsigned char> kinds; // row-major, nRows * nColumns
    std::vector<std::string> texts;   // the text of kText cells, else empty
    std::vector<double> numbers;      // the value of kNumber cells, else 0
    EKind Kind(unsigned int row, unsigned int column) const;
    const std::string& Text(unsigned int row, unsigned int column) const; // empty outside the sheet
    double Number(unsigned int row, unsigned int column) const;           // 0 outside the sheet
};
// Columns beyond this many are left out (a history workbook has 14).
constexpr unsigned int kSheetCellsMaxColumns = 64;
SSheetCells LoadSheetCells(const std::string& path);
// The same for many files, one result per path (fewer reader starts).
std::vector<SSheetCells> LoadSheetCellsBatch(const std::vector<std::string>& paths);
SSheetCells LoadSheetCellsInProcess(const std::string& path);
bool DecodeSheetCells(const std::string& answer, SSheetCells& cells);

// The reader program's main: "<workbook> {<sheet> <column count> <column>...}"
// or "--cells <workbook>..." on the command line, the content on stdout.
// Returns the exit status.
int RunWorkbookReader(int argc, char** argv);
