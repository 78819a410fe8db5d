#include "link/Crc16.h"

#include <cstring>
#include <gtest/gtest.h>

TEST(Crc16, CheckValues)
{
    const char* text = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)), 0x4B37);

    std::uint8_t frame[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    EXPECT_EQ(Crc16(frame, 6), 0xCDC5);
    EXPECT_EQ(AppendCrc16(frame, 6), 8u);
    EXPECT_EQ(frame[6], 0xC5);
    EXPECT_EQ(frame[7], 0xCD);
    EXPECT_TRUE(CheckCrc16(frame, 8));
    frame[3] ^= 0x01;
    EXPECT_FALSE(CheckCrc16(frame, 8));
}
