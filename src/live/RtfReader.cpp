#include "live/RtfReader.h"

#include <algorithm>
#include <array>
#include <climits>

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;
constexpr std::uint32_t kLineSeparator = 0x2028;
constexpr std::size_t kMaxWordLetters = 32; // longer words are cut, still consumed
constexpr std::size_t kMaxFontName = 128;
constexpr int kSymbolCharset = 2;
constexpr std::size_t kMaxTabStops = 32;

// Groups whose content is never text of the note. Sorted for binary search.
// clang-format off
constexpr std::string_view kSkippedDestinations[] = {
    "aftncn", "aftnsep", "aftnsepc", "annotation", "atnauthor", "atndate", "atnid", "atnparent", "atnref",
    "atntime", "atrfend", "atrfstart", "author", "background", "bkmkend", "bkmkstart", "blipuid", "buptim",
    "category", "colorschememapping", "comment", "company", "creatim", "datafield", "datastore", "defchp",
    "defpap", "do", "doccomm", "docvar", "dptxbxtext", "falt", "fchars", "ffdeftext", "ffentrymcr", "ffexitmcr",
    "ffformat", "ffhelptext", "ffl", "ffname", "ffstattext", "file", "filetbl", "fldinst", "footer", "footerf",
    "footerl", "footerr", "footnote", "ftncn", "ftnsep", "ftnsepc", "g", "generator", "gridtbl", "header",
    "headerf", "headerl", "headerr", "hl", "hlfr", "hlinkbase", "hlloc", "hlsrc", "info", "keywords",
    "latentstyles", "lchars", "levelnumbers", "leveltext", "lfolevel", "list", "listlevel", "listname",
    "listoverride", "listoverridetable", "listpicture", "liststylename", "listtable", "manager", "mhtmltag",
    "mmathPr", "nonshppict", "objclass", "objdata", "object", "objname", "operator", "panose", "passwordhash",
    "pgdsctbl", "pict", "pn", "pnseclvl", "pntxta", "pntxtb", "printim", "private", "propname", "protusertbl",
    "pxe", "revtbl", "revtim", "rsidtbl", "rxe", "shp", "shpinst", "stylesheet", "subject", "tc", "template",
    "themedata", "title", "txe", "userprops", "wgrffmtfilter", "windowcaption", "xe", "xform", "xmlattrname",
    "xmlattrvalue", "xmlclose", "xmlname", "xmlnstbl",
};
// clang-format on

static_assert(std::is_sorted(std::begin(kSkippedDestinations), std::end(kSkippedDestinations)));

bool IsSkippedDestination(std::string_view word)
{
    return std::binary_search(std::begin(kSkippedDestinations), std::end(kSkippedDestinations), word);
}

// Windows-1252 in 0x80..0x9F; the rest of the upper half is Latin-1.
constexpr std::array<std::uint16_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

std::uint32_t DecodeByte(unsigned char byte, int nCharset)
{
    if (nCharset == kSymbolCharset && byte == 0xB7)
        return 0x2022; // the bullet of a Symbol font, as WordPad writes lists
    if (byte >= 0x80 && byte < 0xA0)
        return kCp1252High[byte - 0x80];
    return byte;
}

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Plain text that can be appended as it stands.
bool IsPlainText(char c)
{
    return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}';
}

std::string Trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::string SRtfParagraph::Text() const
{
    std::string text;
    for (const SRtfRun& run : runs)
        text += run.strText;
    return text;
}

std::string SRtfDocument::Text() const
{
    std::string text;
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += paragraphs[i].Text();
    }
    return text;
}

SRtfDocument CRtfReader::Read(std::string_view input, const SRtfLimits& limits)
{
    CRtfReader reader(input, limits);
    reader.Run();
    return std::move(reader.m_doc);
}

CRtfReader::CRtfReader(std::string_view input, const SRtfLimits& limits) : m_input(input), m_limits(limits)
{
    m_limits.nMaxDepth = std::max(m_limits.nMaxDepth, 1);
    m_limits.nMaxParagraphBytes = std::max<std::size_t>(m_limits.nMaxParagraphBytes, 16);
    m_limits.nMaxRunsPerParagraph = std::max<std::size_t>(m_limits.nMaxRunsPerParagraph, 1);
}

void CRtfReader::Run()
{
    while (!m_bDone && m_nPos < m_input.size()) {
        const char c = m_input[m_nPos];
        if (c == '{') {
            ++m_nPos;
            OpenGroup();
        } else if (c == '}') {
            ++m_nPos;
            CloseGroup();
        } else if (c == '\\') {
            ControlSymbolOrWord();
        } else if (c == '\r' || c == '\n') {
            ++m_nPos; // line ends in the file are not text
        } else if (IsPlainText(c) && m_state.eDest == EDest::Text && m_nFallbackPending == 0) {
            const std::size_t start = m_nPos;
            while (m_nPos < m_input.size() && IsPlainText(m_input[m_nPos]))
                ++m_nPos;
            if (!m_state.bHidden)
                Append(m_input.substr(start, m_nPos - start));
        } else {
            ++m_nPos;
            Byte(static_cast<unsigned char>(c));
        }
    }
    EndParagraph(false);
}

void CRtfReader::OpenGroup()
{
    m_nFallbackPending = 0;
    if (m_nSkippedDepth > 0 || m_stack.size() >= static_cast<std::size_t>(m_limits.nMaxDepth)) {
        // Too deep: skipped with all it holds. Nothing changes the state
        // while skipping, so the destination alone is kept aside.
        if (m_nSkippedDepth++ == 0) {
            m_eDestOutside = m_state.eDest;
            m_state.eDest = EDest::Skip;
        }
        return;
    }
    m_stack.push_back(m_state);
}

void CRtfReader::CloseGroup()
{
    m_nFallbackPending = 0;
    if (m_nSkippedDepth > 0) {
        if (--m_nSkippedDepth == 0)
            m_state.eDest = m_eDestOutside;
        return;
    }
    if (m_stack.empty())
        return; // a stray brace before the document's group
    if (m_state.eDest == EDest::FontTable && !Trimmed(m_strFontName).empty())
        FontTableText(';'); // an entry without its semicolon
    m_state = m_stack.back();
    m_stack.pop_back();
    if (m_stack.empty())
        m_bDone = true;
}

void CRtfReader::ControlSymbolOrWord()
{
    ++m_nPos; // the backslash
    if (m_nPos >= m_input.size())
        return;
    const char c = m_input[m_nPos];
    if (!IsLetter(c)) {
        ++m_nPos;
        ControlSymbol(c);
        return;
    }
    const std::size_t start = m_nPos;
    while (m_nPos < m_input.size() && IsLetter(m_input[m_nPos]))
        ++m_nPos;
    const std::string_view word = m_input.substr(start, std::min(m_nPos - start, kMaxWordLetters));

    bool bHasParam = false;
    bool bNegative = false;
    long long param = 0;
    if (m_nPos + 1 < m_input.size() && m_input[m_nPos] == '-' && IsDigit(m_input[m_nPos + 1])) {
        bNegative = true;
        ++m_nPos;
    }
    while (m_nPos < m_input.size() && IsDigit(m_input[m_nPos])) {
        bHasParam = true;
        param = std::min(param * 10 + (m_input[m_nPos] - '0'), static_cast<long long>(INT_MAX));
        ++m_nPos;
    }
    if (m_nPos < m_input.size() && m_input[m_nPos] == ' ')
        ++m_nPos; // the delimiter belongs to the word
    ControlWord(word, bHasParam, static_cast<int>(bNegative ? -param : param));
}

void CRtfReader::ControlSymbol(char c)
{
    if (c == '\'') {
        int value = 0;
        int digits = 0;
        while (digits < 2 && m_nPos < m_input.size() && HexValue(m_input[m_nPos]) >= 0) {
            value = value * 16 + HexValue(m_input[m_nPos]);
            ++m_nPos;
            ++digits;
        }
        if (digits > 0)
            Byte(static_cast<unsigned char>(value), true);
        return;
    }
    if (c == '*') {
        m_state.eDest = EDest::Skip; // an optional destination this reader does not know
        return;
    }
    if (c == '\\' || c == '{' || c == '}') {
        Byte(static_cast<unsigned char>(c), true);
        return;
    }
    if (TakeFallback() || m_state.eDest != EDest::Text)
        return;
    switch (c) {
    case '~':
        Unicode(0x00A0);
        break;
    case '_':
        Unicode(0x2011);
        break;
    case '\r':
    case '\n':
        EndParagraph(true);
        break;
    default: // "\-" optional hyphen, "\|", "\:" and the unknown
        break;
    }
}

bool CRtfReader::TakeFallback()
{
    if (m_nFallbackPending == 0)
        return false;
    --m_nFallbackPending;
    return true;
}

void CRtfReader::ControlWord(std::string_view word, bool bHasParam, int nParam)
{
    if (word == "bin") {
        SkipBinary(bHasParam ? nParam : 0);
        return;
    }
    if (TakeFallback() || m_state.eDest == EDest::Skip)
        return;
    if (word == "u") {
        Utf16(nParam);
        m_nFallbackPending = m_state.nUnicodeSkip;
        return;
    }
    if (word == "uc") {
        m_state.nUnicodeSkip = std::clamp(nParam, 0, 16);
        return;
    }
    if (Destination(word))
        return;
    if (m_state.eDest == EDest::FontTable) {
        if (word == "f")
            m_nTableFont = nParam;
        else if (word == "fcharset")
            m_nTableCharset = nParam;
        return;
    }
    if (m_state.eDest == EDest::ColourTable) {
        const int value = std::clamp(nParam, 0, 255);
        if (word == "red")
            m_nRed = value;
        else if (word == "green")
            m_nGreen = value;
        else if (word == "blue")
            m_nBlue = value;
        return;
    }
    if (word == "deff") {
        m_nDefaultFont = nParam;
        return;
    }
    if (!CharacterFormat(word, bHasParam, nParam) && !ParagraphFormat(word, nParam))
        SpecialCharacter(word);
}

bool CRtfReader::Destination(std::string_view word)
{
    if (word == "fonttbl") {
        m_state.eDest = EDest::FontTable;
        m_strFontName.clear();
    } else if (word == "colortbl") {
        m_state.eDest = EDest::ColourTable;
        m_nRed = m_nGreen = m_nBlue = -1;
    } else if (IsSkippedDestination(word)) {
        m_state.eDest = EDest::Skip;
    } else {
        return false;
    }
    return true;
}

bool CRtfReader::CharacterFormat(std::string_view word, bool bHasParam, int nParam)
{
    SRtfFormat& f = m_state.format;
    const bool bOn = !bHasParam || nParam != 0;
    if (word == "plain") {
        f = SRtfFormat{};
        m_state.nFontNumber = -1;
        m_state.bHidden = false;
    } else if (word == "b") {
        f.bBold = bOn;
    } else if (word == "i") {
        f.bItalic = bOn;
    } else if (word == "ulnone") {
        f.bUnderline = false;
    } else if (word.starts_with("ul") && word != "ulc") {
        f.bUnderline = bOn; // every underline style: single, double, dotted, word, wave
    } else if (word == "strike" || word == "striked") {
        f.bStrike = bOn;
    } else if (word == "super") {
        f.eVertical = ERtfVertical::Super;
    } else if (word == "sub") {
        f.eVertical = ERtfVertical::Sub;
    } else if (word == "nosupersub") {
        f.eVertical = ERtfVertical::Baseline;
    } else if (word == "up" || word == "dn") {
        // Raised or lowered by half points, as some writers mark sub/superscript.
        const bool bRaised = (word == "up") == (!bHasParam || nParam >= 0);
        f.eVertical = bHasParam && nParam == 0 ? ERtfVertical::Baseline
                      : bRaised                ? ERtfVertical::Super
                                               : ERtfVertical::Sub;
    } else if (word == "fs") {
        f.nHalfPoints = nParam > 0 ? std::clamp(nParam, 2, 400) : 24;
    } else if (word == "f") {
        m_state.nFontNumber = nParam;
    } else if (word == "cf") {
        f.rgb = nParam > 0 && static_cast<std::size_t>(nParam) < m_colours.size() ? m_colours[nParam] : std::nullopt;
    } else if (word == "v") {
        m_state.bHidden = bOn;
    } else {
        return false;
    }
    return true;
}

bool CRtfReader::ParagraphFormat(std::string_view word, int nParam)
{
    SRtfParagraph& p = m_state.para;
    // Twips beyond a few metres are nonsense; keep them drawable.
    const int twips = std::clamp(nParam, -31680, 31680);
    if (word == "pard")
        p = SRtfParagraph{};
    else if (word == "ql")
        p.eAlign = ERtfAlign::Left;
    else if (word == "qc")
        p.eAlign = ERtfAlign::Centre;
    else if (word == "qr")
        p.eAlign = ERtfAlign::Right;
    else if (word == "qj" || word == "qd")
        p.eAlign = ERtfAlign::Justify;
    else if (word == "li" || word == "lin")
        p.nLeftTwips = twips;
    else if (word == "ri" || word == "rin")
        p.nRightTwips = twips;
    else if (word == "fi")
        p.nFirstTwips = twips;
    else if (word == "sb")
        p.nBeforeTwips = std::max(twips, 0);
    else if (word == "sa")
        p.nAfterTwips = std::max(twips, 0);
    else if (word == "tx" || word == "tb")
        AddTabStop(p, twips);
    else
        return false;
    return true;
}

void CRtfReader::AddTabStop(SRtfParagraph& para, int nTwips)
{
    if (nTwips > 0 && para.tabStops.size() < kMaxTabStops)
        para.tabStops.push_back(nTwips);
}

void CRtfReader::SpecialCharacter(std::string_view word)
{
    struct SSymbol {
        std::string_view word;
        std::uint32_t cp;
    };
    static constexpr SSymbol kSymbols[] = {
        {"line", kLineSeparator}, {"tab", '\t'},       {"emdash", 0x2014},  {"endash", 0x2013},
        {"bullet", 0x2022},       {"lquote", 0x2018},  {"rquote", 0x2019},  {"ldblquote", 0x201C},
        {"rdblquote", 0x201D},    {"emspace", 0x2003}, {"enspace", 0x2002}, {"qmspace", 0x2005},
    };
    if (word == "par" || word == "row" || word == "nestrow") {
        EndParagraph(true);
        return;
    }
    if (word == "cell" || word == "nestcell") {
        // Cells of a row become tab-separated; the row's last cell adds none.
        m_bCellPending = !m_state.bHidden;
        return;
    }
    if (word == "sect" || word == "page") {
        EndParagraph(false);
        return;
    }
    for (const SSymbol& s : kSymbols) {
        if (s.word == word) {
            Unicode(s.cp);
            return;
        }
    }
}

void CRtfReader::SkipBinary(int nBytes)
{
    const std::size_t n = static_cast<std::size_t>(std::max(nBytes, 0));
    m_nPos += std::min(n, m_input.size() - m_nPos);
}

void CRtfReader::Byte(unsigned char byte, bool bEscaped)
{
    if (TakeFallback())
        return;
    switch (m_state.eDest) {
    case EDest::Skip:
        return;
    case EDest::ColourTable:
        if (byte == ';')
            ColourTableDelimiter();
        return;
    case EDest::FontTable:
        if (byte == ';' && !bEscaped)
            FontTableText(';');
        else
            FontTableText(static_cast<char>(byte));
        return;
    case EDest::Text:
        if (byte == '\t' || byte >= 0x20)
            Unicode(DecodeByte(byte, CurrentCharset()));
        return;
    }
}

int CRtfReader::CurrentCharset() const
{
    const int font = FontIndex();
    return font >= 0 ? m_fontCharsets[font] : 0;
}

int CRtfReader::FontIndex() const
{
    const int number = m_state.nFontNumber >= 0 ? m_state.nFontNumber : m_nDefaultFont;
    const auto it = m_fontIndex.find(number);
    return it == m_fontIndex.end() ? -1 : it->second;
}

void CRtfReader::Utf16(int nUnit)
{
    const std::uint32_t unit = static_cast<std::uint32_t>(nUnit < 0 ? nUnit + 65536 : nUnit) & 0xFFFF;
    if (unit >= 0xD800 && unit < 0xDC00) {
        if (m_nHighSurrogate != 0) {
            m_nHighSurrogate = 0;
            Unicode(kReplacement);
        }
        m_nHighSurrogate = unit;
        return;
    }
    if (unit >= 0xDC00 && unit < 0xE000) {
        if (m_nHighSurrogate == 0) {
            Unicode(kReplacement);
            return;
        }
        const std::uint32_t cp = 0x10000 + ((m_nHighSurrogate - 0xD800) << 10) + (unit - 0xDC00);
        m_nHighSurrogate = 0;
        Unicode(cp);
        return;
    }
    Unicode(unit);
}

void CRtfReader::Unicode(std::uint32_t cp)
{
    if (m_state.eDest == EDest::FontTable) {
        if (m_strFontName.size() < kMaxFontName)
            AppendUtf8(m_strFontName, cp);
        return;
    }
    if (m_state.eDest != EDest::Text || m_state.bHidden)
        return;
    if (cp == 0x2029)
        cp = kLineSeparator; // a paragraph ends only at \par
    if ((cp < 0x20 && cp != '\t') || cp == 0x7F || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
        cp = cp < 0x20 || cp == 0x7F ? 0 : kReplacement;
    if (cp == 0)
        return;
    std::string utf8;
    AppendUtf8(utf8, cp);
    Append(utf8);
}

void CRtfReader::FontTableText(char c)
{
    if (c != ';') {
        if (m_strFontName.size() < kMaxFontName)
            AppendUtf8(m_strFontName, DecodeByte(static_cast<unsigned char>(c), 0));
        return;
    }
    const std::string name = Trimmed(m_strFontName);
    m_strFontName.clear();
    if (m_doc.fonts.size() >= m_limits.nMaxTableEntries || m_fontIndex.contains(m_nTableFont))
        return;
    m_fontIndex.emplace(m_nTableFont, static_cast<int>(m_doc.fonts.size()));
    m_doc.fonts.push_back(name);
    m_fontCharsets.push_back(m_nTableCharset);
    m_nTableCharset = 0;
}

void CRtfReader::ColourTableDelimiter()
{
    if (m_colours.size() < m_limits.nMaxTableEntries) {
        if (m_nRed < 0 && m_nGreen < 0 && m_nBlue < 0)
            m_colours.emplace_back(); // the automatic colour
        else
            m_colours.emplace_back(static_cast<std::uint32_t>(std::max(m_nRed, 0) << 16 | std::max(m_nGreen, 0) << 8 |
                                                              std::max(m_nBlue, 0)));
    }
    m_nRed = m_nGreen = m_nBlue = -1;
}

void CRtfReader::EndParagraph(bool bEvenIfEmpty)
{
    if (m_nHighSurrogate != 0) {
        m_nHighSurrogate = 0;
        Unicode(kReplacement);
    }
    if (m_para.runs.empty() && !bEvenIfEmpty)
        return;
    if (m_doc.paragraphs.size() >= m_limits.nMaxParagraphs) {
        m_doc.bTruncated = true;
        m_bDone = true;
        return;
    }
    m_bCellPending = false;
    m_nParaBytes = 0;
    SRtfParagraph para = m_state.para;
    para.runs = std::move(m_para.runs);
    m_para.runs.clear();
    m_doc.paragraphs.push_back(std::move(para));
}

void CRtfReader::Append(std::string_view utf8)
{
    if (m_doc.bTruncated)
        return;
    if (m_nHighSurrogate != 0) {
        m_nHighSurrogate = 0; // a high surrogate without its low half
        Append("\xEF\xBF\xBD");
    }
    if (m_bCellPending) {
        m_bCellPending = false;
        Append("\t");
    }
    const bool bFull = m_nTextBytes + utf8.size() > m_limits.nMaxTextBytes;
    if (bFull) {
        // Keep what fits, cut at a character boundary, and read no further.
        std::size_t fits = m_limits.nMaxTextBytes - m_nTextBytes;
        while (fits > 0 && (static_cast<unsigned char>(utf8[fits]) & 0xC0) == 0x80)
            --fits;
        utf8 = utf8.substr(0, fits);
    }
    // An endless paragraph goes on in a new one: laying out a paragraph
    // takes time that grows faster than its length.
    while (!utf8.empty()) {
        if (m_nParaBytes >= m_limits.nMaxParagraphBytes) {
            EndParagraph(true);
            if (m_doc.bTruncated)
                return;
        }
        std::size_t n = std::min(utf8.size(), m_limits.nMaxParagraphBytes - m_nParaBytes);
        while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80)
            --n;
        if (n == 0) {
            m_nParaBytes = m_limits.nMaxParagraphBytes; // the next character does not fit
            continue;
        }
        AppendPiece(utf8.substr(0, n));
        if (m_doc.bTruncated)
            return;
        utf8.remove_prefix(n);
    }
    if (bFull) {
        m_doc.bTruncated = true;
        m_bDone = true;
    }
}

void CRtfReader::AppendPiece(std::string_view utf8)
{
    SRtfFormat format = m_state.format;
    format.nFont = FontIndex();
    // Past its share of format changes a paragraph goes on in its last
    // run's format: laying out a paragraph costs more than linear time in
    // its runs.
    const bool bNewRun = m_para.runs.empty() ||
                         (!(m_para.runs.back().format == format) && m_para.runs.size() < m_limits.nMaxRunsPerParagraph);
    if (bNewRun) {
        if (m_nRuns >= m_limits.nMaxRuns) {
            m_doc.bTruncated = true;
            m_bDone = true;
            return;
        }
        ++m_nRuns;
        m_para.runs.push_back(SRtfRun{{}, format});
    }
    m_para.runs.back().strText += utf8;
    m_nTextBytes += utf8.size();
    m_nParaBytes += utf8.size();
}
