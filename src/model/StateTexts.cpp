#include "model/StateTexts.h"

#include <iterator>

#include "link/ProtocolTable.h"

namespace {

// Fixed-width, zero-padded entries: an empty entry is all zeros.
// clang-format off
constexpr char16_t kCatalogueA[36][20] = {
    u"2.5V Ref Fault",   // 0
    u"SCI1 Damaged",     // 1
    u"Not Consistent",   // 2
    u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", // 3 to 12
    u"Auto test failed", // 13
    u"Auto test failed", // 14
    u"Please Initial",   // 15
    u"Relay Damaged",    // 16
    u"EEPROM Damaged",   // 17
    u"GFCI Damaged",     // 18
    u"Sensor Damaged",   // 19
    u"SCI2 Damaged",     // 20
    u"Disconnect Grid",  // 21
    u"Low  Isolation",   // 22 (two spaces)
    u"High Ground I",    // 23
    u"High DC INJ",      // 24
    u"High PV Voltage",  // 25
    u"High Bus Voltage", // 26
    u"Grid V Fault",     // 27
    u"Grid F Fault",     // 28
    u"High Temperature", // 29
    u"", u"",            // 30, 31
    u"Waiting",          // 32
    u"Inverting",        // 33
    u"Warning",          // 34
    u"Fault",            // 35
};

constexpr char16_t kCatalogueB[38][30] = {
    u"",                          // 0
    u"Inner com fault 2",         // 1
    u"Autotest failure",          // 2
    u"Grid voltage fault",        // 3
    u"Grid frequency fault",      // 4
    u"Disconnect grid",           // 5
    u"Radiator too hot",          // 6
    u"VBus abnormal",             // 7
    u"PV2 voltage high",          // 8
    u"PV1 voltage high",          // 9
    u"DC too hot",                // 10
    u"AC too hot",                // 11
    u"Inner com fault 1",         // 12
    u"DCI high",                  // 13
    u"AC short circuit",          // 14
    u"High leak current",         // 15
    u"", u"", u"", u"",           // 16 to 19
    u"Boost fault",               // 20
    u"PV2 insulation low",        // 21
    u"PV1 insulation low",        // 22
    u"Not consistent",            // 23
    u"Relay fault",               // 24
    u"AD ref fault",              // 25
    u"EEPROM damaged",            // 26
    u"DC2 current sensor fault",  // 27
    u"DC2 current sensor fault",  // 28
    u"Hall sensor fault",         // 29
    u"Leak current detect fault", // 30
    u"Initial par fault",         // 31
    u"Standby",                   // 32
    u"Inverting",                 // 33
    u"Fault",                     // 34
    u"Connecting",                // 35
    u"Power off",                 // 36
    u"Waiting",                   // 37
};
// clang-format on

template <std::size_t N, std::size_t W> std::u16string Entry(const char16_t (&table)[N][W], int entry)
{
    if (entry < 0 || entry >= static_cast<int>(N))
        return {};
    return std::u16string(table[entry]); // up to the first zero unit
}

} // namespace

std::u16string GetCatalogueEntry(int entry, int protocolType)
{
    return UsesAddressNumbering(protocolType) ? Entry(kCatalogueB, entry) : Entry(kCatalogueA, entry);
}

std::vector<std::u16string> GetFaultTexts(std::uint32_t faultWord, int protocolType)
{
    std::vector<std::u16string> lines;
    for (int bit = 0; bit < 32; ++bit)
        if (faultWord & (1u << bit))
            lines.push_back(GetCatalogueEntry(bit, protocolType));
    return lines;
}

std::optional<SStateText> GetStateText(std::uint32_t stateCode, int protocolType)
{
    if (UsesAddressNumbering(protocolType)) {
        struct SRow {
            std::uint32_t dwCode;
            int nEntry;
            int nIcon;
        };
        static constexpr SRow kRows[] = {
            {0, 32, kIconLampGrey},   {1, 33, kIconLampGreen},  {2, 35, kIconLampYellow},
            {4, 36, kIconLampYellow}, {8, 37, kIconLampYellow}, {128, 34, kIconLampRed},
        };
        for (const SRow& row : kRows)
            if (row.dwCode == stateCode)
                return SStateText{GetCatalogueEntry(row.nEntry, 2), row.nIcon};
        return std::nullopt;
    }
    static constexpr int kIcons[] = {kIconLampGrey, kIconLampGreen, kIconLampYellow, kIconLampRed};
    if (stateCode >= std::size(kIcons))
        return std::nullopt;
    return SStateText{GetCatalogueEntry(32 + static_cast<int>(stateCode), protocolType), kIcons[stateCode]};
}

std::string Utf8FromUtf16(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}
