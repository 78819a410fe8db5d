#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "outputs/EnergyStore.h"

// What the History tab shows, worked out without drawing: the period, its
// figures from the energy store, the value axis, the bars' places and the
// day curve split where minutes are missing. The view only paints this.

enum class EHistorySpan { kDay, kMonth, kYear };

int DaysInMonth(int year, int month);

// The period shown: a day, a month (nDay 1) or a year (nMonth, nDay 1).
struct SHistoryPeriod {
    EHistorySpan eSpan = EHistorySpan::kDay;
    int nYear = 1970;
    int nMonth = 1;
    int nDay = 1;

    static SHistoryPeriod Day(int y, int m, int d) { return {EHistorySpan::kDay, y, m, d}; }
    static SHistoryPeriod Month(int y, int m) { return {EHistorySpan::kMonth, y, m, 1}; }
    static SHistoryPeriod Year(int y) { return {EHistorySpan::kYear, y, 1, 1}; }
    // The same date seen as another span (a month keeps its year and month).
    SHistoryPeriod As(EHistorySpan span) const;
    // nSteps days, months or years later (earlier when negative); a day past
    // the end of the month it lands in becomes that month's last day.
    SHistoryPeriod Moved(int nSteps) const;
    // The same period a year before (29 February: the 28th).
    SHistoryPeriod YearBefore() const;
    // "2013-01-08", "2013-01", "2013".
    std::string Title() const;
    // The bars of a month (its days) or a year (12); 0 for a day.
    int Slots() const;
    bool operator==(const SHistoryPeriod&) const = default;
};

// A value axis starting at 0: its top (a whole number of steps at or above
// the largest value) and its step (RoundedStep's), with the label format.
struct SValueAxis {
    double dTop = 1.0;
    double dStep = 0.1;
    std::string strFormat = "%3.1f";
};
SValueAxis ValueAxis(double dMax);
// The pixel row of a value on an axis drawn from y1 (0) up to y0 (top), clamped.
int ValueY(double dValue, const SValueAxis& axis, int y0, int y1);

// Bar i of n side by side across [x0, x1): its left edge and width, a fifth
// of a slot left free between bars, at least one pixel wide.
struct SBarPlace {
    int nLeft = 0;
    int nWidth = 1;
};
SBarPlace BarPlace(int i, int n, int x0, int x1);
// The slot (0..n-1) under pixel column x, -1 outside.
int SlotAt(int x, int n, int x0, int x1);

// A reading of the day curve: the minute after local midnight, and watts.
struct SCurvePoint {
    double dMinute = 0.0;
    double dValue = 0.0;
};
// More than this many minutes without a reading is a gap the line does not cross.
constexpr double kMaxGapMinutes = 5.0;
// The curve in runs of readings no more than kMaxGapMinutes apart.
std::vector<std::vector<SCurvePoint>> SplitAtGaps(const std::vector<SCurvePoint>& points,
                                                  double dMaxGap = kMaxGapMinutes);

// A period's figures. Day: the output power curve (several inverters'
// minutes added up), the day's energy and peak. Month: a bar per day (kWh);
// year: a bar per month. Bars of days or months without readings are absent
// (bHas false), not zero.
struct SHistoryFigures {
    SHistoryPeriod period;
    bool bEmpty = true;        // no readings in the period
    double fTotalKwh = 0.0;    // the day's, month's or year's energy
    double fPeakW = 0.0;       // day: the highest output power
    std::int64_t tmPeak = 0;   // day: when it was first reached
    double fDayMinutes = 1440; // day: length of the local day (23 or 25 hours on a clock change)
    std::vector<std::vector<SCurvePoint>> curve;
    std::vector<double> bars; // by slot
    std::vector<bool> has;    // by slot: the bar has readings
    double Largest() const;   // the largest bar or curve value
};

// Reads the period from the store (short queries: a day's minutes, a month's
// day rows or a year's months). kFailed when the store could not answer.
[[nodiscard]] SStoreResult LoadHistoryFigures(CEnergyStore& store, const SHistoryPeriod& period,
                                              SHistoryFigures& out);
