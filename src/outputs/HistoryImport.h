#pragma once
#include <string>
#include <vector>

#include "outputs/EnergyStore.h"

// Reading the day's history workbooks (.xls) into the energy store. Each
// file is read in the workbook reader program, so a damaged one costs only
// that process; a file that cannot be read is skipped and named.

// One history workbook's content: A1 "SN: <serial>,Model: <rating>", the
// column titles in row 2, one reading per row from row 3 with its local
// time as text ("%Y-%m-%d %H-%M-%S") and its values as numbers.
struct SHistoryWorkbook {
    std::string strSerial;
    int nRating = 0;
    std::vector<SEnergyMinute> minutes; // in the file's order
    std::string strError;               // why it cannot be used; empty: read
};
SHistoryWorkbook ReadHistoryWorkbook(const std::string& path);

class CStopSignal;

struct SImportSummary {
    int nFiles = 0;                   // files read into the store this time
    int nMinutes = 0;                 // minutes new to the store
    std::vector<std::string> skipped; // "<file name>: <reason>", one per file skipped
    std::string strStoreError;        // a failed write to the store (the import stopped there)
    // "imported N files, M minutes, S skipped"
    std::string Line() const;
};

// Reads every .xls in the folder (in name order) that the store has not
// read in whole before under the same name, size and modification time, so
// importing twice adds nothing. A file's minutes go in one transaction. A
// stop request ends it between two files: what is read stays, the rest is
// read by the next import.
SImportSummary ImportHistoryFolder(CEnergyStore& store, const std::string& folder,
                                   const CStopSignal* pStop = nullptr);
