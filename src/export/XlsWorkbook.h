#pragma once
#include "export/ByteBuffer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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

    CXlsWorkbook();

    // Row and column are 0-based. Out-of-range cells are refused (false).
    // Texts are UTF-8 (invalid sequences become U+FFFD) and are cut to
    // kMaxTextLength; an empty text clears the cell.
    bool SetText(int row, int col, std::string_view utf8);
    bool SetNumber(int row, int col, double value);
    // The number mantissa / 10^decimals, as a reader reads back the decimal
    // text it came from (up to 2^53 and 22 decimals; beyond, false).
    bool SetDecimal(int row, int col, std::int64_t mantissa, int decimals);
    bool Clear(int row, int col);

    // Cells currently set (after replacements), for tests and sizing.
    std::size_t CellCount();

    // The complete workbook stream, ready for the compound-file container.
    CByteBuffer BuildStream();

private:
    // A cell in 8 bytes: its place and kind in `key`, its content in `value`.
    // Bits 0-7 of key: column; bits 8-23: row (so keys sort by row, then
    // column); bits 24-31: the kind. Texts hold an index into m_aStrings,
    // RK numbers their RK form, other numbers an index into m_adNumbers.
    enum : std::uint32_t { kText = 0, kRkNumber = 1, kNumber = 2, kEmpty = 3 };
    struct Cell {
        std::uint32_t key;
        std::uint32_t value;
        std::uint32_t Place() const { return key & 0xFFFFFFu; }
        std::uint32_t Kind() const { return key >> 24; }
        std::uint32_t Row() const { return (key >> 8) & 0xFFFFu; }
        std::uint32_t Col() const { return key & 0xFFu; }
    };
    struct SstString {
        std::uint32_t offset; // into m_abyChars
        std::uint16_t cch;    // characters
        bool bWide;           // UTF-16 rather than compressed Latin-1
    };

    bool Put(int row, int col, std::uint32_t kind, std::uint32_t value);
    void Normalize();
    std::uint32_t Intern(std::string_view utf8);
    std::string_view Keep(std::string_view utf8);

    void WriteGlobals(CByteBuffer& out, std::size_t& boundSheetPos, std::uint32_t labelCount);
    void WriteSst(CByteBuffer& out, std::uint32_t labelCount);
    void WriteSheet(CByteBuffer& out);

    // The cells in a byte buffer (large pages for a full day).
    CByteBuffer m_cells;
    Cell* Cells() { return reinterpret_cast<Cell*>(m_cells.data()); }
    std::size_t CellsSize() const { return m_cells.size() / sizeof(Cell); }
    std::vector<double> m_adNumbers;
    bool m_bNormal = true; // cells sorted by place without duplicates
    std::vector<SstString> m_aStrings;
    std::vector<std::uint8_t> m_abyChars;
    // Distinct texts: an open-addressing table of string index + 1 (0 is
    // free) over their UTF-8, kept in m_aKeyChunks, which never move.
    std::vector<std::string_view> m_aKeys;
    std::vector<std::uint32_t> m_aSlots;
    std::vector<std::unique_ptr<char[]>> m_aKeyChunks;
    std::size_t m_nKeyChunkUsed = 0;
    std::size_t m_nKeyChunkSize = 0;
};
