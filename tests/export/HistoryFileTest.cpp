#include "export/HistoryFile.h"
#include "platform/WallClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

#ifndef _WIN32
// A program folder where the history cannot go (here: one that does not
// exist) sends it to the user's data folder.
TEST(HistoryFile, HomeBesideAWritableProgramElseInTheUsersDataFolder)
{
    const std::string dir = ::testing::TempDir();
    EXPECT_EQ(HistoryHome(dir), dir.back() == '/' ? dir : dir + "/");

    const char* oldXdg = std::getenv("XDG_DATA_HOME");
    const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    const std::string savedHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "/";
    const std::string missing = "/nonexistent-zelvan/bin";
    ::setenv("XDG_DATA_HOME", "/data/user", 1);
    EXPECT_EQ(HistoryHome(missing), "/data/user/zelvan/");
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    ::setenv("HOME", "/home/op", 1);
    EXPECT_EQ(HistoryHome(missing), "/home/op/.local/share/zelvan/");
    ::setenv("HOME", savedHome.c_str(), 1);
    if (oldXdg != nullptr)
        ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}
#endif
