#include "live/PowerViewData.h"

#include <cmath>
#include <limits>

#include "link/InverterCom.h"
#include "link/ProtocolTable.h"
#include "model/RegisterMap.h"
#include "model/ValueStore.h"

namespace {

constexpr float kCo2PerKwh = 0.7f;

// Start registers of the poll steps whose replies carry the running data,
// as the table of the protocol type gives them.
int StepStart(int protocolType, int step)
{
    const std::optional<SRegisterBlock> block = PollStepBlock(protocolType, step);
    return block ? block->nStart : -1;
}

} // namespace

std::optional<int> GaugePercent(float fPower, int nRatedPower)
{
    if (nRatedPower == 0 || !std::isfinite(fPower))
        return std::nullopt;
    const double whole = std::trunc(static_cast<double>(fPower));
    constexpr double kLimit = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 100);
    if (std::fabs(whole) > kLimit)
        return whole > 0 ? std::numeric_limits<int>::max() : std::numeric_limits<int>::min();
    const std::int64_t percent = static_cast<std::int64_t>(whole) * 100 / nRatedPower;
    if (percent > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (percent < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(percent);
}

void CPowerViewData::OnValue(int protocolType, int nRegister, std::uint16_t wValue, int nLinkState,
                             const std::string& version)
{
    StoreRegisterValue(m_store, protocolType, nRegister, wValue, version, false, nLinkState);
}

std::optional<std::size_t> CPowerViewData::LastSample(int series) const
{
    const std::size_t size = m_store.GetSize(series);
    if (size == 0)
        return std::nullopt;
    return size - 1;
}

void CPowerViewData::OnCycleEnd(int protocolType, std::int64_t tmNow)
{
    if (m_bOpenParamsPending) {
        m_bOpenParamsPending = false;
        if (onOpenParameters)
            onOpenParameters();
        return;
    }
    // The address map's cycle ends with the totals, the index map's with the power.
    const int series = UsesAddressNumbering(protocolType) ? kSeriesEtotal : kSeriesPac;
    Display(protocolType, series, tmNow, kAllParts);
    HistoryCheck(series);
}

void CPowerViewData::OnPageValue(int protocolType, int nRegister, std::uint16_t wValue, int nStartRegister,
                                 int nLinkState, bool bLinkIdle, const std::string& version, std::int64_t tmNow)
{
    if (nLinkState != kLinkRead)
        return;
    StoreRegisterValue(m_store, protocolType, nRegister, wValue, version, false, nLinkState);
    if (!bLinkIdle)
        return;
    const SProtocolFacts& facts = ProtocolFacts(protocolType);
    if (!UsesAddressNumbering(protocolType)) {
        if (nStartRegister == StepStart(protocolType, facts.nCycleEndStep)) {
            Display(protocolType, kSeriesPac, tmNow, kAllParts);
            HistoryCheck(kSeriesPac);
        }
        return;
    }
    // Type 2 reads power, energy and the rest in three replies (the steps
    // from the cycle's restart to its end).
    const int step = facts.nCycleRestartStep;
    if (nStartRegister == StepStart(protocolType, step))
        Display(protocolType, kSeriesPac, tmNow, kPowerPart);
    else if (nStartRegister == StepStart(protocolType, step + 1))
        DisplayEnergyHalf(protocolType, tmNow);
    else if (nStartRegister == StepStart(protocolType, facts.nCycleEndStep))
        HistoryCheck(kSeriesEtotal);
}

void CPowerViewData::Display(int protocolType, int series, std::int64_t tmNow, int parts)
{
    const std::optional<std::size_t> i = LastSample(series);
    if (!i)
        return; // no sample yet: the cycle ends here
    const SDisplayUpdate update = DisplayUpdate(protocolType, *i, tmNow, parts);
    if (onDisplay)
        onDisplay(update);
}

// The energy reply read alone: each total is the last of its own series, so
// an empty power series (or the other total's) holds nothing back.
void CPowerViewData::DisplayEnergyHalf(int protocolType, std::int64_t tmNow)
{
    if (!LastSample(kSeriesEtoday) && !LastSample(kSeriesEtotal))
        return;
    const SDisplayUpdate update = DisplayUpdate(protocolType, 0, tmNow, kEnergyPart);
    if (onDisplay)
        onDisplay(update);
}

void CPowerViewData::HistoryCheck(int series)
{
    const std::optional<std::size_t> i = LastSample(series);
    if (i && onHistoryCheck)
        onHistoryCheck(*i);
}

// Each series is read only below its own size: a cycle that stopped short
// leaves the others without sample i, and those parts are skipped.
SDisplayUpdate CPowerViewData::DisplayUpdate(int protocolType, std::size_t i, std::int64_t tmNow, int parts)
{
    SDisplayUpdate update;
    const auto floatAt = [this](int series, std::size_t n) -> std::optional<float> {
        if (n >= m_store.GetSize(series))
            return std::nullopt;
        return m_store.GetFloat(series, n);
    };
    if (parts & kPowerPart) {
        if (!m_bCurveStarted) {
            m_bCurveStarted = true;
            update.bCurveStarted = true;
            update.tmCurveStart = tmNow;
            update.dPowerAxisMax = PowerAxisMaximum(protocolType, m_store.GetModelCode());
        }
        update.fPower = floatAt(kSeriesPac, i);
        if (update.fPower && i < m_store.GetTimeCount())
            update.dwPointTime = m_store.GetTime(i);
        if (update.fPower)
            update.nGauge = GaugePercent(*update.fPower, RatedPower(protocolType, m_store.GetModelCode()));
    }
    if (parts & kEnergyPart) {
        // After a whole cycle both totals are those of sample i; the energy
        // half read alone takes each at the last index of its own series.
        const bool bAlone = parts == kEnergyPart;
        const auto total = [&](int series) {
            return bAlone ? floatAt(series, LastSample(series).value_or(0)) : floatAt(series, i);
        };
        update.fToday = total(kSeriesEtoday);
        update.fTotal = total(kSeriesEtotal);
        if (update.fTotal)
            update.fCo2 = *update.fTotal * kCo2PerKwh;
    }
    return update;
}
