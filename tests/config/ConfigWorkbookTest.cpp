#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "support/WorkbookFiles.h"
#include "config/ConfigWorkbook.h"
#include "platform/MessageBox.h"

using testfiles::CTempDir;
using testfiles::MakeWorkbook;

namespace {

const char* const kModelHeader = "Model,Name,Code,Power,Standard,Code-Old\n";

std::string ParsetHeader()
{
    std::string header;
    const char* const* names = ConfigWorkbook::StandardColumnNames();
    for (int c = 0; c < ConfigWorkbook::kParameterColumns; ++c)
        header += std::string(c ? "," : "") + names[c];
    return header + "\n";
}

// A parameter row: name, min, max, then value v + k for standard k.
std::string ParsetRow(const std::string& name, double v)
{
    std::string row = name + ",0,1000";
    for (int k = 0; k < ConfigWorkbook::kStandardCount; ++k) {
        char cell[32];
        std::snprintf(cell, sizeof cell, ",%g", v + k);
        row += cell;
    }
    return row + "\n";
}

std::string Cents(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

void ReadAll(ConfigWorkbook& workbook)
{
    workbook.ReadParameterSheet();
    workbook.ReadModelSheet();
}

void ExpectEmptyTables(const ConfigWorkbook& workbook)
{
    for (int c = 0; c < ConfigWorkbook::kParameterColumns; ++c)
        EXPECT_TRUE(workbook.ParameterColumn(c).empty()) << c;
    for (int c = 0; c < ConfigWorkbook::kModelColumns; ++c)
        EXPECT_TRUE(workbook.ModelColumn(c).empty()) << c;
    double value = 0;
    EXPECT_EQ(workbook.LookupParameter("Vpv-start(V)", 0, value), -1);
    EXPECT_EQ(workbook.LookupModelCode("AB", 2011), 999);
}

} // namespace

TEST(ConfigWorkbook, ShippedWorkbookReadsBackEveryCsvValue)
{
    platform::CMessageBoxRecorder boxes;
    ConfigWorkbook workbook;
    EXPECT_STREQ(workbook.LastError(), "NULL POINTER");
    ASSERT_TRUE(workbook.OpenWorkbook(testfiles::ShippedWorkbook().string()));
    EXPECT_STREQ(workbook.LastError(), "Success");
    ReadAll(workbook);
    EXPECT_STREQ(workbook.LastError(), "Success");
    EXPECT_EQ(boxes.Count(), 0u);

    // Every cell of the parameter sheet, by its CSV source: names as text,
    // numbers as "%.2f", and every lookup giving the CSV value.
    const auto parset = testfiles::ReadCsv(testfiles::SourceCsv("tester-parset.csv"));
    ASSERT_EQ(parset.size(), 34u);
    ASSERT_EQ(workbook.ParameterRows(), parset.size() - 1);
    for (std::size_t r = 1; r < parset.size(); ++r) {
        ASSERT_EQ(parset[r].size(), 24u);
        EXPECT_EQ(workbook.ParameterColumn(0)[r - 1], parset[r][0]);
        for (int c = 1; c < ConfigWorkbook::kParameterColumns; ++c)
            EXPECT_EQ(workbook.ParameterColumn(c)[r - 1], Cents(std::stod(parset[r][static_cast<std::size_t>(c)])))
                << parset[r][0] << " column " << c;
        for (int k = 0; k < ConfigWorkbook::kStandardCount; ++k) {
            double value = -12345;
            ASSERT_EQ(workbook.LookupParameter(parset[r][0], k, value), 0);
            EXPECT_NEAR(value, std::stod(parset[r][static_cast<std::size_t>(3 + k)]), 0.005);
        }
    }
    EXPECT_EQ(workbook.ParameterColumn(1)[2], "170.00"); // VacLow min
    EXPECT_EQ(workbook.ParameterColumn(2)[18], "5000.00");

    const auto models = testfiles::ReadCsv(testfiles::SourceCsv("tester-modelcode.csv"));
    ASSERT_EQ(workbook.ModelRows(), models.size() - 1);
    for (std::size_t r = 1; r < models.size(); ++r) {
        EXPECT_EQ(workbook.ModelColumn(ConfigWorkbook::kModelModel)[r - 1], models[r][0]);
        EXPECT_EQ(workbook.ModelColumn(ConfigWorkbook::kModelName)[r - 1], models[r][1]);
        EXPECT_EQ(workbook.ModelColumn(ConfigWorkbook::kModelCode)[r - 1], Cents(std::stod(models[r][2])));
        EXPECT_EQ(workbook.ModelColumn(ConfigWorkbook::kModelPower)[r - 1], Cents(std::stod(models[r][3])));
        EXPECT_EQ(workbook.ModelColumn(ConfigWorkbook::kModelStandard)[r - 1], models[r][4]);
        EXPECT_EQ(workbook.ModelColumn(ConfigWorkbook::kModelCodeOld)[r - 1], models[r][5]);
    }
    EXPECT_EQ(workbook.ModelColumn(ConfigWorkbook::kModelPower)[0], "1500.00");

    // The fixed standard list is the parameter sheet's standard columns.
    ASSERT_EQ(workbook.StandardList().size(), 21u);
    EXPECT_EQ(workbook.StandardList()[0], "AS4777");
    EXPECT_EQ(workbook.StandardList()[18], "CEI 0-21");
    for (int k = 0; k < ConfigWorkbook::kStandardCount; ++k)
        EXPECT_EQ(workbook.StandardList()[static_cast<std::size_t>(k)], parset[0][static_cast<std::size_t>(3 + k)]);
}

TEST(ConfigWorkbook, LookupRules)
{
    CTempDir dir;
    const std::string parset = ParsetHeader() + ParsetRow("Twice", 1) + ParsetRow("Fraction", 0.1) +
                               ParsetRow("Twice", 500) + ParsetRow("Big", 3000);
    ConfigWorkbook workbook;
    ASSERT_TRUE(workbook.OpenWorkbook(MakeWorkbook(dir, parset, kModelHeader).string()));
    ReadAll(workbook);

    double value = 0;
    ASSERT_EQ(workbook.LookupParameter("Twice", 4, value), 0);
    EXPECT_DOUBLE_EQ(value, 5); // the first row wins
    EXPECT_EQ(workbook.ParameterColumn(3)[1], "0.10");
    EXPECT_EQ(workbook.ParameterColumn(3)[3], "3000.00");
    ASSERT_EQ(workbook.LookupParameter("Fraction", 0, value), 0);
    EXPECT_DOUBLE_EQ(value, 0.1);
    ASSERT_EQ(workbook.LookupParameter("Big", 20, value), 0);
    EXPECT_DOUBLE_EQ(value, 3020);

    // Names match exactly; standards outside the list have no column.
    value = 77;
    EXPECT_EQ(workbook.LookupParameter("twice", 0, value), -1);
    EXPECT_EQ(workbook.LookupParameter("Twice ", 0, value), -1);
    EXPECT_EQ(workbook.LookupParameter("Twice", -1, value), -1);
    EXPECT_EQ(workbook.LookupParameter("Twice", 21, value), -1);
    EXPECT_EQ(value, 77);

    // A header-only model sheet gives six empty columns.
    for (int c = 0; c < ConfigWorkbook::kModelColumns; ++c)
        EXPECT_TRUE(workbook.ModelColumn(c).empty());
    EXPECT_EQ(workbook.LookupModelCode("AB", 2011), 999);
}

TEST(ConfigWorkbook, FailedNumberReadEndsTheRecordWithoutShiftingRows)
{
    CTempDir dir;
    // Row "Broken" has text in the "G83" column: its record ends there, so
    // G83 and every later standard have no value for it, while the rows
    // around it keep their own values.
    std::string broken = ParsetRow("Broken", 10);
    const std::size_t g83 = broken.find(",13,");
    broken.replace(g83, 4, ",n/a,");
    const std::string parset = ParsetHeader() + ParsetRow("Before", 100) + broken + ParsetRow("After", 200);
    ConfigWorkbook workbook;
    ASSERT_TRUE(workbook.OpenWorkbook(MakeWorkbook(dir, parset, kModelHeader).string()));
    workbook.ReadParameterSheet();

    EXPECT_NE(std::strstr(workbook.LastError(), "Error:\nCode = "), nullptr) << workbook.LastError();
    EXPECT_NE(std::strstr(workbook.LastError(), "'n/a', not a number"), nullptr) << workbook.LastError();
    EXPECT_NE(std::strstr(workbook.LastError(), "\n**For Field Name:G83"), nullptr) << workbook.LastError();
    EXPECT_STREQ(GetConfigLastError(), workbook.LastError());

    double value = 0;
    ASSERT_EQ(workbook.LookupParameter("Broken", 2, value), 0); // VDE-NEW, before the failed cell
    EXPECT_DOUBLE_EQ(value, 12);
    for (int k = 3; k < ConfigWorkbook::kStandardCount; ++k) {
        EXPECT_EQ(workbook.LookupParameter("Broken", k, value), -1) << k;
        EXPECT_FALSE(workbook.HasParameterCell(1, 3 + k));
    }
    ASSERT_EQ(workbook.LookupParameter("After", 3, value), 0);
    EXPECT_DOUBLE_EQ(value, 203);
    ASSERT_EQ(workbook.LookupParameter("Before", 3, value), 0);
    EXPECT_DOUBLE_EQ(value, 103);
    ASSERT_EQ(workbook.LookupParameter("After", 20, value), 0);
    EXPECT_DOUBLE_EQ(value, 220);
}

TEST(ConfigWorkbook, FieldErrorsAndMissingSheets)
{
    CTempDir dir;
    // An empty "Parameter" cell (a text field) ends the reading of the sheet.
    const std::string parset = ParsetHeader() + ParsetRow("First", 1) + ParsetRow("", 2) + ParsetRow("Third", 3);
    {
        ConfigWorkbook workbook;
        ASSERT_TRUE(workbook.OpenWorkbook(MakeWorkbook(dir, parset, kModelHeader).string()));
        workbook.ReadParameterSheet();
        EXPECT_NE(std::strstr(workbook.LastError(), "**For Field Name:Parameter"), nullptr) << workbook.LastError();
        EXPECT_EQ(workbook.ParameterRows(), 2u); // the failed row holds no cell
        EXPECT_FALSE(workbook.HasParameterCell(1, 0));
        double value = 0;
        EXPECT_EQ(workbook.LookupParameter("First", 0, value), 0);
        EXPECT_EQ(workbook.LookupParameter("Third", 0, value), -1);
    }
    // A sheet without its "Code-Old" column: the text field fails on the
    // first record, after its first five cells, and ends the sheet.
    {
        ConfigWorkbook workbook;
        ASSERT_TRUE(workbook.OpenWorkbook(
            MakeWorkbook(dir, parset, "Model,Name,Code,Power,Standard\nX,Y,1,1500,G83\n", "nocol.xls").string()));
        workbook.ReadModelSheet();
        EXPECT_NE(std::strstr(workbook.LastError(), "Column not found"), nullptr) << workbook.LastError();
        EXPECT_EQ(workbook.ModelRows(), 1u);
        EXPECT_TRUE(workbook.HasModelCell(0, ConfigWorkbook::kModelStandard));
        EXPECT_FALSE(workbook.HasModelCell(0, ConfigWorkbook::kModelCodeOld));
        EXPECT_EQ(workbook.LookupModelCode("Y", 2010), 1);
    }
    // A long text in a number cell: the error text is cut to its buffer.
    {
        const std::string longText(500, 'x');
        std::string row = ParsetRow("Long", 1);
        row.replace(row.find(",0,"), 3, "," + longText + ",");
        ConfigWorkbook workbook;
        ASSERT_TRUE(workbook.OpenWorkbook(MakeWorkbook(dir, ParsetHeader() + row, kModelHeader, "long.xls").string()));
        workbook.ReadParameterSheet();
        EXPECT_EQ(std::strlen(workbook.LastError()), ConfigWorkbook::kLastErrorSize - 1);
        EXPECT_EQ(std::strncmp(workbook.LastError(), "Error:\nCode = ", 14), 0);
        EXPECT_EQ(std::strlen(GetConfigLastError()), ConfigWorkbook::kLastErrorSize - 1);
    }
    // Reading before a successful open fills the last error, shows nothing.
    {
        platform::CMessageBoxRecorder boxes;
        ConfigWorkbook workbook;
        ReadAll(workbook);
        EXPECT_NE(std::strstr(workbook.LastError(), "Workbook not open"), nullptr) << workbook.LastError();
        EXPECT_EQ(boxes.Count(), 0u);
        ExpectEmptyTables(workbook);
    }
}

TEST(ConfigWorkbook, MissingWorkbookShowsOneBoxAndRunsOnEmpty)
{
    CTempDir dir;
    testfiles::CWorkingDir cwd(dir.Path());
    platform::CMessageBoxRecorder boxes;
    ConfigWorkbook workbook;
    EXPECT_FALSE(workbook.OpenWorkbook());
    ReadAll(workbook);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, "Zelvan");
    EXPECT_EQ(boxes.Boxes()[0].text, "Could not find file 'datacfg-sp.xls'.");
    ExpectEmptyTables(workbook);
    std::string label = "AB30512007";
    EXPECT_EQ(workbook.DecodeSerialLabel(label), 2011); // unknown model: code 999
    EXPECT_EQ(label, "399911194007");
}

TEST(ConfigWorkbook, CorruptFilesAreReportedLikeMissingOnes)
{
    CTempDir dir;
    const std::string good = testfiles::ReadFile(testfiles::ShippedWorkbook());
    ASSERT_GT(good.size(), 4096u);

    std::mt19937 random(20261207);
    std::string noise(8192, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() & 0xFF);
    std::string signedNoise = noise; // a valid container signature over random sectors
    const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(signedNoise.data(), signature, sizeof signature);
    std::string scrambled = good; // the real header over damaged sectors
    for (std::size_t i = 512; i < scrambled.size(); i += 7)
        scrambled[i] = static_cast<char>(random() & 0xFF);

    const std::vector<std::pair<std::string, std::string>> files = {
        {"half", good.substr(0, good.size() / 2)},
        {"header only", good.substr(0, 512)},
        {"short", good.substr(0, 100)},
        {"empty", std::string()},
        {"random bytes", noise},
        {"random sectors", signedNoise},
        {"scrambled", scrambled},
        {"text", "Parameter,min,max\nVpv-start(V),150,300\n"},
    };
    for (const auto& [what, content] : files) {
        SCOPED_TRACE(what);
        const auto path = dir.Write("datacfg-sp.xls", content);
        platform::CMessageBoxRecorder boxes;
        ConfigWorkbook workbook;
        const bool opened = workbook.OpenWorkbook(path.string());
        ReadAll(workbook);
        EXPECT_FALSE(opened);
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_NE(boxes.Boxes()[0].text.find("cannot be read"), std::string::npos) << boxes.Boxes()[0].text;
        ExpectEmptyTables(workbook);
    }
}

TEST(ConfigWorkbook, DamagedCopiesNeverTakeTheProgramDown)
{
    // Bytes of the shipped workbook overwritten at random places (string
    // lengths, record sizes, sector chains): the library that parses the
    // file trusts them, so some of these copies make it read out of bounds.
    // Each copy must open or be reported, and the tables stay consistent.
    CTempDir dir;
    const std::string good = testfiles::ReadFile(testfiles::ShippedWorkbook());
    std::mt19937 random(7);
    int reported = 0;
    for (int i = 0; i < 150; ++i) {
        std::string bad = good;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int k = 0; k < changes; ++k)
            bad[random() % bad.size()] = static_cast<char>(random() & 0xFF);
        const auto path = dir.Write("damaged.xls", bad);
        platform::CMessageBoxRecorder boxes;
        ConfigWorkbook workbook;
        const bool opened = workbook.OpenWorkbook(path.string());
        ReadAll(workbook);
        ASSERT_EQ(boxes.Count(), opened ? 0u : 1u) << i;
        reported += opened ? 0 : 1;
        for (int c = 0; c < ConfigWorkbook::kParameterColumns; ++c)
            ASSERT_EQ(workbook.ParameterColumn(c).size(), workbook.ParameterRows()) << i;
        for (int c = 0; c < ConfigWorkbook::kModelColumns; ++c)
            ASSERT_EQ(workbook.ModelColumn(c).size(), workbook.ModelRows()) << i;
    }
    RecordProperty("reported", reported);
}

TEST(ConfigWorkbook, GeneratorRebuildsTheShippedWorkbookByteForByte)
{
    CTempDir dir;
    const auto built = MakeWorkbook(dir, testfiles::ReadFile(testfiles::SourceCsv("tester-parset.csv")),
                                    testfiles::ReadFile(testfiles::SourceCsv("tester-modelcode.csv")));
    EXPECT_TRUE(testfiles::ReadFile(built) == testfiles::ReadFile(testfiles::ShippedWorkbook()))
        << "assets/datacfg-sp.xls is stale: run /usr/bin/python3 assets/make-workbook.py";
}
