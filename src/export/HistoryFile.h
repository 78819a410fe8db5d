#pragma once
#include <cstdint>
#include <string>

// The folder of the history workbooks: the program's folder + "hisdata/".
// A folder given without its closing slash gets one.
std::string HistoryFolder(const std::string& appDir);

// The folder that holds "hisdata/": the program's folder when its history
// folder can be written there and it is a build or a portable copy (always
// on Windows); otherwise, and always for a program installed under a prefix
// (its files in <prefix>/share/zelvan), $XDG_DATA_HOME/zelvan/
// (~/.local/share/zelvan/ by default). Ends with a slash.
std::string HistoryHome(const std::string& appDir);
// The history folder a program in appDir uses: HistoryFolder(HistoryHome(appDir)).
std::string HistoryFolderFor(const std::string& appDir);

// The name of a day curve's history workbook: the serial number text, ",",
// the rating, ",", the curve's local start time "%Y-%m-%d %H-%M", ".xls";
// e.g. "123456789012,3000,2013-01-08 07-05.xls".
//
// A serial half-byte above 9 shows as one of ':' ';' '<' '=' '>' '?' in the
// serial text; some file systems refuse those, so in the name (and only
// there) they become 'A' to 'F', the half-byte's hexadecimal digit. No other
// character of the text is changed.
std::string HistoryFileName(const std::string& serialText, int rating, std::int64_t curveStart);
