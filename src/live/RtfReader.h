#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Rich text as the usual word processors write a simple note: paragraphs
// with their alignment, indents and spacing, and runs of text with bold,
// italic, underline, strike, sub/superscript, size, font and colour.
// Text is UTF-8. Pictures, objects, style sheets, headers and every unknown
// "\*" destination are skipped; the text around them is kept.

enum class ERtfAlign { Left, Centre, Right, Justify };
enum class ERtfVertical { Baseline, Sub, Super };

struct SRtfFormat {
    bool bBold = false;
    bool bItalic = false;
    bool bUnderline = false;
    bool bStrike = false;
    ERtfVertical eVertical = ERtfVertical::Baseline;
    int nHalfPoints = 24;             // font size in half points
    int nFont = -1;                   // index into SRtfDocument::fonts, -1: none named
    std::optional<std::uint32_t> rgb; // 0xRRGGBB; none: the automatic colour

    bool operator==(const SRtfFormat&) const = default;
};

struct SRtfRun {
    std::string strText; // never holds '\n' or '\r'; "\u2028" is a line break
    SRtfFormat format;
};

struct SRtfParagraph {
    ERtfAlign eAlign = ERtfAlign::Left;
    int nLeftTwips = 0;
    int nRightTwips = 0;
    int nFirstTwips = 0; // first-line indent, negative for a hanging one
    int nBeforeTwips = 0;
    int nAfterTwips = 0;
    std::vector<int> tabStops; // twips from the left margin, as written
    std::vector<SRtfRun> runs;

    std::string Text() const;
};

struct SRtfDocument {
    std::vector<std::string> fonts; // names from the font table, in its order
    std::vector<SRtfParagraph> paragraphs;
    bool bTruncated = false; // a limit was reached; what came before is kept

    // The paragraphs' text joined by '\n'.
    std::string Text() const;
};

// Bounds that keep a hostile or broken file from taking the program down.
// Groups nested deeper than nMaxDepth are skipped with their content.
struct SRtfLimits {
    int nMaxDepth = 64;
    std::size_t nMaxTextBytes = 1u << 20;
    std::size_t nMaxParagraphs = 50000;
    std::size_t nMaxRuns = 200000;
    std::size_t nMaxRunsPerParagraph = 200; // later text keeps the last run's format
    std::size_t nMaxParagraphBytes = 8192;  // later text goes on in a new paragraph
    std::size_t nMaxTableEntries = 1024;    // fonts and colours each
};

// Reads any byte string in one pass, in time linear in its length; never
// throws for bad input (only std::bad_alloc can escape).
class CRtfReader {
public:
    static SRtfDocument Read(std::string_view input, const SRtfLimits& limits = {});

private:
    enum class EDest { Text, Skip, FontTable, ColourTable };

    struct SState {
        SRtfFormat format;
        SRtfParagraph para;   // paragraph properties only, no runs
        int nFontNumber = -1; // \fN; -1: the default font
        EDest eDest = EDest::Text;
        int nUnicodeSkip = 1; // \ucN: fallback characters after \uN
        bool bHidden = false;
    };

    CRtfReader(std::string_view input, const SRtfLimits& limits);
    void Run();
    void OpenGroup();
    void CloseGroup();
    void ControlSymbolOrWord();
    void ControlSymbol(char c);
    void ControlWord(std::string_view word, bool bHasParam, int nParam);
    bool Destination(std::string_view word);
    bool CharacterFormat(std::string_view word, bool bHasParam, int nParam);
    bool ParagraphFormat(std::string_view word, int nParam);
    void SpecialCharacter(std::string_view word);
    static void AddTabStop(SRtfParagraph& para, int nTwips);
    void SkipBinary(int nBytes);
    // Drops one character or control word of an \uN's fallback.
    bool TakeFallback();

    void Byte(unsigned char byte, bool bEscaped = false);
    void Utf16(int nUnit);
    void Unicode(std::uint32_t codePoint);
    void FontTableText(char c);
    void ColourTableDelimiter();
    void EndParagraph(bool bEvenIfEmpty);
    void Append(std::string_view utf8);
    void AppendPiece(std::string_view utf8);
    int FontIndex() const;
    int CurrentCharset() const;

    std::string_view m_input;
    std::size_t m_nPos = 0;
    SRtfLimits m_limits;
    SRtfDocument m_doc;
    SRtfParagraph m_para; // the paragraph being filled
    std::vector<SState> m_stack;
    SState m_state;
    int m_nSkippedDepth = 0; // groups opened past the depth limit
    EDest m_eDestOutside = EDest::Text;
    int m_nFallbackPending = 0; // characters still to drop after \uN
    std::uint32_t m_nHighSurrogate = 0;
    bool m_bCellPending = false; // a table cell ended; a tab goes before more text
    std::size_t m_nTextBytes = 0;
    std::size_t m_nRuns = 0;
    std::size_t m_nParaBytes = 0;
    bool m_bDone = false;

    // Tables.
    int m_nDefaultFont = 0;
    std::unordered_map<int, int> m_fontIndex; // \fN -> index into m_doc.fonts
    std::vector<int> m_fontCharsets;          // beside m_doc.fonts
    int m_nTableFont = 0;                     // \fN of the font table entry being read
    int m_nTableCharset = 0;
    std::string m_strFontName;
    std::vector<std::optional<std::uint32_t>> m_colours;
    int m_nRed = -1, m_nGreen = -1, m_nBlue = -1;
};
