#include "params/FieldText.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/StringTable.h"

namespace fieldtext {

std::string FloatText(double value)
{
    return Printf("%.6g", value);
}

std::string FormatScaledPair(std::uint32_t raw, float scale)
{
    if (!std::isfinite(scale))
        return std::string();
    const long m = std::lround(std::fabs(scale));
    const long long value = scale < 0 ? static_cast<long long>(static_cast<std::int32_t>(raw)) : raw;
    if (m == 10 || m == 100 || m == 1000) {
        const char* format = m == 10 ? "%3.1f" : m == 100 ? "%3.2f" : "%3.3f";
        return Printf(format, static_cast<double>(value) / static_cast<double>(m));
    }
    if (std::lround(std::fabs(scale * 10.0f)) == 1)
        return Printf("%lld", value * 10);
    if (m == 1)
        return Printf("%lld", value);
    return std::string();
}

std::string BcdVersionText(std::uint16_t word)
{
    const unsigned number =
        (word >> 12) * 1000u + ((word >> 8) & 0xF) * 100u + ((word >> 4) & 0xF) * 10u + (word & 0xF);
    return Printf("%3.2f", number / 100.0);
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParseReal(const std::string& text, double& value)
{
    const std::string t = Trimmed(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v) || !std::isfinite(static_cast<float>(v)))
        return false;
    value = static_cast<float>(v);
    return true;
}

EParse ParseInteger(const std::string& text, long long& value)
{
    const std::string t = Trimmed(text);
    if (t.empty())
        return EParse::kNotNumber;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(t.c_str(), &end, 10);
    if (end != t.c_str() + t.size())
        return EParse::kNotNumber;
    if (errno == ERANGE)
        return EParse::kOutOfRange;
    value = v;
    return EParse::kOk;
}

bool ParseSerialDigits(const std::string& text, std::uint64_t& number)
{
    const std::string t = Trimmed(text);
    if (t.empty() || t.size() > 12 || !std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    number = std::stoull(t);
    return IsValidSerialNumber(number);
}

std::string ReplaceBounds(unsigned nId, const std::string& low, const std::string& high)
{
    std::string text = res::LoadString(nId);
    const auto p1 = text.find("%1");
    if (p1 != std::string::npos)
        text.replace(p1, 2, low);
    const auto p2 = text.find("%2");
    if (p2 != std::string::npos)
        text.replace(p2, 2, high);
    return text;
}

std::string IntegerRangeText(double low, double high)
{
    return ReplaceBounds(res::IDS_PARSE_INT_RANGE, Printf("%.0f", std::trunc(low)), Printf("%.0f", std::trunc(high)));
}

std::string RealRangeText(double low, double high)
{
    return ReplaceBounds(res::IDS_PARSE_REAL_RANGE, FloatText(static_cast<float>(low)), FloatText(static_cast<float>(high)));
}

bool IsIntegerKind(EValueKind kind)
{
    return kind == EValueKind::kUnsigned || kind == EValueKind::kSigned;
}

bool IsNumericKind(EValueKind kind)
{
    return kind == EValueKind::kFloat || IsIntegerKind(kind);
}

double AsUnsigned32(double value)
{
    return static_cast<double>(static_cast<std::uint32_t>(static_cast<std::int64_t>(value)));
}

double CalibrationRaw(const SCalibrationParameter& c, double value, float scale)
{
    const double s = std::fabs(static_cast<double>(scale));
    if (c.isOffset)
        return std::trunc(value > 0 ? value * s + 0.5 : value * s - 0.5);
    return std::trunc(value * static_cast<double>(scale) + 0.5);
}

bool CalibrationFits(const SCalibrationParameter& c, double value, float scale)
{
    if (!std::isfinite(value) || !std::isfinite(scale))
        return false;
    const double raw = CalibrationRaw(c, value, scale);
    return c.isOffset ? raw >= -32768 && raw <= 32767 : raw >= 0 && raw <= 65535;
}

} // namespace fieldtext
