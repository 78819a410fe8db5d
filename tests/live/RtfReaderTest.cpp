// The samples in data/: libreoffice-*.rtf are LibreOffice Writer's RTF export
// of the .html beside them (soffice --headless --infilter="HTML (StarWriter)"
// --convert-to rtf); wordpad.rtf and word-like.rtf are written by hand the way
// those editors write a note.
#include "live/RtfReader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string Sample(const char* name)
{
    return ReadFile(std::string(ZELVAN_SOURCE_DIR "/tests/live/data/") + name);
}

std::vector<std::string> Paragraphs(const SRtfDocument& doc)
{
    std::vector<std::string> texts;
    for (const SRtfParagraph& para : doc.paragraphs)
        texts.push_back(para.Text());
    return texts;
}

// The format of the run that holds `text`; fails the test when none does.
SRtfFormat RunOf(const SRtfDocument& doc, const std::string& text)
{
    for (const SRtfParagraph& para : doc.paragraphs)
        for (const SRtfRun& run : para.runs)
            if (run.strText.find(text) != std::string::npos)
                return run.format;
    ADD_FAILURE() << "no run holds \"" << text << "\"";
    return {};
}

std::string FontOf(const SRtfDocument& doc, const std::string& text)
{
    const int font = RunOf(doc, text).nFont;
    return font >= 0 ? doc.fonts.at(font) : std::string();
}

} // namespace

TEST(RtfReaderTest, LibreOfficeNoteKeepsParagraphsAndRuns)
{
    const SRtfDocument doc = CRtfReader::Read(Sample("libreoffice-note.rtf"));
    EXPECT_FALSE(doc.bTruncated);
    EXPECT_EQ(
        Paragraphs(doc),
        (std::vector<std::string>{
            "Site note: roof array 3 kW",
            "Written for the service visit of 12 March",
            "The array has twelve modules in one string. The inverter sits in the garage, next to the meter "
            "cabinet.",
            "Open-circuit voltage on a cold morning reaches 480 V; never open the DC isolator under load. Ambient "
            "temperature at the inverter: 5\u201335 \u00b0C. Price per kWh: 0,28 \u20ac. Stra\u00dfe, "
            "\u00c6r\u00f8, na\u00efve caf\u00e9.",
            "Checks",
            "\u2022\tCable glands tight ",
            "\u2022\tFan clean and turning ",
            "\u2022\tDisplay shows Normal ",
            " 1.\tSwitch AC off ",
            " 2.\tSwitch DC off ",
            "serial 123456789012",
            "Greek: \u03a9\u03bc\u03ad\u03b3\u03b1. Chinese: \u9006\u53d8\u5668. Emoji: \U0001F31E sun.",
        }));
    EXPECT_EQ(doc.paragraphs[0].eAlign, ERtfAlign::Centre);
    EXPECT_EQ(doc.paragraphs[3].eAlign, ERtfAlign::Justify);
    EXPECT_EQ(doc.paragraphs[10].eAlign, ERtfAlign::Right);
    EXPECT_EQ(doc.paragraphs[5].nLeftTwips, 709);
    EXPECT_EQ(doc.paragraphs[5].nFirstTwips, -283);

    const SRtfFormat title = RunOf(doc, "Site note");
    EXPECT_TRUE(title.bBold);
    EXPECT_EQ(title.nHalfPoints, 48);
    EXPECT_EQ(title.rgb, 0x1F497Du);
    EXPECT_EQ(FontOf(doc, "Site note"), "Liberation Serif");
    EXPECT_TRUE(RunOf(doc, "twelve modules").bBold);
    EXPECT_FALSE(RunOf(doc, "The array has").bBold);
    EXPECT_TRUE(RunOf(doc, "garage").bUnderline);
    EXPECT_TRUE(RunOf(doc, "12 March").bItalic);
    const SRtfFormat warning = RunOf(doc, "480 V");
    EXPECT_TRUE(warning.bBold);
    EXPECT_EQ(warning.rgb, 0xC00000u);
    EXPECT_FALSE(RunOf(doc, "; never open").rgb.has_value());
    EXPECT_EQ(RunOf(doc, "Normal").nHalfPoints, 32);
    EXPECT_EQ(RunOf(doc, "serial").nHalfPoints, 18);
    EXPECT_EQ(FontOf(doc, "serial"), "Courier New");
}

TEST(RtfReaderTest, LibreOfficeTableLinkAndPictureKeepTheTextAround)
{
    const SRtfDocument doc = CRtfReader::Read(Sample("libreoffice-table.rtf"));
    EXPECT_EQ(Paragraphs(doc), (std::vector<std::string>{
                                   "Readings  taken at noon",
                                   "Power\t2 870 W",
                                   "E-Today\t11.4 kWh",
                                   "See the manual for the limits.\u2028Second line after a break.",
                                   "Green text and struck and x2 and CO2.",
                               }));
    EXPECT_TRUE(RunOf(doc, "the manual").bUnderline);
    EXPECT_TRUE(RunOf(doc, "11.4").bItalic);
    EXPECT_TRUE(RunOf(doc, "struck").bStrike);
    EXPECT_EQ(RunOf(doc, "Green").rgb, 0x008040u);
    const SRtfParagraph& last = doc.paragraphs.back();
    ASSERT_GE(last.runs.size(), 4u);
    EXPECT_EQ(last.runs[last.runs.size() - 4].format.eVertical, ERtfVertical::Super);
    EXPECT_EQ(last.runs[last.runs.size() - 2].format.eVertical, ERtfVertical::Sub);
}

TEST(RtfReaderTest, WordPadNoteDecodesItsCodePageAndSymbolBullets)
{
    const SRtfDocument doc = CRtfReader::Read(Sample("wordpad.rtf"));
    EXPECT_EQ(Paragraphs(doc), (std::vector<std::string>{
                                   "Wechselrichter im Keller",
                                   "Z\u00e4hlerstand am 1. M\u00e4rz: 12\u00a0345 kWh.",
                                   "\u2022\tL\u00fcfter pr\u00fcfen",
                                   "\u2022\tSicherung F3 nicht anfassen",
                                   "Service: 0123 456789",
                               }));
    EXPECT_EQ(RunOf(doc, "Keller").nHalfPoints, 28);
    EXPECT_EQ(FontOf(doc, "Keller"), "Calibri");
    EXPECT_EQ(RunOf(doc, "345 kWh").rgb, 0xFF0000u);
    EXPECT_TRUE(RunOf(doc, "F3").bItalic);
    EXPECT_EQ(RunOf(doc, "Service:").rgb, 0x004DBBu);
    EXPECT_TRUE(RunOf(doc, "Service:").bUnderline);
    EXPECT_FALSE(RunOf(doc, "0123").bUnderline);
}

TEST(RtfReaderTest, WordStyleNoteSkipsWhatIsNotText)
{
    const SRtfDocument doc = CRtfReader::Read(Sample("word-like.rtf"));
    EXPECT_EQ(Paragraphs(doc), (std::vector<std::string>{
                                   "Service note",
                                   "Call 0123 456 for service.",
                                   "Photo:  after.",
                                   "Cited here. Visible text.",
                                   "\u53d8\u6d41\u9006",
                                   "Sun \U0001F31E and broken \uFFFD half.",
                                   "A1\tB1",
                                   "first\u2028second",
                                   "all foursmallbig",
                                   "last",
                               }));
    EXPECT_EQ(doc.fonts, (std::vector<std::string>{"Times New Roman", "Arial", "SimSun"}));
    EXPECT_EQ(RunOf(doc, "0123").rgb, 0x0070C0u);
    const SRtfFormat all = RunOf(doc, "all four");
    EXPECT_TRUE(all.bBold && all.bItalic && all.bUnderline && all.bStrike);
    EXPECT_EQ(RunOf(doc, "big").nHalfPoints, 48);
    EXPECT_EQ(doc.paragraphs.back().eAlign, ERtfAlign::Right);
}

TEST(RtfReaderTest, ShippedNoteReadsCleanly)
{
    const SRtfDocument doc = CRtfReader::Read(ReadFile(ZELVAN_SOURCE_DIR "/assets/myfile.rtf"));
    const std::string text = doc.Text();
    EXPECT_GE(doc.paragraphs.size(), 15u);
    EXPECT_EQ(text.find_first_of("\\{}"), std::string::npos) << "markup leaked into the text";
    EXPECT_EQ(text.find("\uFFFD"), std::string::npos);
    EXPECT_NE(text.find("Dis-connected"), std::string::npos);
    EXPECT_NE(text.find("0.7 kg"), std::string::npos);
    EXPECT_NE(text.find("hisdata"), std::string::npos);
    EXPECT_TRUE(RunOf(doc, "notes for the operator").bBold);
}

TEST(RtfReaderTest, MalformedInputEndsCleanlyWithTheTextItHas)
{
    const std::string deep = std::string(100000, '{') + "lost" + std::string(100000, '}');
    const struct {
        std::string input;
        std::string text;
    } cases[] = {
        {"{\\rtf1 {\\b bold", "bold"},
        {"{\\rtf1 a}} b", "a"},
        {"}}{\\rtf1 a}", "a"}, // stray closing braces before the document
        {"{\\rtf1 x\\'", "x"},
        {"{\\rtf1 x\\'4", "x"},
        {"{\\rtf1 x\\'zz", "xzz"},
        {"{\\rtf1 x\\u", "x"},
        {"{\\rtf1 x\\u-", "x"},
        {"{\\rtf1 x\\", "x"},
        {"{\\rtf1 x\\bin99999999999 y}", "x"},
        {"{\\rtf1 x\\uc99999 \\u65 abc}", "xA"},
        {"{\\rtf1 \\fs999999999999 \\cf77 \\f-5 \\li-999999999 big}", "big"},
        {"{\\rtf1 {\\fonttbl{\\f0 never ends", ""},
        {"{\\rtf1 {\\colortbl;\\red300\\green-1;}{\\cf1 c}}", "c"},
        {"{\\rtf1 before " + deep + " after}", "before  after"},
        {std::string("{\\rtf1 a\0b\x01\x7f", 12) + "\xff}", "ab\xc3\xbf"},
    };
    for (const auto& c : cases) {
        const SRtfDocument doc = CRtfReader::Read(c.input);
        EXPECT_EQ(doc.Text(), c.text) << c.input.substr(0, 60);
    }
}

TEST(RtfReaderTest, OutputStaysWithinItsLimits)
{
    SRtfLimits limits;
    limits.nMaxParagraphs = 100;
    limits.nMaxTextBytes = 1000;
    limits.nMaxRuns = 50;
    std::string pars = "{\\rtf1 ";
    for (int i = 0; i < 10000; ++i)
        pars += "\\par ";
    SRtfDocument doc = CRtfReader::Read(pars, limits);
    EXPECT_TRUE(doc.bTruncated);
    EXPECT_EQ(doc.paragraphs.size(), 100u);

    doc = CRtfReader::Read("{\\rtf1 " + std::string(5000, 'x') + "}", limits);
    EXPECT_TRUE(doc.bTruncated);
    EXPECT_LE(doc.Text().size(), 1000u);

    std::string runs = "{\\rtf1 ";
    for (int i = 0; i < 1000; ++i)
        runs += i % 2 ? "\\b a" : "\\b0 a";
    doc = CRtfReader::Read(runs, limits);
    EXPECT_TRUE(doc.bTruncated);
    EXPECT_EQ(doc.paragraphs.size(), 1u);
    EXPECT_EQ(doc.paragraphs[0].runs.size(), 50u);

    // A paragraph's layout grows faster than its length and its runs: long
    // ones go on in new paragraphs, and their runs stop splitting.
    limits = SRtfLimits{};
    limits.nMaxParagraphBytes = 100;
    limits.nMaxRunsPerParagraph = 10;
    doc = CRtfReader::Read(runs + "\\b0 " + std::string(399, 'x') + "\\u8364?}", limits);
    EXPECT_FALSE(doc.bTruncated);
    ASSERT_EQ(doc.paragraphs.size(), 15u);
    EXPECT_EQ(doc.paragraphs[13].Text(), std::string(99, 'x')); // the euro sign does not fit
    EXPECT_EQ(doc.paragraphs[14].Text(), "\u20ac");
    EXPECT_EQ(doc.paragraphs[0].runs.size(), 10u);
    EXPECT_EQ(doc.paragraphs[0].Text(), std::string(100, 'a'));
}

// Mutations of the real samples: every one must end, within the limits.
TEST(RtfReaderTest, MutatedSamplesNeverBreakTheReader)
{
    const std::string samples[] = {Sample("libreoffice-note.rtf"), Sample("word-like.rtf"), Sample("wordpad.rtf")};
    const char alphabet[] = "{}\\'*;0123456789-abuxfpc \x80\xff";
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        std::string input = samples[i % 3];
        const int edits = 1 + static_cast<int>(random() % 20);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % input.size();
            switch (random() % 3) {
            case 0:
                input[at] = alphabet[random() % (sizeof alphabet - 1)];
                break;
            case 1:
                input.erase(at, random() % 40);
                break;
            default:
                input.insert(at, input.substr(random() % input.size(), random() % 60));
                break;
            }
            if (input.empty())
                input = "{";
        }
        const SRtfDocument doc = CRtfReader::Read(input);
        ASSERT_LE(doc.Text().size(), input.size() * 4 + 16);
    }
}
