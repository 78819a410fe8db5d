#include "support/EnergyDays.h"

#include <cmath>
#include <ctime>

#include "platform/WallClock.h"

std::vector<SEnergyMinute> MadeDayMinutes(const SMadeDay& day, const std::string& serial)
{
    constexpr int kFirst = 6 * 60;
    constexpr int kLast = 18 * 60;
    std::vector<SEnergyMinute> minutes;
    for (int m = kFirst; m <= kLast; ++m) {
        if (m >= day.nGapFrom && m < day.nGapTo)
            continue;
        SEnergyMinute minute;
        minute.strSerial = serial;
        minute.tmTime = platform::FromLocal(day.nYear, day.nMonth, day.nDay, m / 60, m % 60, 0);
        const auto tt = static_cast<std::time_t>(minute.tmTime);
        std::tm tm{};
        localtime_r(&tt, &tm);
        minute.nUtcOffset = static_cast<int>(tm.tm_gmtoff);
        const double share = static_cast<double>(m - kFirst) / (kLast - kFirst);
        const double pac = std::round(day.fPeakW * std::sin(share * M_PI) * 10.0) / 10.0;
        minute.aValue[kSeriesPac] = pac;
        minute.aValue[kSeriesEtoday] = std::round(day.fEnergyKwh * share * 10.0) / 10.0;
        minute.aValue[kSeriesFreq] = 50.0;
        minutes.push_back(minute);
    }
    return minutes;
}

bool WriteMadeDay(CEnergyStore& store, const SMadeDay& day, const std::string& serial)
{
    return store.WriteMinutes(MadeDayMinutes(day, serial), 3000).Ok();
}
