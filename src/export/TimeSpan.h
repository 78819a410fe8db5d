#pragma once
#include <cstdint>

// The export and time-span dialogs show clock times but the chart and the
// export work in minutes after the chart's base time (the wall-clock time of
// the curve's first sample). Hours and minutes are those of local time.
struct SClockTime {
    int nHour = 0;
    int nMinute = 0;
};

// The clock time of minute m of the curve: base + (int64)(m * 60) seconds.
SClockTime MinuteToClock(std::int64_t tmBase, double dMinute);

// A clock time as minutes after the base's hour and minute; negative before
// the base.
int ClockToMinute(std::int64_t tmBase, int nHour, int nMinute);

// The export's row interval in minutes for the dialog's choice 0..3
// ("By second", "1Min", "5Min", "10Min").
int ExportStepOfChoice(int nChoice);
