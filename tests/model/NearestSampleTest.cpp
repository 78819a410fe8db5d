#include "model/NearestSample.h"

#include <gtest/gtest.h>
#include <vector>

TEST(NearestSample, NoneAtTheEdges)
{
    const std::vector<std::uint32_t> one{5000};
    EXPECT_EQ(FindNearestSample(one.data(), one.size(), 0.5), -1);

    const std::vector<std::uint32_t> times{0, 60000, 120000};
    EXPECT_EQ(FindNearestSample(times.data(), times.size(), 0.0), -1);
    EXPECT_EQ(FindNearestSample(times.data(), times.size(), -1.0), -1);
    EXPECT_EQ(FindNearestSample(times.data(), times.size(), 2.0), -1); // not below the last minute
    EXPECT_EQ(FindNearestSample(times.data(), times.size(), 3.0), -1);
}

TEST(NearestSample, NearerNeighbourWinsAndTiesGoLater)
{
    // Uneven spacing so the proportional guess lands on the wrong side.
    const std::vector<std::uint32_t> times{1000, 1000 + 30000, 1000 + 40000, 1000 + 50000, 1000 + 600000};
    EXPECT_EQ(FindNearestSample(times.data(), times.size(), 0.2), 0);  // 12 s: nearer to 0 than 30 s
    EXPECT_EQ(FindNearestSample(times.data(), times.size(), 0.25), 1); // 15 s: a tie, the later one
    EXPECT_EQ(FindNearestSample(times.data(), times.size(), 0.7), 2);  // 42 s
    EXPECT_EQ(FindNearestSample(times.data(), times.size(), 5.0), 3);  // 300 s: nearer to 50 s
    EXPECT_EQ(FindNearestSample(times.data(), times.size(), 9.0), 4);  // 540 s: nearer to 600 s
}

TEST(NearestSample, CountsAcrossTheTickWrap)
{
    const std::vector<std::uint32_t> times{0xFFFFF000u, 0xFFFFF000u + 60000u, 0xFFFFF000u + 120000u};
    EXPECT_DOUBLE_EQ(SampleMinute(times.data(), 2), 2.0);
    EXPECT_EQ(FindNearestSample(times.data(), times.size(), 1.1), 1);
}
