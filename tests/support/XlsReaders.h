#pragma once
// Reads .xls files back with two independent readers, python3-xlrd and
// FreeXL, into one comparable form.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

struct SReadCell {
    bool bText = false;
    std::string strText; // UTF-8
    double dNumber = 0.0;
    bool operator==(const SReadCell& o) const
    {
        return bText == o.bText && (bText ? strText == o.strText : dNumber == o.dNumber);
    }
};

using CellMap = std::map<std::pair<int, int>, SReadCell>; // (row, col), 0-based

SReadCell TextCell(const std::string& text);
SReadCell NumberCell(double value);

// Every non-empty cell of the first sheet; nullopt (with a gtest failure)
// when the reader refuses the file.
std::optional<CellMap> ReadWithXlrd(const std::string& path);
std::optional<CellMap> ReadWithFreeXl(const std::string& path);

// The "Workbook" stream as xlrd's container reader sees it: "<length> <sha256>".
std::string XlrdStreamDigest(const std::string& path);
std::string Sha256Line(const std::uint8_t* data, std::size_t size); // same form, computed here by python

// A fresh empty folder under the temporary directory, removed with its
// contents when the object goes.
class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;
    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& name) const { return m_strPath + "/" + name; }

private:
    std::string m_strPath;
};
bool FileExists(const std::string& path);
// Names in a folder (without "." and "..").
std::size_t CountEntries(const std::string& folder);

// Cell text printed for test failure messages.
std::string Describe(const SReadCell& c);
