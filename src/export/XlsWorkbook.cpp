#include "export/XlsWorkbook.h"

#include "export/ByteBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Record ids.
constexpr std::uint16_t kBof = 0x0809;
constexpr std::uint16_t kEof = 0x000A;
constexpr std::uint16_t kCodePage = 0x0042;
constexpr std::uint16_t kWindow1 = 0x003D;
constexpr std::uint16_t kDateMode = 0x0022;
constexpr std::uint16_t kFont = 0x0031;
constexpr std::uint16_t kXf = 0x00E0;
constexpr std::uint16_t kStyle = 0x0293;
constexpr std::uint16_t kBoundSheet = 0x0085;
constexpr std::uint16_t kSst = 0x00FC;
constexpr std::uint16_t kContinue = 0x003C;
constexpr std::uint16_t kExtSst = 0x00FF;
constexpr std::uint16_t kIndex = 0x020B;
constexpr std::uint16_t kDefColWidth = 0x0055;
constexpr std::uint16_t kDimensions = 0x0200;
constexpr std::uint16_t kRow = 0x0208;
constexpr std::uint16_t kDbCell = 0x00D7;
constexpr std::uint16_t kLabelSst = 0x00FD;
constexpr std::uint16_t kRecNumber = 0x0203;
constexpr std::uint16_t kRk = 0x027E;
constexpr std::uint16_t kMulRk = 0x00BD;
constexpr std::uint16_t kWindow2 = 0x023E;

constexpr std::size_t kMaxRecordData = 8224; // longer data continues in CONTINUE records
constexpr std::uint16_t kCellXf = 15;        // the default cell format, after the 15 style formats
constexpr int kRowsPerBlock = 32;

void PutDouble(std::uint8_t* p, double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

// Appends to a stream and patches lengths and positions written earlier.
class CStreamOut {
public:
    explicit CStreamOut(CByteBuffer& v) : m_v(v) {}

    std::size_t Pos() const { return m_v.size(); }
    std::uint8_t* Grow(std::size_t n) { return m_v.Grow(n); }
    void U8(std::uint8_t x) { *Grow(1) = x; }
    void U16(std::uint16_t x) { Put16(Grow(2), x); }
    void U32(std::uint32_t x) { Put32(Grow(4), x); }
    void Bytes(const void* p, std::size_t n) { m_v.Append(p, n); }

    // A record whose length is known only at its end.
    std::size_t Begin(std::uint16_t id)
    {
        const std::size_t at = Pos();
        U16(id);
        U16(0);
        return at;
    }
    void End(std::size_t at) { Put16(m_v.data() + at + 2, static_cast<std::uint16_t>(Pos() - at - 4)); }

    void Patch32(std::size_t at, std::uint32_t x) { Put32(m_v.data() + at, x); }

private:
    CByteBuffer& m_v;
};

// The compact RK form of a number, when it holds the number exactly: a
// 30-bit integer, a 30-bit integer of hundredths, or a double whose low 34
// bits are zero.
bool EncodeRk(double v, std::uint32_t& rk)
{
    constexpr double kMax = 536870911.0; // 2^29 - 1
    if (v >= -kMax - 1 && v <= kMax && v == std::floor(v)) {
        rk = (static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) << 2) | 2u;
        return true;
    }
    const double h = std::nearbyint(v * 100.0);
    if (std::fabs(h) <= kMax && h / 100.0 == v) {
        rk = (static_cast<std::uint32_t>(static_cast<std::int32_t>(h)) << 2) | 3u;
        return true;
    }
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    if ((bits & 0x3FFFFFFFFull) == 0) {
        rk = static_cast<std::uint32_t>(bits >> 32);
        return true;
    }
    return false;
}

// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD.
std::u16string ToUtf16(std::string_view s, std::size_t limit)
{
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size() && out.size() < limit) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if (c >= 0xC2 && c <= 0xF4) {
            const std::size_t need = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            char32_t v = c & (need == 2 ? 0x1F : need == 3 ? 0x0F : 0x07);
            std::size_t k = 1;
            for (; k < need && i + k < s.size(); ++k) {
                const unsigned char cc = static_cast<unsigned char>(s[i + k]);
                if ((cc & 0xC0) != 0x80)
                    break;
                v = (v << 6) | (cc & 0x3F);
            }
            const bool overlong = (need == 3 && v < 0x800) || (need == 4 && v < 0x10000);
            if (k == need && !overlong && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                cp = v;
                len = need;
            } else {
                len = std::max<std::size_t>(k, 1);
            }
        }
        i += len;
        if (cp >= 0x10000) {
            if (out.size() + 2 > limit)
                break; // never cut a surrogate pair
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

void Record(CStreamOut& out, std::uint16_t id, std::initializer_list<std::uint16_t> words)
{
    std::uint8_t* p = out.Grow(4 + 2 * words.size());
    Put16(p, id);
    Put16(p + 2, static_cast<std::uint16_t>(2 * words.size()));
    p += 4;
    for (std::uint16_t w : words) {
        Put16(p, w);
        p += 2;
    }
}

void WriteBof(CStreamOut& out, std::uint16_t type)
{
    // BIFF8, build 3515 of 1996, lowest version that can read it: BIFF8.
    Record(out, kBof, {0x0600, type, 0x0DBB, 0x07CC, 0, 0, 6, 0});
}

void WriteShortString(CStreamOut& out, std::string_view ascii)
{
    out.U8(static_cast<std::uint8_t>(ascii.size()));
    out.U8(0); // 8-bit characters
    out.Bytes(ascii.data(), ascii.size());
}

} // namespace

CXlsWorkbook::CXlsWorkbook()
{
    // Room for a full day (65530 rows of 14 cells, a distinct time text per
    // row) from the start: large blocks are only address space until they
    // are written, and growing by copying would touch every page twice.
    m_cells.Reserve(sizeof(Cell) << 20);
    m_aStrings.reserve(1u << 17);
    m_aKeys.reserve(1u << 17);
    m_abyChars.reserve(1u << 21);
}

bool CXlsWorkbook::Put(int row, int col, std::uint32_t kind, std::uint32_t value)
{
    if (row < 0 || row >= kMaxRows || col < 0 || col >= kMaxColumns)
        return false;
    const std::uint32_t place = (static_cast<std::uint32_t>(row) << 8) | static_cast<std::uint32_t>(col);
    if (CellsSize() > 0 && place <= Cells()[CellsSize() - 1].Place())
        m_bNormal = false;
    const Cell cell{place | (kind << 24), value};
    m_cells.Append(&cell, sizeof(cell));
    return true;
}

bool CXlsWorkbook::SetNumber(int row, int col, double value)
{
    if (!std::isfinite(value))
        return false; // a sheet cell cannot hold infinities or NaN
    std::uint32_t rk = 0;
    if (EncodeRk(value, rk))
        return Put(row, col, kRkNumber, rk);
    if (!Put(row, col, kNumber, static_cast<std::uint32_t>(m_adNumbers.size())))
        return false;
    m_adNumbers.push_back(value);
    return true;
}

bool CXlsWorkbook::SetDecimal(int row, int col, std::int64_t mantissa, int decimals)
{
    constexpr std::int64_t kExact = std::int64_t{1} << 53;
    if (decimals < 0 || decimals > 22 || mantissa <= -kExact || mantissa >= kExact)
        return false;
    // Hundredths within 30 bits are an RK number as they stand: a reader
    // divides them by 100, which gives the double nearest the decimal text.
    constexpr std::int64_t kRkMax = 536870911;
    if (decimals <= 2) {
        const std::int64_t hundredths = mantissa * (decimals == 0 ? 100 : decimals == 1 ? 10 : 1);
        if (hundredths >= -kRkMax && hundredths <= kRkMax) {
            const bool whole = hundredths % 100 == 0;
            const std::int64_t n = whole ? hundredths / 100 : hundredths;
            const std::uint32_t rk = (static_cast<std::uint32_t>(static_cast<std::int32_t>(n)) << 2) | (whole ? 2u : 3u);
            return Put(row, col, kRkNumber, rk);
        }
    }
    // Both operands exact, so the quotient is the correctly rounded value.
    static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    return SetNumber(row, col, static_cast<double>(mantissa) / kPow10[decimals]);
}

bool CXlsWorkbook::SetText(int row, int col, std::string_view utf8)
{
    if (row < 0 || row >= kMaxRows || col < 0 || col >= kMaxColumns)
        return false;
    if (utf8.empty())
        return Put(row, col, kEmpty, 0);
    return Put(row, col, kText, Intern(utf8));
}

bool CXlsWorkbook::Clear(int row, int col)
{
    return Put(row, col, kEmpty, 0);
}

std::string_view CXlsWorkbook::Keep(std::string_view utf8)
{
    constexpr std::size_t kChunk = 256 * 1024;
    if (m_aKeyChunks.empty() || m_nKeyChunkUsed + utf8.size() > m_nKeyChunkSize) {
        m_nKeyChunkSize = std::max(kChunk, utf8.size());
        m_aKeyChunks.push_back(std::make_unique<char[]>(m_nKeyChunkSize));
        m_nKeyChunkUsed = 0;
    }
    char* at = m_aKeyChunks.back().get() + m_nKeyChunkUsed;
    std::memcpy(at, utf8.data(), utf8.size());
    m_nKeyChunkUsed += utf8.size();
    return {at, utf8.size()};
}

std::uint32_t CXlsWorkbook::Intern(std::string_view utf8)
{
    // Kept at most half full, so probes stay short.
    if (2 * (m_aKeys.size() + 1) > m_aSlots.size()) {
        std::vector<std::uint32_t> slots(std::max<std::size_t>(1024, 2 * m_aSlots.size()), 0);
        const std::size_t mask = slots.size() - 1;
        for (std::uint32_t k = 0; k < m_aKeys.size(); ++k) {
            std::size_t at = std::hash<std::string_view>()(m_aKeys[k]) & mask;
            while (slots[at] != 0)
                at = (at + 1) & mask;
            slots[at] = k + 1;
        }
        m_aSlots.swap(slots);
    }
    const std::size_t mask = m_aSlots.size() - 1;
    std::size_t at = std::hash<std::string_view>()(utf8) & mask;
    for (; m_aSlots[at] != 0; at = (at + 1) & mask)
        if (m_aKeys[m_aSlots[at] - 1] == utf8)
            return m_aSlots[at] - 1;
    const auto index = static_cast<std::uint32_t>(m_aStrings.size());
    m_aKeys.push_back(Keep(utf8));
    m_aSlots[at] = index + 1;

    const bool ascii = utf8.size() <= kMaxTextLength &&
                       std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii) {
        m_aStrings.push_back({static_cast<std::uint32_t>(m_abyChars.size()), static_cast<std::uint16_t>(utf8.size()),
                              false});
        m_abyChars.insert(m_abyChars.end(), utf8.begin(), utf8.end());
        return index;
    }
    const std::u16string u = ToUtf16(utf8, kMaxTextLength);
    const bool wide = std::any_of(u.begin(), u.end(), [](char16_t c) { return c > 0xFF; });
    m_aStrings.push_back({static_cast<std::uint32_t>(m_abyChars.size()), static_cast<std::uint16_t>(u.size()), wide});
    for (char16_t c : u) {
        m_abyChars.push_back(static_cast<std::uint8_t>(c));
        if (wide)
            m_abyChars.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return index;
}

void CXlsWorkbook::Normalize()
{
    Cell* cells = Cells();
    const std::size_t n = CellsSize();
    if (!m_bNormal) {
        // Stable, so among writes to one cell the last stays last.
        std::stable_sort(cells, cells + n, [](const Cell& a, const Cell& b) { return a.Place() < b.Place(); });
        m_bNormal = true;
    }
    // Keep the last write of each cell, and no cleared ones.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i)
        if ((i + 1 == n || cells[i + 1].Place() != cells[i].Place()) && cells[i].Kind() != kEmpty)
            cells[kept++] = cells[i];
    m_cells.Shrink(kept * sizeof(Cell));
}

std::size_t CXlsWorkbook::CellCount()
{
    Normalize();
    return CellsSize();
}

CByteBuffer CXlsWorkbook::BuildStream()
{
    Normalize();
    std::uint32_t labels = 0;
    for (std::size_t i = 0; i < CellsSize(); ++i)
        labels += Cells()[i].Kind() == kText ? 1 : 0;
    CByteBuffer stream;
    // About 8 bytes per cell in MULRK runs, 14 per text cell, the strings
    // and a ROW record per 14 cells: reserve once.
    stream.Reserve(8192 + CellsSize() * 9 + labels * 6 + m_abyChars.size() + m_aStrings.size() * 4);
    std::size_t boundSheetPos = 0;
    WriteGlobals(stream, boundSheetPos, labels);
    Put32(stream.data() + boundSheetPos, static_cast<std::uint32_t>(stream.size()));
    WriteSheet(stream);
    return stream;
}

void CXlsWorkbook::WriteGlobals(CByteBuffer& v, std::size_t& boundSheetPos, std::uint32_t labelCount)
{
    CStreamOut out(v);
    WriteBof(out, 0x0005);
    Record(out, kCodePage, {1200}); // strings are Unicode
    // Window position and size in twips, horizontal and vertical scroll bars
    // and the sheet tabs shown, first sheet active and selected.
    Record(out, kWindow1, {0x0168, 0x001E, 0x3A5C, 0x2328, 0x0038, 0, 0, 1, 0x0258});
    Record(out, kDateMode, {0}); // dates count from 1900

    // Four fonts: the built-in indices 0 to 3 (index 4 is never used).
    for (int i = 0; i < 4; ++i) {
        const std::size_t at = out.Begin(kFont);
        out.U16(200);    // 10 pt
        out.U16(0);      // plain
        out.U16(0x7FFF); // the window text colour
        out.U16(400);    // normal weight
        out.U16(0);      // no super- or subscript
        out.U8(0);       // no underline
        out.U8(0);       // family
        out.U8(0);       // character set
        out.U8(0);
        WriteShortString(out, "Arial");
        out.End(at);
    }

    // Fifteen style formats (the first is "Normal"), then the one cell format.
    for (int i = 0; i <= 15; ++i) {
        const bool style = i < 15;
        std::uint8_t* p = out.Grow(24);
        Put16(p, kXf);
        Put16(p + 2, 20);
        Put16(p + 4, 0);                           // font 0
        Put16(p + 6, 0);                           // number format "General"
        Put16(p + 8, style ? 0xFFF5 : 0x0001);     // locked; a style's parent is none, a cell's is style 0
        p[10] = 0x20;                              // bottom-aligned
        p[11] = 0;                                 // no rotation
        p[12] = 0;                                 // no indent
        p[13] = (style && i > 0) ? 0xF4 : 0x00;    // which attributes this format sets
        Put32(p + 14, 0);                          // no borders
        Put32(p + 18, 0);                          // no fill pattern
        Put16(p + 22, 64 | (65 << 7));             // default foreground and background colours
    }
    Record(out, kStyle, {0x8000, 0xFF00}); // built-in style "Normal" on format 0

    const std::size_t bs = out.Begin(kBoundSheet);
    boundSheetPos = out.Pos();
    out.U32(0);  // stream position of the sheet, patched by the caller
    out.U8(0);   // visible
    out.U8(0);   // worksheet
    WriteShortString(out, "Sheet1");
    out.End(bs);

    WriteSst(v, labelCount);
    Record(out, kEof, {});
}

void CXlsWorkbook::WriteSst(CByteBuffer& v, std::uint32_t labelCount)
{
    CStreamOut out(v);
    const std::size_t count = m_aStrings.size();
    // EXTSST holds at most 128 buckets of at least 8 strings.
    const std::size_t perBucket = std::max<std::size_t>(8, count / 128 + 1);
    std::vector<std::pair<std::uint32_t, std::uint16_t>> buckets;

    std::size_t rec = out.Begin(kSst);
    out.U32(labelCount);
    out.U32(static_cast<std::uint32_t>(count));
    std::size_t room = kMaxRecordData - 8;
    auto next = [&] {
        out.End(rec);
        rec = out.Begin(kContinue);
        room = kMaxRecordData;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const SstString& s = m_aStrings[i];
        const std::size_t unit = s.bWide ? 2 : 1;
        // The string's header and its first character stay in one record.
        if (room < 3 + unit)
            next();
        if (i % perBucket == 0)
            buckets.emplace_back(static_cast<std::uint32_t>(out.Pos()), static_cast<std::uint16_t>(out.Pos() - rec));
        out.U16(s.cch);
        out.U8(s.bWide ? 1 : 0);
        room -= 3;
        const std::uint8_t* p = m_abyChars.data() + s.offset;
        std::size_t left = s.cch;
        while (left > 0) {
            std::size_t fit = room / unit;
            if (fit == 0) {
                // Characters continue in the next record after a repeated
                // flag byte.
                next();
                out.U8(s.bWide ? 1 : 0);
                room -= 1;
                continue;
            }
            const std::size_t n = std::min(fit, left);
            out.Bytes(p, n * unit);
            p += n * unit;
            left -= n;
            room -= n * unit;
        }
    }
    out.End(rec);

    const std::size_t ext = out.Begin(kExtSst);
    out.U16(static_cast<std::uint16_t>(perBucket));
    for (const auto& [pos, offset] : buckets) {
        out.U32(pos);
        out.U16(offset);
        out.U16(0);
    }
    out.End(ext);
}

void CXlsWorkbook::WriteSheet(CByteBuffer& v)
{
    CStreamOut out(v);
    const Cell* cells = Cells();
    const std::size_t cellCount = CellsSize();

    // Rows that hold cells: [first cell, end) per row, and the blocks of up
    // to 32 rows that share one row number / 32.
    struct RowSpan {
        std::uint32_t row;
        std::size_t begin;
        std::size_t end;
    };
    std::vector<RowSpan> rows;
    std::uint32_t colMin = 0xFFFF, colMax = 0;
    for (std::size_t i = 0; i < cellCount; ++i) {
        const std::uint32_t row = cells[i].Row();
        const std::uint32_t col = cells[i].Col();
        colMin = std::min(colMin, col);
        colMax = std::max(colMax, col);
        if (rows.empty() || rows.back().row != row)
            rows.push_back({row, i, i});
        rows.back().end = i + 1;
    }
    std::vector<std::size_t> blockStarts; // indices into rows
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (r == 0 || rows[r].row / kRowsPerBlock != rows[r - 1].row / kRowsPerBlock)
            blockStarts.push_back(r);

    const std::uint32_t rwMic = rows.empty() ? 0 : rows.front().row;
    const std::uint32_t rwMac = rows.empty() ? 0 : rows.back().row + 1;
    if (rows.empty())
        colMin = colMax = 0;

    WriteBof(out, 0x0010);
    const std::size_t index = out.Begin(kIndex);
    out.U32(0);
    out.U32(rwMic);
    out.U32(rwMac);
    const std::size_t indexXf = out.Pos();
    out.U32(0);
    const std::size_t indexBlocks = out.Pos();
    out.Grow(4 * blockStarts.size());
    out.End(index);

    out.Patch32(indexXf, static_cast<std::uint32_t>(out.Pos()));
    Record(out, kDefColWidth, {8});

    {
        std::uint8_t* p = out.Grow(18);
        Put16(p, kDimensions);
        Put16(p + 2, 14);
        Put32(p + 4, rwMic);
        Put32(p + 8, rwMac);
        Put16(p + 12, static_cast<std::uint16_t>(colMin));
        Put16(p + 14, static_cast<std::uint16_t>(rows.empty() ? 0 : colMax + 1));
        Put16(p + 16, 0);
    }

    std::vector<std::size_t> rowCellPos(kRowsPerBlock);
    for (std::size_t b = 0; b < blockStarts.size(); ++b) {
        const std::size_t r0 = blockStarts[b];
        const std::size_t r1 = b + 1 < blockStarts.size() ? blockStarts[b + 1] : rows.size();

        const std::size_t firstRowPos = out.Pos();
        for (std::size_t r = r0; r < r1; ++r) {
            const RowSpan& rs = rows[r];
            std::uint8_t* p = out.Grow(20);
            Put16(p, kRow);
            Put16(p + 2, 16);
            Put16(p + 4, static_cast<std::uint16_t>(rs.row));
            Put16(p + 6, static_cast<std::uint16_t>(cells[rs.begin].Col()));
            Put16(p + 8, static_cast<std::uint16_t>(cells[rs.end - 1].Col() + 1));
            Put16(p + 10, 0x00FF); // default height
            Put16(p + 12, 0);
            Put16(p + 14, 0);
            Put32(p + 16, 0x000F0100u); // default format 15
        }

        for (std::size_t r = r0; r < r1; ++r) {
            const RowSpan& rs = rows[r];
            rowCellPos[r - r0] = out.Pos();
            const std::uint16_t row = static_cast<std::uint16_t>(rs.row);
            std::size_t i = rs.begin;
            while (i < rs.end) {
                const Cell& c = cells[i];
                const std::uint16_t col = static_cast<std::uint16_t>(c.Col());
                if (c.Kind() == kText) {
                    std::uint8_t* p = out.Grow(14);
                    Put16(p, kLabelSst);
                    Put16(p + 2, 10);
                    Put16(p + 4, row);
                    Put16(p + 6, col);
                    Put16(p + 8, kCellXf);
                    Put32(p + 10, c.value);
                    ++i;
                    continue;
                }
                if (c.Kind() == kNumber) {
                    std::uint8_t* p = out.Grow(18);
                    Put16(p, kRecNumber);
                    Put16(p + 2, 14);
                    Put16(p + 4, row);
                    Put16(p + 6, col);
                    Put16(p + 8, kCellXf);
                    PutDouble(p + 10, m_adNumbers[c.value]);
                    ++i;
                    continue;
                }
                // A run of adjacent RK numbers shares one MULRK record.
                std::size_t j = i + 1;
                while (j < rs.end && cells[j].Kind() == kRkNumber && cells[j].Col() == cells[j - 1].Col() + 1)
                    ++j;
                const std::size_t n = j - i;
                if (n == 1) {
                    std::uint8_t* p = out.Grow(14);
                    Put16(p, kRk);
                    Put16(p + 2, 10);
                    Put16(p + 4, row);
                    Put16(p + 6, col);
                    Put16(p + 8, kCellXf);
                    Put32(p + 10, c.value);
                } else {
                    std::uint8_t* p = out.Grow(4 + 6 + 6 * n);
                    Put16(p, kMulRk);
                    Put16(p + 2, static_cast<std::uint16_t>(6 + 6 * n));
                    Put16(p + 4, row);
                    Put16(p + 6, col);
                    p += 8;
                    for (std::size_t k = 0; k < n; ++k) {
                        Put16(p, kCellXf);
                        Put32(p + 2, cells[i + k].value);
                        p += 6;
                    }
                    Put16(p, static_cast<std::uint16_t>(col + n - 1));
                }
                i = j;
            }
        }

        // DBCELL: back to the first ROW record, then from the end of that
        // record to the first row's cells, and from row to row.
        const std::size_t dbcell = out.Pos();
        const std::size_t nRows = r1 - r0;
        std::uint8_t* p = out.Grow(8 + 2 * nRows);
        Put16(p, kDbCell);
        Put16(p + 2, static_cast<std::uint16_t>(4 + 2 * nRows));
        Put32(p + 4, static_cast<std::uint32_t>(dbcell - firstRowPos));
        for (std::size_t k = 0; k < nRows; ++k) {
            const std::size_t from = k == 0 ? firstRowPos + 20 : rowCellPos[k - 1];
            Put16(p + 8 + 2 * k, static_cast<std::uint16_t>(rowCellPos[k] - from));
        }
        out.Patch32(indexBlocks + 4 * b, static_cast<std::uint32_t>(dbcell));
    }

    // Gridlines, headers and zeros shown; the sheet selected and active.
    Record(out, kWindow2, {0x06B6, 0, 0, 64, 0, 0, 0, 0, 0});
    Record(out, kEof, {});
}
