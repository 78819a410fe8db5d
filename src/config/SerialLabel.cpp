// The serial-label decoder of ConfigWorkbook: turns the 10-character label
// printed on older inverters into the 12-digit serial number.
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>

#include "config/ConfigWorkbook.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

const char* RatingText(char c)
{
    switch (c) {
    case '1':
        return "1.5K";
    case '2':
        return "2K";
    case '3':
        return "2.8K";
    case '4':
        return "4K";
    case '5':
        return "5K";
    default:
        return "";
    }
}

// Model name of a 2010-layout label, from its characters 0 to 2.
std::string ModelNameOf2010Label(const std::string& label)
{
    const char family = label[2];
    const char rating = label[1];
    std::string name;
    if (family == 'S') {
        name = std::string("K") + RatingText(rating);
        if (label[0] == 'A')
            name += "(A)";
        else if (label[0] == 'V')
            name += "(V)";
    } else if (family == 'C') {
        name = std::string("Orvik ") + RatingText(rating);
    } else if (family == 'I') {
        name = std::string("Quillon Solar ") + RatingText(rating);
    } else if (family == 'A') {
        static const char* const kPowers[5] = {"1750", "2330", "3180", "4600", "5200"};
        name = "M";
        if (rating >= '1' && rating <= '5')
            name += kPowers[rating - '1'];
    }
    return name;
}

int MonthOf(char c)
{
    if (c >= '1' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'C')
        return 10 + (c - 'A');
    return 1;
}

} // namespace

int ConfigWorkbook::LookupModelCode(const std::string& text, int year) const
{
    int column = -1;
    if (year == 2011)
        column = kModelCodeOld;
    else if (year == 2010)
        column = kModelName;
    if (column < 0)
        return kNoModelCode;
    const std::vector<std::string>& keys = m_vModelTable[static_cast<std::size_t>(column)];
    for (std::size_t row = 0; row < keys.size(); ++row) {
        if (!HasModelCell(row, column) || keys[row] != text)
            continue;
        double code = 0;
        if (!HasModelCell(row, kModelCode) || !ParseCellNumber(m_vModelTable[kModelCode][row], code))
            return -1;
        code = std::trunc(code);
        if (code < INT_MIN || code > INT_MAX)
            return -1;
        return static_cast<int>(code);
    }
    return kNoModelCode;
}

int ConfigWorkbook::DecodeSerialLabel(std::string& label) const
{
    if (label.size() != 10)
        return 0;
    int year = 0;
    int leading = 0;
    int code = 0;
    if (label[2] >= '1' && label[2] <= '9') {
        year = 2011;
        leading = label[2] - '0';
        code = LookupModelCode(label.substr(0, 2), 2011);
    } else {
        year = 2010;
        leading = 1;
        code = LookupModelCode(ModelNameOf2010Label(label), 2010);
    }
    // The number has room for three digits of model code (999: unknown).
    if (code < 0 || code > 999)
        return 0;

    const int month = MonthOf(label[4]);
    if (!IsDigit(label[5]) || !IsDigit(label[6]))
        return 0;
    int day = (label[5] - '0') * 10 + (label[6] - '0');
    for (int i = 7; i <= 9; ++i) {
        if (!IsDigit(label[static_cast<std::size_t>(i)]))
            return 0;
    }
    const int sequence = (label[7] - '0') * 100 + (label[8] - '0') * 10 + (label[9] - '0');

    // A day beyond the month becomes the 1st; February counts 28 days in the
    // 2011 layout and 29 in the 2010 layout. A day 0, or a date that does
    // not exist in the layout year (29 February 2010), cannot be decoded.
    using namespace std::chrono;
    const year_month yearMonth{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)}};
    const int monthLength =
        month == 2 ? (year == 2011 ? 28 : 29) : static_cast<int>(static_cast<unsigned>((yearMonth / last).day()));
    if (day > monthLength)
        day = 1;
    const year_month_day date = yearMonth / std::chrono::day{static_cast<unsigned>(day)};
    if (!date.ok())
        return 0;

    // Week of the year counted from Sundays, the first partial week being 0.
    const sys_days firstOfYear = std::chrono::year{year} / January / 1;
    const long d = (sys_days{date} - firstOfYear).count();
    const long week = (d + weekday{firstOfYear}.c_encoding()) / 7;
    const unsigned weekdayDigit = weekday{sys_days{date}}.iso_encoding(); // Monday 1 .. Sunday 7

    char text[48];
    std::snprintf(text, sizeof text, "%d%03d%02d%02ld%u%03d", leading, code, year - 2000, week, weekdayDigit, sequence);
    label = text;
    return year;
}
