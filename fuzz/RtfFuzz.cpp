// The system view's note reader: any bytes are read in one pass to a
// document that keeps every bound it was given. The first byte picks the
// bounds: even, the program's own; odd, small ones taken from the bytes
// after it, so the fuzzer reaches every limit quickly.
#include <algorithm>
#include <string_view>

#include "FuzzSupport.h"
#include "live/RtfReader.h"

namespace {

SRtfLimits LimitsFrom(CFuzzInput& in)
{
    SRtfLimits limits;
    if ((in.Byte() & 1) == 0)
        return limits;
    limits.nMaxDepth = in.Byte() % 16;
    limits.nMaxTextBytes = in.Value<std::uint16_t>() % 4096;
    limits.nMaxParagraphs = in.Byte();
    limits.nMaxRuns = in.Byte();
    limits.nMaxRunsPerParagraph = in.Byte() % 16;
    limits.nMaxParagraphBytes = in.Byte();
    limits.nMaxTableEntries = in.Byte() % 16;
    return limits;
}

// Well-formed UTF-8 of scalar values only (no surrogates, nothing past
// U+10FFFF, no overlong forms).
bool IsUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            n = 1;
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            n = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (d & 0x3F);
        }
        static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
            return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFuzzInput in(data, size);
    const SRtfLimits limits = LimitsFrom(in);
    std::size_t n = in.Left();
    const std::uint8_t* rest = in.Take(n);
    const std::string_view input(reinterpret_cast<const char*>(rest), n);

    const SRtfDocument doc = CRtfReader::Read(input, limits);

    // The reader raises a paragraph's bounds to at least one run of 16 bytes.
    const std::size_t maxParaBytes = std::max<std::size_t>(limits.nMaxParagraphBytes, 16);
    const std::size_t maxParaRuns = std::max<std::size_t>(limits.nMaxRunsPerParagraph, 1);
    FUZZ_CHECK(doc.paragraphs.size() <= limits.nMaxParagraphs);
    FUZZ_CHECK(doc.fonts.size() <= limits.nMaxTableEntries);
    std::size_t textBytes = 0;
    std::size_t runs = 0;
    for (const SRtfParagraph& para : doc.paragraphs) {
        FUZZ_CHECK(para.runs.size() <= maxParaRuns);
        FUZZ_CHECK(para.tabStops.size() <= 32);
        std::size_t paraBytes = 0;
        for (const SRtfRun& run : para.runs) {
            FUZZ_CHECK(!run.strText.empty());
            FUZZ_CHECK(run.strText.find_first_of("\r\n") == std::string::npos);
            FUZZ_CHECK(IsUtf8(run.strText));
            FUZZ_CHECK(run.format.nFont >= -1 && run.format.nFont < static_cast<int>(doc.fonts.size()));
            paraBytes += run.strText.size();
        }
        FUZZ_CHECK(paraBytes <= maxParaBytes);
        textBytes += paraBytes;
        runs += para.runs.size();
    }
    FUZZ_CHECK(textBytes <= limits.nMaxTextBytes);
    FUZZ_CHECK(runs <= limits.nMaxRuns);
    // Output grows at most linearly with the input: no byte or control word
    // gives more than four bytes of text or more than one paragraph.
    FUZZ_CHECK(textBytes <= 4 * input.size());
    FUZZ_CHECK(doc.paragraphs.size() <= input.size());
    return 0;
}
