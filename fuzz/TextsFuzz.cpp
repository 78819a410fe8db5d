// Texts and encoders: serial labels, scaled value encoding and formatting
// (every finite double, NaN, infinities), the cell number and cell name
// parsers, the parameter page's field texts. Nothing may crash, and each
// result keeps its promise.
#include <cmath>
#include <string>

#include "FuzzSupport.h"
#include "config/ConfigWorkbook.h"
#include "export/XlsSpreadsheet.h"
#include "model/RegisterScale.h"
#include "params/FieldText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFuzzInput in(data, size);
    const double value = in.Value<double>();
    const float scale = in.Value<float>();
    const std::uint16_t raw = in.Value<std::uint16_t>();

    const std::optional<std::uint16_t> word = EncodeScaledValue(value, scale);
    FUZZ_CHECK(word.has_value() == std::isfinite(value * static_cast<double>(scale) + 0.5));
    const std::optional<std::uint16_t> signedWord = EncodeSignedScaledValue(value, scale);
    if (!std::isfinite(value) || !std::isfinite(scale))
        FUZZ_CHECK(!signedWord.has_value());
    const std::string shown = FormatScaledValue(raw, scale);
    FUZZ_CHECK(shown.size() < 32);

    std::size_t n = in.Left();
    const std::uint8_t* rest = in.Take(n);
    const std::string text(reinterpret_cast<const char*>(rest), n);

    double number = 0;
    if (ParseCellNumber(text, number))
        FUZZ_CHECK(std::isfinite(number));
    if (const std::optional<double> decimal = PlainDecimal(text))
        FUZZ_CHECK(!std::isnan(*decimal));
    int row = -1;
    int col = -1;
    if (ParseCellName(text, row, col))
        FUZZ_CHECK(row >= 0 && row < 65536 && col >= 0 && col < 256);

    // The page's fields: a taken number is finite as a float, a serial is
    // a valid one, a trimmed text has no blank at either end.
    double real = 0;
    if (fieldtext::ParseReal(text, real))
        FUZZ_CHECK(std::isfinite(static_cast<float>(real)));
    long long integer = 0;
    static_cast<void>(fieldtext::ParseInteger(text, integer));
    std::uint64_t serial = 0;
    if (fieldtext::ParseSerialDigits(text, serial))
        FUZZ_CHECK(IsValidSerialNumber(serial));
    const std::string trimmed = fieldtext::Trimmed(text);
    FUZZ_CHECK(trimmed.empty() || (trimmed.front() != ' ' && trimmed.back() != ' '));
    FUZZ_CHECK(fieldtext::FormatScaledPair(raw | (static_cast<std::uint32_t>(raw) << 16), scale).size() < 64);
    FUZZ_CHECK(fieldtext::BcdVersionText(raw).size() < 16);

    static const ConfigWorkbook workbook; // no model sheet: labels decode by their layout only
    std::string label = text.substr(0, 64);
    const std::string before = label;
    const int year = workbook.DecodeSerialLabel(label);
    FUZZ_CHECK(year == 0 || year == 2010 || year == 2011);
    if (year == 0)
        FUZZ_CHECK(label == before);
    return 0;
}
