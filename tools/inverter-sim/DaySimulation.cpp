#include "DaySimulation.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDay = 86400.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kCloudSlot = 300.0;       // clouds change shape every five minutes
constexpr double kMinimumFeedWatts = 15.0; // below this the inverter does not connect
constexpr double kStartTotalWh = 1523000.0;
constexpr double kStartRunTotalSec = 2000.0 * 3600.0;

std::uint64_t Mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::int64_t DayOf(double t)
{
    return static_cast<std::int64_t>(std::floor(t / kDay));
}

double SmoothStep(double x)
{
    return x * x * (3.0 - 2.0 * x);
}

} // namespace

CDaySimulation::CDaySimulation(std::uint32_t seed, int ratedWatts) : m_dwSeed(seed), m_nRatedWatts(ratedWatts) {}

double CDaySimulation::Noise(std::int64_t day, std::int64_t slot, std::uint32_t stream) const
{
    std::uint64_t h = Mix(m_dwSeed);
    h = Mix(h ^ static_cast<std::uint64_t>(day));
    h = Mix(h ^ static_cast<std::uint64_t>(slot));
    h = Mix(h ^ stream);
    return static_cast<double>(h >> 11) / 9007199254740992.0; // 53 bits into [0, 1)
}

double CDaySimulation::Sunrise(std::int64_t day) const
{
    return 6.0 * 3600.0 + (Noise(day, -1, 7) - 0.5) * 2400.0;
}

double CDaySimulation::Sunset(std::int64_t day) const
{
    return 19.0 * 3600.0 + (Noise(day, -1, 8) - 0.5) * 2400.0;
}

double CDaySimulation::CloudFactor(double t) const
{
    const std::int64_t day = DayOf(t);
    const double tod = t - static_cast<double>(day) * kDay;
    // Some days are clear, some overcast: the day's cloudiness scales the passing clouds.
    const double cloudiness = 0.75 * std::pow(Noise(day, -1, 1), 1.5);
    const double pos = tod / kCloudSlot;
    const auto slot = static_cast<std::int64_t>(std::floor(pos));
    const double a = Noise(day, slot, 2);
    const double b = Noise(day, slot + 1, 2);
    const double cloud = a + (b - a) * SmoothStep(pos - static_cast<double>(slot));
    return 1.0 - cloudiness * cloud * cloud;
}

double CDaySimulation::Irradiance(double t) const
{
    const std::int64_t day = DayOf(t);
    const double tod = t - static_cast<double>(day) * kDay;
    const double rise = Sunrise(day);
    const double set = Sunset(day);
    if (tod <= rise || tod >= set)
        return 0.0;
    const double s = std::sin(kPi * (tod - rise) / (set - rise));
    return std::pow(s, 1.2) * CloudFactor(t);
}

double CDaySimulation::PowerAt(double t) const
{
    if (m_bStopped || t < m_dPausedUntil)
        return 0.0;
    // The array is a little larger than the inverter, so a clear noon clips at the rating.
    const double available = m_nRatedWatts * 1.08 * Irradiance(t);
    if (available < kMinimumFeedWatts)
        return 0.0;
    const double cap = std::min(1.0, std::max(0.0, m_dLimitPercent / 100.0)) * m_nRatedWatts;
    return std::min(available, cap);
}

bool CDaySimulation::IsDaylight() const
{
    return Irradiance(m_dNow) > 0.0;
}

bool CDaySimulation::IsInverting() const
{
    return PowerW() > 0.0;
}

void CDaySimulation::Step(double from, double to)
{
    const double dt = to - from;
    const double p = PowerAt(0.5 * (from + to));
    m_dEnergyTodayWh += p * dt / 3600.0;
    m_dEnergyTotalWh += p * dt / 3600.0;
    if (p > 0.0) {
        m_dRunTodaySec += dt;
        m_dRunTotalSec += dt;
    }
}

void CDaySimulation::AdvanceTo(double t)
{
    while (m_dNow < t) {
        const double midnight = static_cast<double>(DayOf(m_dNow) + 1) * kDay;
        const double next = std::min({t, m_dNow + 1.0, midnight});
        Step(m_dNow, next);
        m_dNow = next;
        if (m_dNow >= midnight) {
            m_dEnergyTodayWh = 0.0;
            m_dRunTodaySec = 0.0;
        }
    }
}

void CDaySimulation::Start(double t)
{
    m_dNow = static_cast<double>(DayOf(t)) * kDay;
    m_dEnergyTodayWh = m_dEnergyTotalWh = 0.0;
    m_dRunTodaySec = m_dRunTotalSec = 0.0;
    AdvanceTo(t);
    m_dEnergyTotalWh += kStartTotalWh;
    m_dRunTotalSec += kStartRunTotalSec;
}

void CDaySimulation::ClearEnergy()
{
    m_dEnergyTodayWh = 0.0;
    m_dEnergyTotalWh = 0.0;
}

double CDaySimulation::PvVoltage() const
{
    const double g = Irradiance(m_dNow);
    if (g <= 0.0)
        return 0.0;
    if (IsInverting())
        return 300.0 + 40.0 * g;                       // held near the maximum power point
    return 380.0 * std::sqrt(std::min(1.0, g * 20.0)); // open circuit
}

double CDaySimulation::GridVoltage() const
{
    const auto slot = static_cast<std::int64_t>(std::floor(m_dNow / 60.0));
    return 230.0 + 3.0 * std::sin(2.0 * kPi * m_dNow / 7200.0) + (Noise(0, slot, 3) - 0.5) * 2.0 +
           4.0 * PowerW() / std::max(1, m_nRatedWatts); // feeding in lifts the local voltage a little
}

double CDaySimulation::GridFrequency() const
{
    const auto slot = static_cast<std::int64_t>(std::floor(m_dNow / 30.0));
    return 50.0 + (Noise(0, slot, 4) - 0.5) * 0.06;
}

double CDaySimulation::TemperatureC() const
{
    const std::int64_t day = DayOf(m_dNow);
    const double tod = m_dNow - static_cast<double>(day) * kDay;
    const double ambient = 12.0 + 8.0 * std::sin(2.0 * kPi * (tod - 9.0 * 3600.0) / kDay);
    return ambient + 25.0 * PowerW() / std::max(1, m_nRatedWatts);
}

double CDaySimulation::DcInjectionMa() const
{
    if (!IsInverting())
        return 0.0;
    const auto slot = static_cast<std::int64_t>(std::floor(m_dNow / 20.0));
    return std::round((Noise(0, slot, 5) - 0.5) * 40.0); // a few mA either way
}

double CDaySimulation::AcCurrentA() const
{
    return PowerW() / GridVoltage();
}

double CDaySimulation::PvCurrentA() const
{
    const double u = PvVoltage();
    return (u > 0.0 && IsInverting()) ? PowerW() / 0.96 / u : 0.0;
}
