#include "model/RegisterMap.h"

#include "link/InverterCom.h"
#include "model/DaySamples.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

// Sorted by register so a lookup is a binary search.
constexpr SRegisterRule kIndexMap[] = {
    {11, kKindWord, kSeriesUdc, true},
    {15, kKindWord, kSeriesUac, false},
    {21, kKindWord, kSeriesFreq, false},
    {22, kKindLatch, -1, false},
    {23, kKindPair, kSeriesPac, false},
    {24, kKindWord, kSeriesEtoday, false},
    {25, kKindLatch, -1, false},
    {26, kKindPair, kSeriesEtotal, false},
    {27, kKindLatch, -1, false},
    {28, kKindPairWhole, kSeriesTtoday, false},
    {29, kKindLatch, -1, false},
    {30, kKindPairWhole, kSeriesTtotal, false},
    {31, kKindWord, kSeriesTemp, false},
    {32, kKindWordWhole, kSeriesIacShift, false},
    {35, kKindSignedWord, kSeriesDci, false},
    {39, kKindFaultHigh, -1, false},
    {40, kKindBitWord, kSeriesState1, false},
    {41, kKindInteger, kSeriesState2, false},
    {44, kKindModelCode, -1, false},
};

constexpr SRegisterRule kAddressMap[] = {
    {30001, kKindWord, kSeriesUdc, true},
    {30007, kKindWord, kSeriesUac, false},
    {30013, kKindWord, kSeriesFreq, false},
    {30017, kKindLatch, -1, false},
    {30018, kKindPair, kSeriesPac, false},
    {30019, kKindLatch, -1, false},
    {30020, kKindPair, kSeriesEtoday, false},
    {30021, kKindLatch, -1, false},
    {30022, kKindPair, kSeriesEtotal, false},
    {30023, kKindWordWhole, kSeriesTtoday, false},
    {30024, kKindLatch, -1, false},
    {30025, kKindPairWhole, kSeriesTtotal, false},
    {30026, kKindInteger, kSeriesState2, false},
    {30027, kKindFaultHigh, -1, false},
    {30028, kKindBitWord, kSeriesState1, false},
    {30032, kKindWord, kSeriesTemp, false},
    {30036, kKindInteger, kSeriesInsulation, false},
    {31019, kKindSignedWord, kSeriesDci, false},
    {40001, kKindLatch, -1, false},
    {40002, kKindModelCodePair, -1, false},
};

template <std::size_t N> const SRegisterRule* FindRule(const SRegisterRule (&map)[N], int reg)
{
    const auto it = std::lower_bound(std::begin(map), std::end(map), reg,
                                     [](const SRegisterRule& r, int n) { return r.nRegister < n; });
    return it != std::end(map) && it->nRegister == reg ? it : nullptr;
}

// The address map rates by the top four bits of the model code's low word.
// Nibbles 9 to 15 name no known model and the link's lookup gives 0 for
// them. Rather than no rating (the gauge divides by it, the power axis would
// collapse to nothing, history files are named by it), they count as the
// largest model: the gauge and the axis then still cover whatever the unit
// delivers.
constexpr std::uint16_t kLargestModelCode = 0x8000;

int AddressRatedPower(int modelCode)
{
    const std::uint16_t code = static_cast<std::uint16_t>(modelCode);
    const int watts = RatedPowerFromModelCode(code);
    return watts != 0 ? watts : RatedPowerFromModelCode(kLargestModelCode);
}

} // namespace

const SRegisterRule* FindIndexRule(int reg)
{
    return FindRule(kIndexMap, reg);
}
const SRegisterRule* FindAddressRule(int reg)
{
    return FindRule(kAddressMap, reg);
}

float ApplyVersionException(int reg, float scale, std::string_view version)
{
    if (reg == 23 && (version == "V5.00" || version == "V8.05" || version == "V8.11"))
        return 1.0f;
    return scale;
}

int RatedPower(int protocolType, int modelCode)
{
    if (UsesAddressNumbering(protocolType))
        return AddressRatedPower(modelCode);
    const int watts = modelCode * 100;
    if (watts == 5000)
        return 4900;
    if (watts == 3000)
        return 2800;
    return watts;
}

int PowerAxisMaximum(int protocolType, int modelCode)
{
    if (UsesAddressNumbering(protocolType))
        return AddressRatedPower(modelCode) * 6 / 5;
    return modelCode * 120;
}

int HistoryRating(int protocolType, int modelCode)
{
    if (UsesAddressNumbering(protocolType))
        return AddressRatedPower(modelCode);
    return modelCode * 100;
}

std::string RatingLabel(int modelCode)
{
    return RatedPowerText(static_cast<std::uint16_t>(modelCode));
}
