#include "support/XlsReaders.h"
#include "export/CompoundFile.h"
#include "export/XlsSpreadsheet.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

void ExpectReadersSee(const std::string& path, const CellMap& expected)
{
    for (const auto& [reader, cells] : {std::pair{"xlrd", ReadWithXlrd(path)}, std::pair{"FreeXL", ReadWithFreeXl(path)}}) {
        ASSERT_TRUE(cells.has_value()) << reader;
        EXPECT_EQ(cells->size(), expected.size()) << reader;
        for (const auto& [at, want] : expected) {
            const auto it = cells->find(at);
            if (it == cells->end()) {
                ADD_FAILURE() << reader << ": no cell at " << at.first << "," << at.second;
                continue;
            }
            EXPECT_EQ(it->second, want) << reader << " at " << at.first << "," << at.second << ": "
                                        << Describe(it->second) << " instead of " << Describe(want);
        }
    }
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0)
            bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
    }
    return bytes;
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

} // namespace

// The container around the workbook: streams below the 4096-byte cut-off
// belong in the mini stream, the FAT outgrows the header's 109 entries at
// about 7 MB and needs DIFAT sectors. xlrd's own container reader must
// find exactly the bytes that went in, at every boundary.
TEST(CompoundFile, IndependentReaderGetsTheStreamBackAtEveryBoundary)
{
    const CTempFolder folder;
    const std::size_t lastWithoutDifat = 13842 * 512; // 109 FAT sectors map it all
    std::mt19937 rng(7);
    for (const std::size_t size : {std::size_t{1}, std::size_t{700}, std::size_t{4095}, std::size_t{4096},
                                   std::size_t{4097}, std::size_t{70001}, lastWithoutDifat, lastWithoutDifat + 1,
                                   std::size_t{9000000}}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> data(size);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(rng());
        const std::string path = folder.File("c.xls");
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        ASSERT_TRUE(CCompoundFile::Write("Workbook", data.data(), data.size(), [&](const void* p, std::size_t n) {
            return std::fwrite(p, 1, n, f) == n;
        }));
        std::fclose(f);

        const std::vector<std::uint8_t> file = ReadFile(path);
        EXPECT_EQ(file.size(), CCompoundFile::FileSize(size));
        EXPECT_EQ(file.size() % 512, 0u);
        const bool mini = size < 4096;
        EXPECT_EQ(Le32(file, 0x40) > 0, mini) << "mini FAT sectors";
        EXPECT_EQ(Le32(file, 0x48), size > lastWithoutDifat ? 1u : 0u) << "DIFAT sectors";
        EXPECT_EQ(XlrdStreamDigest(path), Sha256Line(data.data(), data.size()));
    }
}

// One sheet with every kind of cell the writer makes, written out of order
// and partly overwritten: both readers must agree with every cell.
TEST(XlsSpreadsheet, ReadersAgreeWithEveryKindOfCell)
{
    const CTempFolder folder;
    CXlsSpreadsheet s;
    EXPECT_FALSE(s.SetCell("A1", "before the workbook"));
    ASSERT_TRUE(s.NewWorkbook());
    ASSERT_TRUE(s.FirstSheet());

    CellMap expected;
    auto text = [&](const char* name, const std::string& value, int r, int c, const std::string& read) {
        EXPECT_TRUE(s.SetCell(name, value)) << name;
        expected[{r, c}] = TextCell(read);
    };
    auto number = [&](const char* name, const std::string& value, int r, int c, double read) {
        EXPECT_TRUE(s.SetCell(name, value)) << name;
        expected[{r, c}] = NumberCell(read);
    };

    // Later rows first: the writer must sort.
    text("C9", "T(\xC2\xB0" "C)", 8, 2, "T(\xC2\xB0" "C)");                      // Latin-1 in 8-bit form
    text("D9", "\xE6\x97\xB6\xE9\x97\xB4", 8, 3, "\xE6\x97\xB6\xE9\x97\xB4");    // needs 16-bit characters
    text("E9", "sun \xF0\x9F\x8C\x9E", 8, 4, "sun \xF0\x9F\x8C\x9E");            // a surrogate pair
    text("F9", "bad \xFF\xC3 end", 8, 5, "bad \xEF\xBF\xBD\xEF\xBF\xBD end");  // malformed UTF-8
    text("A1", "SN: 12345678901?,Model: 3000", 0, 0, "SN: 12345678901?,Model: 3000");
    text("A3", "2013-01-08 07-05-00", 2, 0, "2013-01-08 07-05-00");

    // Plain decimals become numbers, read back exactly as the text's double:
    // integers, hundredths, halves, and values only a full double holds.
    number("B3", "  5", 2, 1, 5.0);
    number("C3", " -1", 2, 2, -1.0);
    number("D3", "230.4", 2, 3, 230.4);
    number("E3", "49.98", 2, 4, 49.98);
    number("F3", "0.5", 2, 5, 0.5);
    number("G3", "123456789.1", 2, 6, 123456789.1);
    number("H3", "4294967295", 2, 7, 4294967295.0);
    number("I3", "0.001", 2, 8, 0.001);
    number("J3", "-536870912", 2, 9, -536870912.0);
    number("K3", "536870912", 2, 10, 536870912.0);
    number("L3", "6552.6", 2, 11, 6552.6);
    // Anything else stays text.
    text("B4", "1e5", 3, 1, "1e5");
    text("C4", "5 ", 3, 2, "5 ");
    text("D4", "+5", 3, 3, "+5");
    text("E4", "5.", 3, 4, "5.");
    text("F4", ".5", 3, 5, ".5");
    text("G4", "-", 3, 6, "-");
    text("H4", "nan", 3, 7, "nan");
    text("I4", std::string(400, '9'), 3, 8, std::string(400, '9')); // beyond a double

    // Replacing and clearing cells; lower-case names; the sheet's last cell.
    text("a5", "old", 4, 0, "new");
    EXPECT_TRUE(s.SetCell("A5", "new"));
    number("B5", "1", 4, 1, 2.0);
    EXPECT_TRUE(s.SetCell("b5", "2"));
    EXPECT_TRUE(s.SetCell("C5", "gone"));
    EXPECT_TRUE(s.SetCell("C5", ""));
    text("IV65536", "last", 65535, 255, "last");

    // Names that are no cell are refused and change nothing.
    for (const char* bad : {"", "A", "1", "A0", "A01", "IW1", "AAAA1", "A65537", "A1 ", "$A$1", "A-1"})
        EXPECT_FALSE(s.SetCell(bad, "x")) << bad;

    const std::string path = folder.File("cells.xls");
    const CSaveResult r = s.SaveAs(path);
    ASSERT_TRUE(r.bOk) << r.strError;
    ExpectReadersSee(path, expected);
}

// Many distinct texts of every length, narrow and wide, so strings are cut
// at every place across the string table's CONTINUE records, and the file
// is large enough for DIFAT sectors.
TEST(XlsSpreadsheet, LongStringTableSurvivesContinueRecords)
{
    const CTempFolder folder;
    CXlsSpreadsheet s;
    s.NewWorkbook();
    s.FirstSheet();
    CellMap expected;
    std::mt19937 rng(11);
    for (int i = 0; i < 2600; ++i) {
        const bool wide = i % 3 == 0;
        const std::size_t length = 1 + (i * 977u + rng() % 7) % 3000;
        std::string t = std::to_string(i) + ":";
        while (t.size() < length)
            t += wide ? "\xC3\xA9\xE2\x82\xAC" : "abcdefghij"; // e-acute and the euro sign
        const int row = i / 10, col = i % 10;
        const std::string name = std::string(1, char('A' + col)) + std::to_string(row + 1);
        ASSERT_TRUE(s.SetCell(name, t));
        expected[{row, col}] = TextCell(t);
    }
    const std::string path = folder.File("strings.xls");
    const CSaveResult r = s.SaveAs(path);
    ASSERT_TRUE(r.bOk) << r.strError;
    ExpectReadersSee(path, expected);
}

// A cell holds at most 32767 characters; a longer text is cut there. Such a
// string spans three string-table records. (FreeXL 1.0.6 stops at strings
// that span more than two records, so only xlrd checks this one; LibreOffice
// reads it too.)
TEST(XlsSpreadsheet, LongestTextIsCutToTheCellLimit)
{
    const CTempFolder folder;
    CXlsSpreadsheet s;
    s.NewWorkbook();
    s.FirstSheet();
    s.SetCell("A1", std::string(40000, 'x'));
    s.SetCell("A2", std::string(32766, 'y') + "\xF0\x9F\x8C\x9E"); // the pair would end past the limit
    const std::string path = folder.File("long.xls");
    ASSERT_TRUE(s.SaveAs(path).bOk);
    const auto cells = ReadWithXlrd(path);
    ASSERT_TRUE(cells.has_value());
    EXPECT_EQ(cells->at({0, 0}), TextCell(std::string(32767, 'x')));
    EXPECT_EQ(cells->at({1, 0}), TextCell(std::string(32766, 'y'))); // never half a pair
}

TEST(XlsSpreadsheet, PlainDecimalAndCellNames)
{
    EXPECT_EQ(PlainDecimal("  12.50"), 12.5);
    EXPECT_EQ(PlainDecimal("-0.0"), 0.0);
    EXPECT_EQ(PlainDecimal("  "), std::nullopt);
    EXPECT_EQ(PlainDecimal(""), std::nullopt);
    EXPECT_EQ(PlainDecimal("1,5"), std::nullopt);
    EXPECT_EQ(PlainDecimal("\t5"), std::nullopt);

    int row = -1, col = -1;
    ASSERT_TRUE(ParseCellName("N65532", row, col));
    EXPECT_EQ(row, 65531);
    EXPECT_EQ(col, 13);
    ASSERT_TRUE(ParseCellName("AA10", row, col));
    EXPECT_EQ(col, 26);
}
