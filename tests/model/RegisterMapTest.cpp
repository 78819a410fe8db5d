#include "model/RegisterMap.h"

#include "link/InverterCom.h"

#include <gtest/gtest.h>

TEST(RegisterMap, IndexMapRatings)
{
    // Model code 30: 3000 W is sold as 2800 W, but the axis and the history
    // name use the plain code.
    EXPECT_EQ(RatedPower(0, 30), 2800);
    EXPECT_EQ(PowerAxisMaximum(0, 30), 3600);
    EXPECT_EQ(HistoryRating(0, 30), 3000);
    EXPECT_EQ(RatedPower(1, 50), 4900);
    EXPECT_EQ(PowerAxisMaximum(1, 50), 6000);
    EXPECT_EQ(RatedPower(1, 36), 3600);
    // Not read yet.
    EXPECT_EQ(RatedPower(0, 0), 0);
    EXPECT_EQ(PowerAxisMaximum(0, 0), 0);
}

TEST(RegisterMap, AddressMapRatingsByTopNibble)
{
    EXPECT_EQ(RatedPower(2, 0x2000), 2500);
    EXPECT_EQ(RatingLabel(0x2000), "2.5K");
    EXPECT_EQ(PowerAxisMaximum(2, 0x2000), 3000);
    EXPECT_EQ(HistoryRating(2, 0x2000), 2500);
    // Below 0x1000, and before anything was read.
    EXPECT_EQ(RatedPower(2, 0x0FFF), 1500);
    EXPECT_EQ(RatedPower(2, 0), 1500);
    EXPECT_EQ(RatingLabel(0), "1.5K");
    EXPECT_EQ(PowerAxisMaximum(2, 0), 1800);
    EXPECT_EQ(RatedPower(2, 0x8ABC), 5000);
    EXPECT_EQ(RatingLabel(0x7000), "4.6K");
    // Only the low word counts: the high word of the model-code pair does not.
    EXPECT_EQ(RatedPower(2, 0x12000), 2500);
    EXPECT_EQ(PowerAxisMaximum(2, 0x55000), 4320);
}

TEST(RegisterMap, UnknownModelCountsAsTheLargestButHasNoLabel)
{
    for (int code : {0x9000, 0xA123, 0xFFFF}) {
        EXPECT_EQ(RatedPower(2, code), 5000) << code;
        EXPECT_EQ(PowerAxisMaximum(2, code), 6000) << code;
        EXPECT_EQ(HistoryRating(2, code), 5000) << code;
        EXPECT_EQ(RatingLabel(code), "") << code;
    }
}

TEST(RegisterMap, VersionText)
{
    EXPECT_EQ(FormatVersionText(805), "V8.05");
    EXPECT_EQ(FormatVersionText(500), "V5.00");
    EXPECT_EQ(FormatVersionText(7), "V0.07");
    EXPECT_EQ(FormatVersionText(65535), "V655.35");
    EXPECT_FLOAT_EQ(ApplyVersionException(23, 10.0f, FormatVersionText(811)), 1.0f);
    EXPECT_FLOAT_EQ(ApplyVersionException(24, 10.0f, "V8.11"), 10.0f);
}

TEST(RegisterMap, PollBlocks)
{
    auto block = [](int type, int step) {
        const auto b = PollStepBlock(type, step);
        return b ? std::pair(b->nStart, b->nCount) : std::pair(-1, -1);
    };
    EXPECT_EQ(block(0, 0), std::pair(44, 2));
    EXPECT_EQ(block(1, 1), std::pair(11, 31));
    EXPECT_EQ(block(0, 2), std::pair(-1, -1));
    EXPECT_EQ(block(2, 0), std::pair(-1, -1));
    EXPECT_EQ(block(2, 1), std::pair(40007, 3));
    EXPECT_EQ(block(2, 2), std::pair(40001, 2));
    EXPECT_EQ(block(2, 3), std::pair(30001, 20));
    EXPECT_EQ(block(2, 4), std::pair(30021, 17));
    EXPECT_EQ(block(2, 5), std::pair(31001, 20));
    EXPECT_EQ(block(2, 6), std::pair(-1, -1));

    // Every running-data register lies inside a block the cycle reads.
    for (int type : {0, 2}) {
        for (int reg = 1; reg < 45000; ++reg) {
            const SRegisterRule* rule = type == 2 ? FindAddressRule(reg) : FindIndexRule(reg);
            if (rule == nullptr || rule->nRegister == 44 || rule->nRegister == 40002 || rule->nRegister == 40001)
                continue;
            bool covered = false;
            for (int step = 1; step <= 5; ++step)
                if (auto b = PollStepBlock(type, step))
                    covered |= reg >= b->nStart && reg < b->nStart + b->nCount;
            EXPECT_TRUE(covered) << reg;
        }
    }
}
