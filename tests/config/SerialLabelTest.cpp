#include <gtest/gtest.h>

#include "support/WorkbookFiles.h"
#include "config/ConfigWorkbook.h"

namespace {

class SerialLabel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_workbook.OpenWorkbook(testfiles::ShippedWorkbook().string()));
        m_workbook.ReadParameterSheet();
        m_workbook.ReadModelSheet();
    }

    // Decodes and returns "<year> <text>".
    std::string Decode(const std::string& label) const
    {
        std::string text = label;
        const int year = m_workbook.DecodeSerialLabel(text);
        return std::to_string(year) + " " + text;
    }

    ConfigWorkbook m_workbook;
};

} // namespace

TEST_F(SerialLabel, ModelCodeLookup)
{
    EXPECT_EQ(m_workbook.LookupModelCode("AB", 2011), 21);
    EXPECT_EQ(m_workbook.LookupModelCode("ab", 2011), 999); // case-sensitive
    EXPECT_EQ(m_workbook.LookupModelCode("Orvik 1.5K", 2011), 999);
    EXPECT_EQ(m_workbook.LookupModelCode("Orvik 1.5K", 2010), 21);
    EXPECT_EQ(m_workbook.LookupModelCode("AB", 2010), 999);
    EXPECT_EQ(m_workbook.LookupModelCode("AB", 2012), 999);
}

TEST_F(SerialLabel, LayoutsAndDates)
{
    // 2011 layout: former code AB is model 21; 12 May 2011, a Thursday in
    // Sunday-based week 19.
    EXPECT_EQ(Decode("AB30512007"), "2011 302111194007");
    // 2010 layout, model by name: "K1.5K(A)", "K1.5K(V)", "Orvik 2K",
    // "Quillon Solar 5K", "M4600".
    EXPECT_EQ(Decode("A1S0512007"), "2010 101110193007");
    EXPECT_EQ(Decode("V1S0512007"), "2010 101610193007");
    EXPECT_EQ(Decode("X2C0C31999"), "2010 102210525999"); // month C = December
    EXPECT_EQ(Decode("x5I0431005"), "2010 103010134005"); // 31 April becomes the 1st
    EXPECT_EQ(Decode("x4A0228001"), "2010 103410097001");
    // February has 28 days in the 2011 layout: the 29th becomes the 1st.
    EXPECT_EQ(Decode("AF20229123"), "2011 202511052123");
    // Unknown model (999) and an unknown month character (January).
    EXPECT_EQ(Decode("ZZ?0Z01000"), "2010 199910005000");
    EXPECT_EQ(Decode("ZZ50101000"), "2011 599911006000");
}

TEST_F(SerialLabel, UndecodableLabelsStayAsTyped)
{
    for (const char* label : {
             "AB30500007", // day 0
             "A1S0229007", // 29 February 2010 does not exist
             "AB305x2007", // day not a digit
             "AB3051200X", // sequence not a digit
             "AB3051200",  // too short
             "AB305120070" // too long
         }) {
        std::string text = label;
        EXPECT_EQ(m_workbook.DecodeSerialLabel(text), 0) << label;
        EXPECT_EQ(text, label);
    }
}

TEST(SerialLabelModels, ModelCodeMustFitThreeDigits)
{
    testfiles::CTempDir dir;
    const std::string parset = "Parameter,min,max\n";
    const std::string models = "Model,Name,Code,Power,Standard,Code-Old\n"
                               "Big,Big,1000,1500,G83,BG\n"
                               "Neg,Neg,-3,1500,G83,NG\n"
                               "Top,Top,999,1500,G83,TP\n"
                               "NoCode,NoCode,,1500,G83,NC\n";
    ConfigWorkbook workbook;
    ASSERT_TRUE(workbook.OpenWorkbook(testfiles::MakeWorkbook(dir, parset, models).string()));
    workbook.ReadModelSheet();
    EXPECT_EQ(workbook.LookupModelCode("BG", 2011), 1000);
    // The empty code cell ends its record: the row has a name but no code
    // (and no former code, which comes after it).
    EXPECT_EQ(workbook.LookupModelCode("NoCode", 2010), -1);
    EXPECT_EQ(workbook.LookupModelCode("NC", 2011), 999);
    for (const char* label : {"BG30512007", "NG30512007"}) {
        std::string text = label;
        EXPECT_EQ(workbook.DecodeSerialLabel(text), 0) << label;
        EXPECT_EQ(text, label);
    }
    std::string text = "TP30512007";
    EXPECT_EQ(workbook.DecodeSerialLabel(text), 2011);
    EXPECT_EQ(text, "399911194007");
}
