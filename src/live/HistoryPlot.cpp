#include "live/HistoryPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "platform/WallClock.h"
#include "widgets/ChartScale.h"

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 31;
    const bool bLeap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && bLeap ? 29 : kDays[month - 1];
}

SHistoryPeriod SHistoryPeriod::As(EHistorySpan span) const
{
    SHistoryPeriod p = *this;
    p.eSpan = span;
    return p;
}

SHistoryPeriod SHistoryPeriod::Moved(int nSteps) const
{
    SHistoryPeriod p = *this;
    switch (eSpan) {
    case EHistorySpan::kDay: {
        // Through noon of the local day, so a clock change cannot skip or repeat a day.
        const platform::LocalTime t =
            platform::ToLocal(platform::FromLocal(nYear, nMonth, nDay, 12, 0, 0) + std::int64_t{nSteps} * 86400);
        p.nYear = t.nYear;
        p.nMonth = t.nMonth;
        p.nDay = t.nDay;
        return p;
    }
    case EHistorySpan::kMonth: {
        const int nIndex = nYear * 12 + (nMonth - 1) + nSteps;
        p.nYear = nIndex / 12;
        p.nMonth = nIndex % 12 + 1;
        break;
    }
    case EHistorySpan::kYear:
        p.nYear += nSteps;
        break;
    }
    p.nDay = std::min(p.nDay, DaysInMonth(p.nYear, p.nMonth));
    return p;
}

SHistoryPeriod SHistoryPeriod::YearBefore() const
{
    SHistoryPeriod p = *this;
    p.nYear -= 1;
    p.nDay = std::min(p.nDay, DaysInMonth(p.nYear, p.nMonth));
    return p;
}

std::string SHistoryPeriod::Title() const
{
    char text[32];
    if (eSpan == EHistorySpan::kDay)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", nYear % 10000, nMonth % 100, nDay % 100);
    else if (eSpan == EHistorySpan::kMonth)
        std::snprintf(text, sizeof text, "%04d-%02d", nYear % 10000, nMonth % 100);
    else
        std::snprintf(text, sizeof text, "%04d", nYear % 10000);
    return text;
}

int SHistoryPeriod::Slots() const
{
    return eSpan == EHistorySpan::kMonth ? DaysInMonth(nYear, nMonth) : eSpan == EHistorySpan::kYear ? 12 : 0;
}

SValueAxis ValueAxis(double dMax)
{
    SValueAxis axis;
    if (!std::isfinite(dMax) || dMax <= 0.0)
        dMax = 1.0;
    const SRoundedStep step = RoundedStep(0.0, dMax);
    axis.dStep = step.dStep;
    axis.strFormat = step.strFormat;
    // A little headroom, so the largest bar does not touch the top.
    axis.dTop = std::ceil(dMax * 1.05 / step.dStep) * step.dStep;
    return axis;
}

int ValueY(double dValue, const SValueAxis& axis, int y0, int y1)
{
    const double dShare = std::clamp(dValue / axis.dTop, 0.0, 1.0);
    return y1 - TruncToInt(dShare * (y1 - y0));
}

SBarPlace BarPlace(int i, int n, int x0, int x1)
{
    SBarPlace place;
    if (n <= 0 || x1 <= x0)
        return place;
    const double dSlot = static_cast<double>(x1 - x0) / n;
    const double dLeft = x0 + i * dSlot + dSlot / 10.0;
    place.nLeft = static_cast<int>(std::lround(dLeft));
    place.nWidth = std::max(1, static_cast<int>(std::lround(dLeft + dSlot * 0.8)) - place.nLeft);
    return place;
}

int SlotAt(int x, int n, int x0, int x1)
{
    if (n <= 0 || x < x0 || x >= x1)
        return -1;
    return std::min(n - 1, static_cast<int>(static_cast<double>(x - x0) * n / (x1 - x0)));
}

std::vector<std::vector<SCurvePoint>> SplitAtGaps(const std::vector<SCurvePoint>& points, double dMaxGap)
{
    std::vector<std::vector<SCurvePoint>> runs;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0 || points[i].dMinute - points[i - 1].dMinute > dMaxGap)
            runs.emplace_back();
        runs.back().push_back(points[i]);
    }
    return runs;
}

double SHistoryFigures::Largest() const
{
    double d = 0.0;
    for (double v : bars)
        d = std::max(d, v);
    for (const auto& run : curve)
        for (const SCurvePoint& p : run)
            d = std::max(d, p.dValue);
    return d;
}

namespace {

SStoreResult LoadDay(CEnergyStore& store, SHistoryFigures& out)
{
    const SHistoryPeriod& p = out.period;
    std::vector<SEnergyMinute> minutes;
    SStoreResult r = store.MinutesOfDay(p.nYear, p.nMonth, p.nDay, minutes);
    if (!r.Ok())
        return r;
    std::vector<SEnergyDay> days;
    r = store.DaysOfMonth(p.nYear, p.nMonth, days);
    if (!r.Ok())
        return r;
    for (const SEnergyDay& d : days)
        if (d.nDay == p.nDay) {
            out.fTotalKwh = d.fEnergyKwh;
            out.fPeakW = d.fPeakW;
            out.tmPeak = d.tmPeak;
        }

    const std::int64_t tmMidnight = platform::FromLocal(p.nYear, p.nMonth, p.nDay, 0, 0, 0);
    const SHistoryPeriod next = p.Moved(1);
    out.fDayMinutes = static_cast<double>(platform::FromLocal(next.nYear, next.nMonth, next.nDay, 0, 0, 0) -
                                          tmMidnight) / 60.0;
    // Several inverters' readings of one minute add up to one point.
    std::map<std::int64_t, double> power;
    for (const SEnergyMinute& m : minutes)
        if (m.aValue[kSeriesPac])
            power[m.tmTime / 60] += *m.aValue[kSeriesPac];
    std::vector<SCurvePoint> points;
    points.reserve(power.size());
    for (const auto& [nMinute, dWatts] : power)
        points.push_back({static_cast<double>(nMinute * 60 - tmMidnight) / 60.0, dWatts});
    out.curve = SplitAtGaps(points);
    out.bEmpty = minutes.empty();
    return r;
}

} // namespace

SStoreResult LoadHistoryFigures(CEnergyStore& store, const SHistoryPeriod& period, SHistoryFigures& out)
{
    out = SHistoryFigures{};
    out.period = period;
    if (period.eSpan == EHistorySpan::kDay)
        return LoadDay(store, out);

    out.bars.assign(static_cast<std::size_t>(period.Slots()), 0.0);
    out.has.assign(out.bars.size(), false);
    SStoreResult r;
    if (period.eSpan == EHistorySpan::kMonth) {
        std::vector<SEnergyDay> days;
        r = store.DaysOfMonth(period.nYear, period.nMonth, days);
        for (const SEnergyDay& d : days) {
            if (d.nDay < 1 || d.nDay > period.Slots())
                continue;
            out.bars[d.nDay - 1] = d.fEnergyKwh;
            out.has[d.nDay - 1] = true;
            out.fTotalKwh += d.fEnergyKwh;
        }
    } else {
        std::vector<SEnergyMonth> months;
        r = store.MonthsOfYear(period.nYear, months);
        for (const SEnergyMonth& m : months) {
            if (m.nMonth < 1 || m.nMonth > 12)
                continue;
            out.bars[m.nMonth - 1] = m.fEnergyKwh;
            out.has[m.nMonth - 1] = true;
            out.fTotalKwh += m.fEnergyKwh;
        }
    }
    out.bEmpty = std::find(out.has.begin(), out.has.end(), true) == out.has.end();
    return r;
}
