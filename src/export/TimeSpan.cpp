#include "export/TimeSpan.h"

#include "platform/WallClock.h"

SClockTime MinuteToClock(std::int64_t tmBase, double dMinute)
{
    const platform::LocalTime t = platform::ToLocal(tmBase + static_cast<std::int64_t>(dMinute * 60));
    return {t.nHour, t.nMinute};
}

int ClockToMinute(std::int64_t tmBase, int nHour, int nMinute)
{
    const platform::LocalTime base = platform::ToLocal(tmBase);
    return (nHour - base.nHour) * 60 + nMinute - base.nMinute;
}

int ExportStepOfChoice(int nChoice)
{
    static constexpr int kSteps[] = {0, 1, 5, 10};
    return nChoice >= 0 && nChoice < 4 ? kSteps[nChoice] : 0;
}
