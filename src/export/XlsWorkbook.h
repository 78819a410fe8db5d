#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One worksheet ("Sheet1") of an Excel 97-2003 workbook held in memory, and
// its BIFF8 workbook stream: the globals (fonts, cell formats, the sheet's
// entry, the shared string table) followed by the sheet (row blocks of ROW
// records, cells and DBCELL, with the INDEX that points at them).
//
// Texts go to the shared string table (one copy per distinct text) and are
// referenced by LABELSST cells; numbers become RK/MULRK cells when they fit
// the compact forms and NUMBER cells otherwise. Cells may be set in any
// order; setting a cell again replaces it.
class CXlsWorkbook {
public:
    static constexpr int kMaxRows = 65536;
    static constexpr int kMaxColumns = 256;
    static constexpr std::size_t kMaxTextLength = 32767; // UTF-16 units per cell

    // Row and column are 0-based. Out-of-range cells are refused (false).
    // Texts are UTF-8 (invalid sequences become U+FFFD) and are cut to
    // kMaxTextLength; an empty text clears the cell.
    bool SetText(int row, int col, std::string_view utf8);
    bool SetNumber(int row, int col, double value);
    bool Clear(int row, int col);

    // Cells currently set (after replacements), for tests and sizing.
    std::size_t CellCount();

    // The complete workbook stream, ready for the compound-file container.
    std::vector<std::uint8_t> BuildStream();

private:
    // A cell's content: an index into m_aStrings, or one of these.
    static constexpr std::uint32_t kNumberCell = 0xFFFFFFFFu;
    static constexpr std::uint32_t kEmptyCell = 0xFFFFFFFEu;
    struct Cell {
        std::uint32_t key; // row << 8 | column: sorts by row, then column
        std::uint32_t sst; // string index, kNumberCell or kEmptyCell
        double value;      // the number of a kNumberCell
    };
    struct SstString {
        std::uint32_t offset; // into m_abyChars
        std::uint16_t cch;    // characters
        bool bWide;           // UTF-16 rather than compressed Latin-1
    };

    bool Put(int row, int col, std::uint32_t sst, double value);
    void Normalize();
    std::uint32_t Intern(std::string_view utf8);

    void WriteGlobals(std::vector<std::uint8_t>& out, std::size_t& boundSheetPos);
    void WriteSst(std::vector<std::uint8_t>& out, std::uint32_t labelCount);
    void WriteSheet(std::vector<std::uint8_t>& out);

    std::vector<Cell> m_aCells;
    bool m_bNormal = true; // m_aCells sorted by key without duplicates
    std::vector<SstString> m_aStrings;
    std::vector<std::uint8_t> m_abyChars;
    std::unordered_map<std::string, std::uint32_t> m_mapStrings;
};
