#include "model/DaySamples.h"

#include "platform/WallClock.h"

#include <stdexcept>
#include <string>

namespace {

constexpr std::string_view kTitles[kSeriesCount] = {
    "Udc(V)",
    "Uac(V)",
    "f(Hz)",
    "DCI(mA)",
    "State 1",
    "State 2",
    "Pac(W)",
    "Etoday(kWh)",
    "Etotal(kWh)",
    "T(\xC2\xB0"
    "C)",
    "Ttoday(min)",
    "Ttotal(h)",
    "Iac-Shift",
    "",
};

bool ValidSeries(int series)
{
    return series >= 0 && series < kSeriesCount;
}

[[noreturn]] void ThrowIndex(const char* what, std::size_t i, std::size_t size)
{
    throw std::out_of_range(std::string(what) + ": index " + std::to_string(i) + " of " + std::to_string(size));
}

void RequireSeries(int series, bool wantFloat)
{
    if (!ValidSeries(series))
        throw std::invalid_argument("no such series: " + std::to_string(series));
    if (IsFloatSeries(series) != wantFloat)
        throw std::invalid_argument("series " + std::to_string(series) + " is not of the requested type");
}

} // namespace

std::string_view SeriesTitle(int series)
{
    return ValidSeries(series) ? kTitles[series] : std::string_view();
}

int FindSeriesByTitle(std::string_view title)
{
    if (title.empty())
        return -1;
    for (int s = 0; s < kSeriesCount; ++s)
        if (kTitles[s] == title)
            return s;
    return -1;
}

bool IsFloatSeries(int series)
{
    switch (series) {
    case kSeriesUdc:
    case kSeriesUac:
    case kSeriesFreq:
    case kSeriesDci:
    case kSeriesPac:
    case kSeriesEtoday:
    case kSeriesEtotal:
    case kSeriesTemp:
        return true;
    default:
        return false;
    }
}

std::uint32_t CDaySamples::GetTime(std::size_t i) const
{
    if (i >= m_adwTime.size())
        ThrowIndex("sample time", i, m_adwTime.size());
    return m_adwTime[i];
}

std::size_t CDaySamples::GetSize(int series) const
{
    if (!ValidSeries(series))
        return 0;
    return IsFloatSeries(series) ? m_afSeries[series].size() : m_adwSeries[series].size();
}

const std::vector<float>& CDaySamples::GetFloatSeries(int series) const
{
    RequireSeries(series, true);
    return m_afSeries[series];
}

const std::vector<std::uint32_t>& CDaySamples::GetUIntSeries(int series) const
{
    RequireSeries(series, false);
    return m_adwSeries[series];
}

float CDaySamples::GetFloat(int series, std::size_t i) const
{
    const std::vector<float>& values = GetFloatSeries(series);
    if (i >= values.size())
        ThrowIndex(kTitles[series].data(), i, values.size());
    return values[i];
}

std::uint32_t CDaySamples::GetUInt(int series, std::size_t i) const
{
    const std::vector<std::uint32_t>& values = GetUIntSeries(series);
    if (i >= values.size())
        ThrowIndex(kTitles[series].data(), i, values.size());
    return values[i];
}

double CDaySamples::GetValue(int series, std::size_t i) const
{
    if (IsFloatSeries(series))
        return GetFloat(series, i);
    return GetUInt(series, i);
}

std::int64_t CDaySamples::GetSampleWallTime(std::size_t i, std::int64_t curveStart) const
{
    const std::uint32_t elapsedMs = GetTime(i) - m_adwTime[0];
    return curveStart + elapsedMs / 1000u;
}

std::size_t CDaySamples::GetMemoryBytes() const
{
    std::size_t bytes = m_adwTime.capacity() * sizeof(std::uint32_t);
    for (const auto& s : m_afSeries)
        bytes += s.capacity() * sizeof(float);
    for (const auto& s : m_adwSeries)
        bytes += s.capacity() * sizeof(std::uint32_t);
    return bytes;
}

int CurveMinute(std::int64_t sampleTime, std::int64_t curveStart)
{
    const platform::LocalTime sample = platform::ToLocal(sampleTime);
    const platform::LocalTime start = platform::ToLocal(curveStart);
    return (sample.nHour - start.nHour) * 60 + sample.nMinute - start.nMinute;
}

bool IsDayChange(std::int64_t sampleTime, std::int64_t curveStart)
{
    // The whole date, not the day of the month alone: a curve resumed a
    // month later on the same day number is still a new day.
    const platform::LocalTime sample = platform::ToLocal(sampleTime);
    const platform::LocalTime start = platform::ToLocal(curveStart);
    return sample.nYear != start.nYear || sample.nMonth != start.nMonth || sample.nDay != start.nDay;
}
