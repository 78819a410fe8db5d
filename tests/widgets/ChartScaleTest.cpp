#include "widgets/ChartScale.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(RoundedStep, StepsAndLabelFormats)
{
    // Power ranges the chart really gets: 0..5500 at start, 0..1.2 x rating.
    SRoundedStep step = RoundedStep(0, 6000);
    EXPECT_DOUBLE_EQ(step.dStep, 1000);
    EXPECT_EQ(step.strFormat, "%3.1f");

    step = RoundedStep(0, 10);
    EXPECT_DOUBLE_EQ(step.dStep, 1);
    EXPECT_EQ(step.strFormat, "%2.0f");

    step = RoundedStep(0, 1200);
    EXPECT_DOUBLE_EQ(step.dStep, 150);
    EXPECT_EQ(step.strFormat, "%3.1f");

    step = RoundedStep(0, 3600); // 1.2 x 3000 W
    EXPECT_DOUBLE_EQ(step.dStep, 500);

    // Small ranges: decimals follow the step.
    step = RoundedStep(0, 0.2);
    EXPECT_NEAR(step.dStep, 0.02, 1e-12);
    EXPECT_EQ(step.strFormat, "%4.2f");

    step = RoundedStep(0, 25);
    EXPECT_DOUBLE_EQ(step.dStep, 2.5);
    EXPECT_EQ(step.strFormat, "%3.1f");

    // A mantissa past 5 rounds up to the next power of ten.
    step = RoundedStep(0, 7);
    EXPECT_DOUBLE_EQ(step.dStep, 1);
    EXPECT_EQ(step.strFormat, "%2.0f");
}

TEST(RoundedStep, OneAndAHalfStepsKeepTheirHalf)
{
    // 0..15 ticks at 1.5, 3.0, 4.5: without a decimal they would read 2, 3, 4.
    SRoundedStep step = RoundedStep(0, 15);
    EXPECT_DOUBLE_EQ(step.dStep, 1.5);
    EXPECT_EQ(step.strFormat, "%3.1f");

    step = RoundedStep(0, 1.5);
    EXPECT_NEAR(step.dStep, 0.15, 1e-12);
    EXPECT_EQ(step.strFormat, "%4.2f");
}

TEST(RoundedStep, TimeStepsOverAnHourAreWholeHours)
{
    EXPECT_DOUBLE_EQ(TimeAxisStep(0, 60), 10);
    EXPECT_DOUBLE_EQ(TimeAxisStep(0, 600), 60);   // 100 -> 60
    EXPECT_DOUBLE_EQ(TimeAxisStep(0, 1440), 120); // 150 -> 120
    EXPECT_DOUBLE_EQ(TimeAxisStep(0, 5000), 480); // 500 -> 480
    EXPECT_DOUBLE_EQ(TimeAxisStep(600, 800), 20);
    // An absurd range stays a finite whole number of hours.
    const double dHuge = TimeAxisStep(0, 1e300);
    EXPECT_TRUE(std::isfinite(dHuge));
    EXPECT_GT(dHuge, 1e290);
}

TEST(TruncToInt, DropsTheFractionAndStaysDefined)
{
    EXPECT_EQ(TruncToInt(2.9), 2);
    EXPECT_EQ(TruncToInt(-2.9), -2);
    EXPECT_EQ(TruncToInt(1e300), 1000000000);
    EXPECT_EQ(TruncToInt(-1e300), -1000000000);
    EXPECT_EQ(TruncToInt(std::nan("")), 0);
}
