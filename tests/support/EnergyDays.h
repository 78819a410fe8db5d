#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "outputs/EnergyStore.h"

// Made-up days for the energy store, written through its own API: one
// inverter's minutes from 06:00 to 18:00 local time, the power a smooth
// hump peaking at noon and "Etoday(kWh)" rising to the day's energy.

struct SMadeDay {
    int nYear = 2013;
    int nMonth = 1;
    int nDay = 1;
    double fEnergyKwh = 10.0; // the day's energy (the last reading's "Etoday(kWh)")
    double fPeakW = 2000.0;   // the power at noon
    // Minutes of the day [from, to) without readings (minute after midnight); none when equal.
    int nGapFrom = 0;
    int nGapTo = 0;
};

// The day's minutes, in time order.
std::vector<SEnergyMinute> MadeDayMinutes(const SMadeDay& day, const std::string& serial = "123456789012");
// Writes the day into the store; false when the store refused it.
bool WriteMadeDay(CEnergyStore& store, const SMadeDay& day, const std::string& serial = "123456789012");
