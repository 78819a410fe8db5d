#include "model/TestResult.h"

#include "model/RegisterMap.h"
#include "platform/Tick.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

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

// Grows a series by an eighth of its size (at least 4 elements) when it is
// full: amortised constant appends, and at most an eighth more memory than
// the day's samples need, where doubling could hold twice as much.
template <class T> void Append(std::vector<T>& series, std::type_identity_t<T> value)
{
    if (series.size() == series.capacity())
        series.reserve(series.size() + std::max<std::size_t>(4, series.size() / 8));
    series.push_back(value);
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
        Append(m_adwTime, platform::GetTickCount());

    switch (rule->kind) {
    case kKindWord:
        Append(m_afSeries[rule->nSeries], static_cast<float>(word / scale));
        break;
    case kKindSignedWord:
        Append(m_afSeries[rule->nSeries], static_cast<float>(static_cast<std::int16_t>(word) / scale));
        break;
    case kKindPair:
        // Divide in double: a float cannot hold every 32-bit pair exactly.
        Append(m_afSeries[rule->nSeries], static_cast<float>(pair / static_cast<double>(scale)));
        break;
    case kKindWordWhole:
        Append(m_adwSeries[rule->nSeries], Truncate(word / static_cast<double>(scale)));
        break;
    case kKindPairWhole:
        Append(m_adwSeries[rule->nSeries], Truncate(pair / static_cast<double>(scale)));
        break;
    case kKindInteger:
        Append(m_adwSeries[rule->nSeries], word);
        break;
    case kKindFaultHigh:
        m_dwFaultWord = static_cast<std::uint32_t>(word) << 16;
        break;
    case kKindBitWord:
        m_dwFaultWord += word;
        Append(m_adwSeries[rule->nSeries], m_dwFaultWord);
        break;
    case kKindLatch:
        m_awHighWord[0] = word;
        break;
    case kKindModelCode:
        m_nModelCode = word;
        break;
    case kKindModelCodePair:
        m_nModelCode = static_cast<int>(pair);
        break;
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
