#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/RegisterScale.h"

TEST(RegisterScale, DisplayRule)
{
    EXPECT_EQ(FormatScaledValue(50, 0.1f), "500");
    EXPECT_EQ(FormatScaledValue(5000, 100), "50.00");
    EXPECT_EQ(FormatScaledValue(65526, -10), "-1.0");
    EXPECT_EQ(FormatScaledValue(1234, 0), "");
    EXPECT_EQ(FormatScaledValue(2305, 10), "230.5");
    EXPECT_EQ(FormatScaledValue(1234, 1000), "1.234");
    EXPECT_EQ(FormatScaledValue(65535, 1), "65535");
    EXPECT_EQ(FormatScaledValue(65535, -1), "-1"); // outside every table: shown signed
    EXPECT_EQ(FormatScaledValue(65436, -100), "-1.00");
    EXPECT_EQ(FormatScaledValue(5, 10), "0.5"); // "%3.1f"
    EXPECT_EQ(FormatScaledValue(65535, 0.1f), "655350");
    EXPECT_EQ(FormatScaledValue(7, 5), ""); // no display rule
    EXPECT_EQ(FormatScaledValue(7, std::numeric_limits<float>::quiet_NaN()), "");
    EXPECT_EQ(FormatScaledValue(7, std::numeric_limits<float>::infinity()), "");
}

TEST(RegisterScale, EncodingRules)
{
    EXPECT_EQ(EncodeScaledValue(0.83, 100), 83);
    EXPECT_EQ(EncodeScaledValue(0.83f, 100), 83); // a float page variable
    EXPECT_EQ(EncodeScaledValue(500, 0.1f), 50);  // 500 ms in units of 10 ms
    EXPECT_EQ(EncodeScaledValue(230.46, 10), 2305);
    EXPECT_EQ(EncodeScaledValue(70000, 1), 70000 - 65536); // beyond 16 bits keeps the low 16 bits
    EXPECT_EQ(EncodeSignedScaledValue(-2.5, -10), 65511);  // -25
    EXPECT_EQ(EncodeSignedScaledValue(2.5, -10), 25);
    EXPECT_EQ(EncodeSignedScaledValue(-0.04, 10), 0);
    EXPECT_EQ(EncodeSignedScaledValue(-30, 10), 65536 - 300);

    // Values that are not finite are refused; huge finite ones stay defined.
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(EncodeScaledValue(bad, 10).has_value());
        EXPECT_FALSE(EncodeSignedScaledValue(bad, 10).has_value());
    }
    EXPECT_FALSE(EncodeScaledValue(1, std::numeric_limits<float>::infinity()).has_value());
    EXPECT_EQ(EncodeScaledValue(1e300, 10), 0); // a multiple of 65536
    // Finite, but the product with the scale overflows: refused too.
    EXPECT_FALSE(EncodeScaledValue(1e308, 10).has_value());
    EXPECT_FALSE(EncodeSignedScaledValue(-1e308, -10).has_value());
    EXPECT_EQ(EncodeSignedScaledValue(-65536.0 * 65536.0 * 65536.0 - 3, 1), 65533);
}

TEST(RegisterScale, LookupInBothNumberings)
{
    ASSERT_TRUE(ScaleTablesAreFull());
    // Protocol types 0 and 1: indices 0 to 142.
    EXPECT_EQ(GetRegisterScale(0, 0), 0);
    EXPECT_EQ(GetRegisterScale(0, 21), 100);
    EXPECT_EQ(GetRegisterScale(1, 50), 0.1f);
    EXPECT_EQ(GetRegisterScale(1, 140), 10);
    EXPECT_EQ(GetRegisterScale(0, 142), 1);
    EXPECT_EQ(GetRegisterScale(0, 143), -1);
    EXPECT_EQ(GetRegisterScale(1, -1), -1);
    EXPECT_EQ(GetRegisterScale(0, 40101), -1);

    // Protocol type 2: eleven blocks, 366 entries, in order and apart.
    const SRegisterBlock* blocks = ScaleBlocks();
    int total = 0;
    for (int b = 0; b < kScaleBlockCount; ++b) {
        total += blocks[b].nCount;
        if (b > 0) {
            EXPECT_GT(blocks[b].nStart, blocks[b - 1].nStart + blocks[b - 1].nCount - 1);
        }
    }
    EXPECT_EQ(total, kAddressScaleEntries);
    EXPECT_EQ(total, 366);
    for (int b = 0; b < kScaleBlockCount; ++b) {
        EXPECT_EQ(GetRegisterScale(2, blocks[b].nStart - 1), -1) << blocks[b].nStart;
        EXPECT_EQ(GetRegisterScale(2, blocks[b].nStart + blocks[b].nCount), -1) << blocks[b].nStart;
    }
    EXPECT_EQ(GetRegisterScale(2, 30001), 10);
    EXPECT_EQ(GetRegisterScale(2, 30036), 0.1f);
    EXPECT_EQ(GetRegisterScale(2, 31019), -1); // signed DCI, inside its block
    EXPECT_EQ(GetRegisterScale(2, 40101), 10);
    EXPECT_EQ(GetRegisterScale(2, 40109), 0);
    EXPECT_EQ(GetRegisterScale(2, 40404), 100);
    EXPECT_EQ(GetRegisterScale(2, 40411), 1); // alternating 1 / 100
    EXPECT_EQ(GetRegisterScale(2, 40430), 100);
    EXPECT_EQ(GetRegisterScale(2, 40440), 100);
    EXPECT_EQ(GetRegisterScale(2, 40520), 1);
    EXPECT_EQ(GetRegisterScale(2, 41002), -1);
    EXPECT_EQ(GetRegisterScale(2, 41010), -100);
    EXPECT_EQ(GetRegisterScale(2, 41054), -100);
    EXPECT_EQ(GetRegisterScale(2, 41062), 0);
    EXPECT_EQ(GetRegisterScale(2, 41063), 10);
    EXPECT_EQ(GetRegisterScale(2, 41064), -1);
    EXPECT_EQ(GetRegisterScale(2, 41065), 1);
    EXPECT_EQ(GetRegisterScale(2, 41110), 10);
    EXPECT_EQ(GetRegisterScale(2, 41112), 0);
    EXPECT_EQ(GetRegisterScale(2, 41114), 1);
    EXPECT_EQ(GetRegisterScale(2, 41127), 0);
    EXPECT_EQ(GetRegisterScale(2, 0), -1);
    EXPECT_EQ(GetRegisterScale(2, 41201), -1);
}
