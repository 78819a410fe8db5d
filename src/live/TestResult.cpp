#include "live/TestResult.h"

#include "live/RegisterMap.h"
#include "platform/Tick.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// Truncation toward zero into an unsigned 32-bit cell. A quotient that is
// not a number (scale 0) or lies outside any 64-bit integer gives 0 rather
// than an undefined conversion; a negative one wraps modulo 2^32.
std::uint32_t Truncate(double quotient)
{
    if (!std::isfinite(quotient) || std::fabs(quotient) >= 9.2e18)
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(quotient));
}

} // namespace

bool CTestResult::StoreIndexRegister(int reg, std::uint32_t raw, float scale)
{
    return Store(FindIndexRule(reg), raw, scale);
}

bool CTestResult::StoreAddressRegister(int reg, std::uint32_t raw, float scale)
{
    return Store(FindAddressRule(reg), raw, std::fabs(scale));
}

bool CTestResult::Store(const SRegisterRule* rule, std::uint32_t raw, float scale)
{
    if (rule == nullptr)
        return false;
    const std::uint16_t word = static_cast<std::uint16_t>(raw);
    const std::uint32_t pair = static_cast<std::uint32_t>(m_awHighWord[0]) << 16 | word;

    if (rule->bSampleTime)
        m_adwTime.push_back(platform::GetTickCount());

    switch (rule->kind) {
    case kKindWord: m_afSeries[rule->nSeries].push_back(static_cast<float>(word / scale)); break;
    case kKindSignedWord:
        m_afSeries[rule->nSeries].push_back(static_cast<float>(static_cast<std::int16_t>(word) / scale));
        break;
    case kKindPair:
        // Divide in double: a float cannot hold every 32-bit pair exactly.
        m_afSeries[rule->nSeries].push_back(static_cast<float>(pair / static_cast<double>(scale)));
        break;
    case kKindWordWhole: m_adwSeries[rule->nSeries].push_back(Truncate(word / static_cast<double>(scale))); break;
    case kKindPairWhole: m_adwSeries[rule->nSeries].push_back(Truncate(pair / static_cast<double>(scale))); break;
    case kKindInteger: m_adwSeries[rule->nSeries].push_back(word); break;
    case kKindFaultHigh: m_dwFaultWord = static_cast<std::uint32_t>(word) << 16; break;
    case kKindBitWord:
        m_dwFaultWord += word;
        m_adwSeries[rule->nSeries].push_back(m_dwFaultWord);
        break;
    case kKindLatch: m_awHighWord[0] = word; break;
    case kKindModelCode: m_nModelCode = word; break;
    case kKindModelCodePair: m_nModelCode = static_cast<int>(pair); break;
    }
    return true;
}

void CTestResult::RemoveAllSamples()
{
    std::vector<std::uint32_t>().swap(m_adwTime);
    for (auto& s : m_afSeries)
        std::vector<float>().swap(s);
    for (auto& s : m_adwSeries)
        std::vector<std::uint32_t>().swap(s);
}
