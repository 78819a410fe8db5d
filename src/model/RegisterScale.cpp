#include "model/RegisterScale.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <span>

namespace {

static_assert(kScaleBlockCount <= kType2Blocks.size());

// Appends `count` copies of `scale`, or a list of scales, to a table under
// construction.
template <std::size_t N> struct CTableBuilder {
    std::array<float, N> table{};
    std::size_t size = 0;
    bool overflow = false;

    CTableBuilder& Repeat(float scale, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i)
            Put(scale);
        return *this;
    }
    CTableBuilder& List(std::initializer_list<float> scales)
    {
        for (float s : scales)
            Put(s);
        return *this;
    }
    void Put(float s)
    {
        if (size < N)
            table[size++] = s;
        else
            overflow = true;
    }
};

bool g_bIndexTableFull = false;
bool g_bAddressTableFull = false;

// clang-format off
// Parameter indices 0 to 142 (protocol types 0 and 1).
std::array<float, kIndexScaleEntries> BuildIndexTable()
{
    CTableBuilder<kIndexScaleEntries> b;
    b.Repeat(0, 1)                      // 0
        .Repeat(1, 3)                   // 1 - 3 serial number
        .Repeat(0, 7)                   // 4 - 10
        .Repeat(10, 10)                 // 11 - 20
        .Repeat(100, 1)                 // 21
        .Repeat(10, 5)                  // 22 - 26
        .Repeat(1, 4)                   // 27 - 30
        .Repeat(10, 1)                  // 31
        .Repeat(1, 10)                  // 32 - 41
        .Repeat(10, 3)                  // 42 - 44
        .Repeat(100, 1)                 // 45
        .List({10, 1, 10, 10})          // 46 - 49
        .List({0.1f, 0.1f, 10, 10})     // 50 - 53
        .List({0.1f, 0.1f, 100, 100})   // 54 - 57
        .List({0.1f, 0.1f, 100, 100})   // 58 - 61
        .List({0.1f, 0.1f})             // 62, 63
        .Repeat(1, 17)                  // 64 - 80
        .Repeat(10, 1)                  // 81
        .Repeat(1, 3)                   // 82 - 84
        .Repeat(0, 7)                   // 85 - 91
        .List({10, 1, 10, 10})          // 92 - 95
        .List({0.1f, 0.1f, 10, 10})     // 96 - 99
        .List({0.1f, 0.1f, 100, 100})   // 100 - 103
        .List({0.1f, 0.1f, 100, 100})   // 104 - 107
        .List({0.1f, 0.1f})             // 108, 109
        .Repeat(1, 12)                  // 110 - 121
        .Repeat(10, 16)                 // 122 - 137 calibration
        .List({1, 1, 10, 1, 1});        // 138 - 142
    g_bIndexTableFull = b.size == kIndexScaleEntries && !b.overflow;
    return b.table;
}

// The eleven blocks end to end (protocol type 2).
std::array<float, kAddressScaleEntries> BuildAddressTable()
{
    CTableBuilder<kAddressScaleEntries> b;
    // 30001/37 running data
    b.Repeat(10, 6)                           // 30001 - 30006 DC side
        .List({10, 10, 10, 100, 100, 100})    // 30007 - 30012 AC voltage, current
        .List({100, 100, 100, 100})           // 30013 - 30016 frequency
        .List({1, 1, 10, 10, 10, 10, 1, 1, 1}) // 30017 - 30025 power, energy, run time
        .Repeat(1, 6)                         // 30026 - 30031 state, faults
        .List({10, 10, 10, 1, 0.1f, 1});      // 30032 - 30037 temperatures, samples
    // 30201/100
    b.Repeat(1, 100);
    // 31001/28
    b.Repeat(10, 18)   // 31001 - 31018
        .List({-1})    // 31019 DCI (signed)
        .Repeat(1, 9); // 31020 - 31028
    // 40001/12
    b.Repeat(1, 12);
    // 40101/9
    b.List({10, 10, 1, 1, 1, 1, 1, 1, 0});
    // 40201/22
    b.List({1, 10, 10, 0.1f, 0.1f, 10, 10, 0.1f, 0.1f, 100, 100, 0.1f, 0.1f, 100, 100, 0.1f, 0.1f, 1})
        .Repeat(0, 4);
    // 40301/6
    b.Repeat(1, 6);
    // 40401/40
    b.List({1, 1, 10, 100, 100, 100, 1, 1, 100, 100});
    for (int i = 0; i < 10; ++i)
        b.List({1, 100});
    b.Repeat(100, 10);
    // 40501/20
    b.List({1, 100, 100, 0.1f, 0.1f, 100, 100, 100, 1, 100, 1, 0.1f, 100, 0.1f, 1, 100, 100, 1, 100, 1});
    // 41001/65 calibration
    b.List({10, -1, 0, 0, 0, 0, 10, -10, 10, -100, 10, -10, 10, -100, 10, -10, 0, 0, 10, -10, 0, 0, 0, 0, 10, -100,
            0, 0, 0, 0, 10, -1, 10, -10, 10, -10, 10, -10, 0, 0, 10, -10, 0, 0, 0, 0, 10, -10, 0, 0, 0, 0, 10, -100})
        .Repeat(0, 8)
        .List({10, -1, 1});
    // 41101/27
    b.Repeat(1, 9).List({10, 10, 0, 1, 1}).Repeat(0, 13);
    g_bAddressTableFull = b.size == kAddressScaleEntries && !b.overflow;
    return b.table;
}

// clang-format on

const std::array<float, kIndexScaleEntries> kIndexTable = BuildIndexTable();
const std::array<float, kAddressScaleEntries> kAddressTable = BuildAddressTable();

// Low 16 bits of an integral double, for any finite magnitude.
std::uint16_t LowWord(double integral)
{
    double r = std::fmod(integral, 65536.0);
    if (r < 0)
        r += 65536.0;
    return static_cast<std::uint16_t>(r);
}

} // namespace

bool ScaleTablesAreFull()
{
    return g_bIndexTableFull && g_bAddressTableFull;
}

const SRegisterBlock* ScaleBlocks()
{
    return kType2Blocks.data();
}

const float* IndexScaleTable()
{
    return kIndexTable.data();
}

const float* AddressScaleTable()
{
    return kAddressTable.data();
}

float GetRegisterScale(int protocolType, int reg)
{
    if (!UsesAddressNumbering(protocolType))
        return reg >= 0 && reg < kIndexScaleEntries ? kIndexTable[static_cast<std::size_t>(reg)] : -1.0f;
    int position = 0;
    for (const SRegisterBlock& block : std::span(kType2Blocks).first(kScaleBlockCount)) {
        if (reg >= block.nStart && reg < block.nStart + block.nCount)
            return kAddressTable[static_cast<std::size_t>(position + reg - block.nStart)];
        position += block.nCount;
    }
    return -1.0f;
}

std::string FormatScaledValue(std::uint16_t raw, float scale)
{
    if (!std::isfinite(scale))
        return std::string();
    const long m = std::lround(std::fabs(scale));
    const int value = scale < 0 ? static_cast<int>(static_cast<std::int16_t>(raw)) : static_cast<int>(raw);
    char text[32];
    if (m == 10 || m == 100 || m == 1000) {
        const char* format = m == 10 ? "%3.1f" : m == 100 ? "%3.2f" : "%3.3f";
        std::snprintf(text, sizeof text, format, static_cast<double>(value) / static_cast<double>(m));
    } else if (std::lround(std::fabs(scale * 10.0f)) == 1) {
        std::snprintf(text, sizeof text, "%d", value * 10);
    } else if (m == 1) {
        std::snprintf(text, sizeof text, "%d", value);
    } else {
        return std::string();
    }
    return text;
}

std::optional<std::uint16_t> EncodeScaledValue(double value, float scale)
{
    // A product that overflows is refused like a value that is not finite.
    const double scaled = value * static_cast<double>(scale) + 0.5;
    if (!std::isfinite(scaled))
        return std::nullopt;
    return LowWord(std::trunc(scaled));
}

std::optional<std::uint16_t> EncodeSignedScaledValue(double value, float scale)
{
    if (!std::isfinite(value) || !std::isfinite(scale))
        return std::nullopt;
    const double m = std::fabs(static_cast<double>(scale));
    const double scaled = value > 0 ? value * m + 0.5 : value * m - 0.5;
    if (!std::isfinite(scaled))
        return std::nullopt;
    return LowWord(std::trunc(scaled));
}
