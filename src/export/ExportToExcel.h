#pragma once
#include "export/Spreadsheet.h"
#include "model/DaySamples.h"
#include "platform/MessageTarget.h"

#include <cstddef>
#include <cstdint>
#include <string>

// What the spreadsheet export reads from the view that owns it, all taken
// when it starts. The samples are a copy made on the thread that appends to
// the live store (CTestResult::TakeCopy), never the live series.
struct CExportOwner {
    std::string m_strExportPath;              // target; ".xls" appended unless present
    int m_nExportFrom = 0;                    // minutes after m_tmBase
    int m_nExportTo = 0;                      // minutes after m_tmBase
    int m_nExportStep = 0;                    // 0 (every record), 1, 5 or 10 minutes
    std::int64_t m_tmBase = 0;                // wall-clock second of the first sample
    std::string m_strSerialNumber;            // the 12-character serial text
    int m_nRating = 0;                        // watts, as history names use it
    int m_nProtocolType = 0;                  // 0, 1 or 2
    const CDaySamples* m_pSamples = nullptr;  // the reader's copy of the store
    platform::IMessageTarget* m_pTarget = nullptr; // receives the progress messages
    SpreadsheetStarter m_fnStartSpreadsheet;  // empty: the built-in .xls writer
};

struct CExportResult {
    enum EStatus { kSaved, kNotStarted, kSaveFailed };
    EStatus eStatus = kNotStarted;
    std::string strPath;  // the file name used (with its extension)
    std::string strError; // why the save failed, for the caller to show
    int nRows = 0;        // data rows written (below the title row)
};

// The records start .. end-1 of the copy that an export examines.
struct CExportSpan {
    std::size_t nStart = 0;
    std::size_t nEnd = 0;
    std::size_t Count() const { return nEnd > nStart ? nEnd - nStart : 0; }
};

// Writes the span of the day's records into a new workbook and saves it:
// A1 "SN: <serial>,Model: <rating>", the column titles in row 2, one record
// per row from row 3 (at most 65530 rows), the records picked by the step.
// With nQuiet == 0 it posts WM_EXPORT_PROGRESS (records examined, records in
// the span) about ten times. When the spreadsheet cannot start it shows
// "Couldn't start Excel and get Application object." and writes nothing.
CExportResult ExportToExcel(const CExportOwner& owner, int nQuiet);

// The record span: from the nearest sample to the start minute (0 if none)
// to the nearest sample to the end minute or, if none, the complete records
// of the protocol type; both clamped to the records that every exported
// column holds, so series of different lengths (a cut reply) are never read
// past their end.
CExportSpan ExportSpan(const CDaySamples& samples, int fromMinute, int toMinute, int protocolType);

// The target path: unchanged when it ends in ".xls" or ".XLS", otherwise
// with ".xls" appended (".Xls" too gets one).
std::string ExportFileName(const std::string& path);

// Column titles, A to N.
constexpr int kExportColumns = 14;
std::string_view ExportColumnTitle(int column);
