#include "model/StateTexts.h"

#include <gtest/gtest.h>

using Lines = std::vector<std::u16string>;

TEST(StateTexts, FaultListsInBitOrder)
{
    EXPECT_EQ(GetFaultTexts((1u << 0) | (1u << 21), 0), (Lines{u"2.5V Ref Fault", u"Disconnect Grid"}));
    EXPECT_EQ(GetFaultTexts(3, 2), (Lines{u"", u"Inner com fault 2"}));
    EXPECT_EQ(GetFaultTexts(0, 0), Lines{});
    EXPECT_EQ(GetFaultTexts(1u << 22, 1), Lines{u"Low  Isolation"});
    EXPECT_EQ(GetFaultTexts(0xC0000000u, 0), (Lines{u"", u""}));
    EXPECT_EQ(GetFaultTexts(0x80000000u, 2), Lines{u"Initial par fault"});
    EXPECT_EQ(GetFaultTexts(0xFFFFFFFFu, 2).size(), 32u);
}

TEST(StateTexts, CatalogueEntriesAndWidths)
{
    EXPECT_EQ(GetCatalogueEntry(35, 1), u"Fault");
    EXPECT_EQ(GetCatalogueEntry(35, 2), u"Connecting");
    EXPECT_EQ(GetCatalogueEntry(30, 2), u"Leak current detect fault");
    EXPECT_EQ(GetCatalogueEntry(27, 2), GetCatalogueEntry(28, 2));
    EXPECT_EQ(GetCatalogueEntry(13, 0), GetCatalogueEntry(14, 0));
    EXPECT_EQ(GetCatalogueEntry(5, 0), u"");
    // Past either end: empty, never a read outside the table.
    EXPECT_EQ(GetCatalogueEntry(36, 0), u"");
    EXPECT_EQ(GetCatalogueEntry(37, 2), u"Waiting");
    EXPECT_EQ(GetCatalogueEntry(38, 2), u"");
    EXPECT_EQ(GetCatalogueEntry(-1, 2), u"");
    // Every entry fits its fixed width with its terminating zero.
    for (int e = 0; e < 40; ++e) {
        EXPECT_LT(GetCatalogueEntry(e, 0).size(), 20u);
        EXPECT_LT(GetCatalogueEntry(e, 2).size(), 30u);
    }
}

TEST(StateTexts, RunningStateAndLamp)
{
    EXPECT_EQ(GetStateText(0, 0), (SStateText{u"Waiting", kIconLampGrey}));
    EXPECT_EQ(GetStateText(1, 1), (SStateText{u"Inverting", kIconLampGreen}));
    EXPECT_EQ(GetStateText(2, 0), (SStateText{u"Warning", kIconLampYellow}));
    EXPECT_EQ(GetStateText(3, 1), (SStateText{u"Fault", kIconLampRed}));
    EXPECT_EQ(GetStateText(4, 1), std::nullopt);
    EXPECT_EQ(GetStateText(0xFFFFFFFFu, 0), std::nullopt);

    EXPECT_EQ(GetStateText(0, 2), (SStateText{u"Standby", kIconLampGrey}));
    EXPECT_EQ(GetStateText(1, 2), (SStateText{u"Inverting", kIconLampGreen}));
    EXPECT_EQ(GetStateText(2, 2), (SStateText{u"Connecting", kIconLampYellow}));
    EXPECT_EQ(GetStateText(4, 2), (SStateText{u"Power off", kIconLampYellow}));
    EXPECT_EQ(GetStateText(8, 2), (SStateText{u"Waiting", kIconLampYellow}));
    EXPECT_EQ(GetStateText(128, 2), (SStateText{u"Fault", kIconLampRed}));
    for (std::uint32_t code : {3u, 5u, 16u, 129u, 256u})
        EXPECT_EQ(GetStateText(code, 2), std::nullopt) << code;
}
