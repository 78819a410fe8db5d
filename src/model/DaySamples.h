#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The running quantities of a day curve, in the order the store keeps them.
// Each is named by the column title it is exported under; the insulation
// samples (address map only) have no column of their own.
enum ESeries : int {
    kSeriesUdc,        // "Udc(V)"       float
    kSeriesUac,        // "Uac(V)"       float
    kSeriesFreq,       // "f(Hz)"        float
    kSeriesDci,        // "DCI(mA)"      float
    kSeriesState1,     // "State 1"      unsigned: the fault bit word
    kSeriesState2,     // "State 2"      unsigned: the running-state code
    kSeriesPac,        // "Pac(W)"       float
    kSeriesEtoday,     // "Etoday(kWh)"  float
    kSeriesEtotal,     // "Etotal(kWh)"  float
    kSeriesTemp,       // "T(°C)"        float
    kSeriesTtoday,     // "Ttoday(min)"  unsigned
    kSeriesTtotal,     // "Ttotal(h)"    unsigned
    kSeriesIacShift,   // "Iac-Shift"    unsigned (index map only)
    kSeriesInsulation, // no title       unsigned (address map only)
    kSeriesCount
};

// The column title of a series, UTF-8 ("T(°C)" carries a two-byte degree
// sign); empty for the insulation samples and for anything out of range.
std::string_view SeriesTitle(int series);

// The series exported under a column title, or -1.
int FindSeriesByTitle(std::string_view title);

// True for the 32-bit float series, false for the unsigned 32-bit ones.
bool IsFloatSeries(int series);

// The day's samples as plain values: the sample-time series (tick-count
// milliseconds, one entry per polling cycle) and one series per quantity.
// Every access is bounds-checked. Copyable, so a reader on another thread
// works on its own copy (see CTestResult::TakeCopy) while the user-interface
// thread keeps appending to the live store.
class CDaySamples {
public:
    // Sample times.
    std::size_t GetTimeCount() const { return m_adwTime.size(); }
    std::uint32_t GetTime(std::size_t i) const; // throws std::out_of_range
    const std::vector<std::uint32_t>& GetTimes() const { return m_adwTime; }

    // Series sizes and elements. GetFloat/GetUInt throw std::out_of_range for
    // an index past the series' end and std::invalid_argument for a series
    // out of range or of the other type; GetValue reads either type.
    std::size_t GetSize(int series) const;
    float GetFloat(int series, std::size_t i) const;
    std::uint32_t GetUInt(int series, std::size_t i) const;
    double GetValue(int series, std::size_t i) const;
    const std::vector<float>& GetFloatSeries(int series) const;
    const std::vector<std::uint32_t>& GetUIntSeries(int series) const;

    // The model code as last read from the inverter; 0 until then.
    int GetModelCode() const { return m_nModelCode; }

    // Wall-clock second of sample i for a curve that started at curveStart:
    // the start plus the whole seconds since the first sample (tick
    // difference taken modulo 2^32, so a wrapped counter is harmless).
    // Throws std::out_of_range past the end of the sample times.
    std::int64_t GetSampleWallTime(std::size_t i, std::int64_t curveStart) const;

    // Bytes held by the series (their reserved capacity included).
    std::size_t GetMemoryBytes() const;

protected:
    std::vector<std::uint32_t> m_adwTime;
    std::array<std::vector<float>, kSeriesCount> m_afSeries;          // used by float series only
    std::array<std::vector<std::uint32_t>, kSeriesCount> m_adwSeries; // used by unsigned series only
    int m_nModelCode = 0;
};

// Day clock on calendar seconds, in local time.
// Minute of the curve: (hour - start hour) * 60 + minute - start minute;
// seconds and dates are ignored, so a sample after midnight gives a
// negative minute.
int CurveMinute(std::int64_t sampleTime, std::int64_t curveStart);
// True when the local calendar date (year, month and day) of the sample
// differs from that of the curve start.
bool IsDayChange(std::int64_t sampleTime, std::int64_t curveStart);
