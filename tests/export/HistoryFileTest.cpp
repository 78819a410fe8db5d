#include "export/HistoryFile.h"
#include "platform/WallClock.h"

#include <gtest/gtest.h>

namespace {

std::int64_t Local(int year, int month, int day, int hour, int minute, int second)
{
    return platform::FromLocal(year, month, day, hour, minute, second);
}

} // namespace

TEST(HistoryFile, NameFromSerialRatingAndCurveStart)
{
    EXPECT_EQ(HistoryFileName("123456789012", 3000, Local(2013, 1, 8, 7, 5, 42)),
              "123456789012,3000,2013-01-08 07-05.xls");
    EXPECT_EQ(HistoryFileName("000000000000", 0, Local(2024, 12, 31, 23, 59, 0)),
              "000000000000,0,2024-12-31 23-59.xls");
}

// Half-bytes 10 to 15 show as ':' to '?' in the serial text; the file name
// carries their hexadecimal digits instead, and nothing else changes.
TEST(HistoryFile, SerialHalfBytesAboveNineBecomeHexDigits)
{
    EXPECT_EQ(HistoryFileName("12:;<=>?9012", 2800, Local(2013, 1, 8, 7, 5, 0)),
              "12ABCDEF9012,2800,2013-01-08 07-05.xls");
    EXPECT_EQ(HistoryFileName("@9", 1500, Local(2013, 1, 8, 7, 5, 0)).substr(0, 2), "@9");
}

TEST(HistoryFile, FolderBesideTheProgram)
{
    EXPECT_EQ(HistoryFolder("/opt/zelvan/"), "/opt/zelvan/hisdata/");
    EXPECT_EQ(HistoryFolder("/opt/zelvan"), "/opt/zelvan/hisdata/");
}
