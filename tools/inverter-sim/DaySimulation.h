#pragma once
#include <cstdint>

// The physics behind the simulated inverter: a PV day with sunrise, sunset
// and passing clouds, the output power that follows it (capped at the
// rating), and the counters that integrate it. Everything is a function of
// simulated time and the seed, so two runs with the same seed agree however
// often they are asked. Simulated time is seconds since midnight of day 0.
class CDaySimulation {
public:
    CDaySimulation(std::uint32_t seed, int ratedWatts);

    // Starts the counters at simulated time t: today's energy and run time
    // are what the morning up to t would have produced.
    void Start(double t);
    // Integrates up to t (seconds); going back in time changes nothing.
    void AdvanceTo(double t);

    // Settings and commands that change what the inverter does.
    void SetPowerLimitPercent(double percent) { m_dLimitPercent = percent; }
    void SetStopped(bool stopped) { m_bStopped = stopped; } // a fault holds the inverter off the grid
    void PauseUntil(double t) { m_dPausedUntil = t; }       // self test: off the grid for a while
    void ClearEnergy();

    // Values at the current time.
    double Now() const { return m_dNow; }
    int RatedWatts() const { return m_nRatedWatts; }
    bool IsDaylight() const;  // the sun gives the panels any voltage
    bool IsInverting() const; // feeding the grid
    bool IsPaused() const { return m_dNow < m_dPausedUntil; }
    double PowerW() const { return PowerAt(m_dNow); }
    double EnergyTodayKWh() const { return m_dEnergyTodayWh / 1000.0; }
    double EnergyTotalKWh() const { return m_dEnergyTotalWh / 1000.0; }
    std::uint32_t RunTodayMinutes() const { return static_cast<std::uint32_t>(m_dRunTodaySec / 60.0); }
    std::uint32_t RunTotalHours() const { return static_cast<std::uint32_t>(m_dRunTotalSec / 3600.0); }
    double PvVoltage() const;
    double GridVoltage() const;
    double GridFrequency() const;
    double TemperatureC() const;
    double DcInjectionMa() const;
    double AcCurrentA() const;
    double PvCurrentA() const;

    // Output power at any time (used by the integration and by tests).
    double PowerAt(double t) const;
    // Fraction of full sun on the panels, 0 at night.
    double Irradiance(double t) const;

private:
    double Noise(std::int64_t day, std::int64_t slot, std::uint32_t stream) const; // 0..1, repeatable
    double CloudFactor(double t) const;
    double Sunrise(std::int64_t day) const;
    double Sunset(std::int64_t day) const;
    void Step(double from, double to); // integrate one piece inside one day

    std::uint32_t m_dwSeed;
    int m_nRatedWatts;
    double m_dLimitPercent = 100.0;
    bool m_bStopped = false;
    double m_dPausedUntil = -1.0;

    double m_dNow = 0.0;
    double m_dEnergyTodayWh = 0.0;
    double m_dEnergyTotalWh = 0.0;
    double m_dRunTodaySec = 0.0;
    double m_dRunTotalSec = 0.0;
};
