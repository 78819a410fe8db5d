#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "model/DaySamples.h"

// The inverter a reading comes from, as the outputs name it.
struct SMonitorInverter {
    std::string strSerial;  // the 12-character serial text
    std::string strPort;    // the port it answers on
    int nProtocolType = 0;
    int nModelCode = 0;     // 0 until read
    int nRating = 0;        // watts, the rating the history files are named with
    std::string strVersion; // the firmware version text ("V8.05"), empty until read
};

// One polling cycle's values: the last sample of each series the cycle
// brought, in engineering units (the store's scales), and the wall-clock
// second of the cycle's end. A series the protocol type does not report, or
// that the cycle did not bring, is empty.
struct SMonitorReading {
    SMonitorInverter inverter;
    std::int64_t tmWall = 0;
    std::array<std::optional<double>, kSeriesCount> aValue;
};

// The link as the outputs see it: connected to an inverter, or not (night,
// cable, detection still running).
struct SMonitorLinkState {
    bool bConnected = false;
    SMonitorInverter inverter; // of the last connection; empty before the first
};

// What the monitor's data path feeds beyond the day's history files (a
// publisher, the long-term store). The monitor calls these on its data-path
// thread, in order; an output copies what it needs and returns at once, doing
// any disk or network work on a thread of its own, so the data path never
// waits on it.
class IMonitorOutput {
public:
    virtual ~IMonitorOutput() = default;
    virtual void OnReading(const SMonitorReading& reading) = 0;
    virtual void OnLinkState(const SMonitorLinkState& state) = 0;
};
