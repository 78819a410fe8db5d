#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "params/ParameterCatalogue.h"

// The parameter page's field texts, free of the page: how a value is shown in
// a field, how a field's text is read back as a number, and whether a taken
// value fits the word it is written as. Every number goes through the C
// numeric locale the program runs in.
namespace fieldtext {

template <typename... Args>
std::string Printf(const char* format, Args... args)
{
    char text[64];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// A float variable as the page shows it: six significant digits.
std::string FloatText(double value);
// FormatScaledValue for a value of two registers.
std::string FormatScaledPair(std::uint32_t raw, float scale);
// Four BCD digits as their number / 100 (0x0805 shows 8.05).
std::string BcdVersionText(std::uint16_t word);

std::string Trimmed(const std::string& text);
// A number as the page's float fields take it: the whole text, blanks
// around it allowed, finite also as a 32-bit float.
bool ParseReal(const std::string& text, double& value);
enum class EParse { kOk, kNotNumber, kOutOfRange };
EParse ParseInteger(const std::string& text, long long& value);
// 1 to 12 decimal digits, blanks around them allowed.
bool ParseSerialDigits(const std::string& text, std::uint64_t& number);

// A range prompt of the string table with its bounds put in for %1 and %2.
std::string ReplaceBounds(unsigned nId, const std::string& low, const std::string& high);
std::string IntegerRangeText(double low, double high);
std::string RealRangeText(double low, double high);

bool IsIntegerKind(EValueKind kind);
bool IsNumericKind(EValueKind kind);
// An integer variable's value as the unsigned 32-bit number it is written as.
double AsUnsigned32(double value);
// The raw word a calibration value becomes, before the cut to 16 bits.
double CalibrationRaw(const SCalibrationParameter& c, double value, float scale);
bool CalibrationFits(const SCalibrationParameter& c, double value, float scale);

} // namespace fieldtext
