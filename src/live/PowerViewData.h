#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "model/TestResult.h"

// What one display update puts on the screen, as numbers; the view formats
// and draws them. Each part is present only when its series has the sample.
struct SDisplayUpdate {
    // The curve's first update: the chart starts at tmCurveStart and its
    // power axis ends at dPowerAxisMax; the view is redrawn whole.
    bool bCurveStarted = false;
    std::int64_t tmCurveStart = 0;
    double dPowerAxisMax = 0.0;
    // The chart's new point: sample time (tick ms) and power (W).
    std::optional<std::uint32_t> dwPointTime;
    std::optional<float> fPower;  // also the power box
    std::optional<int> nGauge;    // gauge percentage; absent without a rating
    std::optional<float> fToday;  // kWh, the energy box's first line
    std::optional<float> fTotal;  // kWh, its second line
    std::optional<float> fCo2;    // kg, for the system view
};

// The power view's value handling after the link has counted a value: the
// store step, the end of a polling cycle, the values of an open parameter
// page, and the display update, free of any window. UI thread only.
class CPowerViewData {
public:
    // The two halves of a display update (the parameter page's type-2 reads
    // bring power and energy in separate replies).
    enum EParts { kPowerPart = 1, kEnergyPart = 2, kAllParts = 3 };

    // Called with each display update and each history check (sample index).
    std::function<void(const SDisplayUpdate&)> onDisplay;
    std::function<void(std::size_t nSample)> onHistoryCheck;
    // Called at a cycle's end instead of the display update when the
    // parameter dialog was asked for.
    std::function<void()> onOpenParameters;

    CTestResult& Store() { return m_store; }
    const CTestResult& Store() const { return m_store; }

    // One value of the view's own poll (the store step).
    void OnValue(int protocolType, int nRegister, std::uint16_t wValue, int nLinkState, const std::string& version);
    // A polling cycle ended: opens the parameter dialog if asked for, else
    // updates the displays and checks the history for the last sample.
    void OnCycleEnd(int protocolType, std::int64_t tmNow);
    // One value while the parameter page drives the link: stored only when
    // it answers a read (the echo of a write or a command is no sample); the
    // end of a running-data reply refreshes what it brought.
    void OnPageValue(int protocolType, int nRegister, std::uint16_t wValue, int nStartRegister, int nLinkState,
                     bool bLinkIdle, const std::string& version, std::int64_t tmNow);

    void RequestParameters() { m_bOpenParamsPending = true; }
    bool IsParametersRequested() const { return m_bOpenParamsPending; }
    bool IsCurveStarted() const { return m_bCurveStarted; }
    // A new day curve: the next display update starts the chart afresh.
    void RestartCurve() { m_bCurveStarted = false; }

    // Display update for sample i (of the parts asked for). The energy part
    // alone ignores i: each total is the last of its own series.
    SDisplayUpdate DisplayUpdate(int protocolType, std::size_t i, std::int64_t tmNow, int parts = kAllParts);

private:
    std::optional<std::size_t> LastSample(int series) const;
    void Display(int protocolType, int series, std::int64_t tmNow, int parts);
    void DisplayEnergyHalf(int protocolType, std::int64_t tmNow);
    void HistoryCheck(int series);

    CTestResult m_store;
    bool m_bCurveStarted = false;
    bool m_bOpenParamsPending = false;
};

// Gauge percentage of a power against the rated power: the whole watts
// times 100 divided by the rating, in 64 bits (a huge decoded power cannot
// overflow); nothing when the rating is unknown (0).
std::optional<int> GaugePercent(float fPower, int nRatedPower);
