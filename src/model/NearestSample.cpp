#include "model/NearestSample.h"

double SampleMinute(const std::uint32_t* times, std::size_t i)
{
    return static_cast<double>(static_cast<std::uint32_t>(times[i] - times[0])) / 60000.0;
}

int FindNearestSample(const std::uint32_t* times, std::size_t count, double t)
{
    if (count < 2 || !(t > 0.0))
        return -1;
    const double lastMinute = SampleMinute(times, count - 1);
    if (!(t < lastMinute))
        return -1;

    const double target = t * 60000.0;
    auto offset = [&](std::size_t i) { return static_cast<double>(static_cast<std::uint32_t>(times[i] - times[0])); };

    // Start from the proportional guess and walk to the bracketing pair
    // offset(i) <= target < offset(i + 1).
    std::size_t i = static_cast<std::size_t>(static_cast<double>(count - 1) * t / lastMinute);
    if (i > count - 2)
        i = count - 2;
    while (i > 0 && offset(i) > target)
        --i;
    while (i + 2 < count && offset(i + 1) <= target)
        ++i;

    const double below = target - offset(i);
    const double above = offset(i + 1) - target;
    return static_cast<int>(above <= below ? i + 1 : i);
}
