#include "widgets/ChartScale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kEpsilon = 2.220446e-16;

} // namespace

SRoundedStep RoundedStep(double dMin, double dMax)
{
    const double e = std::log10((dMax - dMin) / 10.0);
    double f = std::floor(e);
    const double r = e - f;

    double g = 1.0;
    if (r >= kEpsilon) {
        bool bFound = false;
        for (double candidate : {1.5, 2.0, 2.5, 5.0}) {
            if (std::log10(candidate) + kEpsilon >= r) {
                g = candidate;
                bFound = true;
                break;
            }
        }
        if (!bFound)
            f += 1.0;
    }

    SRoundedStep step;
    step.dStep = g * std::pow(10.0, f);
    step.nDecimals = f > 0 ? 1 : static_cast<int>(-f);
    if (g == 2.5)
        step.nDecimals += 1;
    // A 1.5 step below ten (1.5, 0.15, ...) needs one more decimal, or the
    // labels 1.5, 4.5 would print as 2 and 4.
    if (g == 1.5 && f <= 0)
        step.nDecimals += 1;

    char format[32];
    std::snprintf(format, sizeof format, "%%%i.%if", step.nDecimals + 2, step.nDecimals);
    step.strFormat = format;
    return step;
}

double TimeAxisStep(double dMinMinute, double dMaxMinute)
{
    double dStep = RoundedStep(dMinMinute, dMaxMinute).dStep;
    if (dStep > 60.0) {
        const double dWhole = std::floor(dStep);
        dStep = dWhole - std::fmod(dWhole, 60.0);
    }
    return dStep;
}

int TruncToInt(double d)
{
    constexpr double kLimit = 1.0e9;
    if (std::isnan(d))
        return 0;
    return static_cast<int>(std::clamp(d, -kLimit, kLimit));
}
