#pragma once
// A day of made-up but plausible samples for the benchmarks: `Store` is the
// series class to fill (CDaySamples, or CTestResult for the live store).
#include "model/DaySamples.h"

#include <cstddef>
#include <cstdint>

template <class Store> class CBenchDay : public Store {
public:
    CBenchDay(std::size_t nSamples, std::uint32_t spacingMs)
    {
        for (std::size_t n = 0; n < nSamples; ++n) {
            const auto i = static_cast<std::uint32_t>(n);
            const std::uint32_t seconds = i * spacingMs / 1000u;
            this->m_adwTime.push_back(1000u + i * spacingMs);
            auto f = [&](int s, double v) { this->m_afSeries[s].push_back(static_cast<float>(v)); };
            auto u = [&](int s, std::uint32_t v) { this->m_adwSeries[s].push_back(v); };
            f(kSeriesUdc, 300.0 + (i % 977) * 0.37);
            f(kSeriesUac, 229.0 + (i % 83) * 0.11);
            f(kSeriesFreq, 49.9 + (i % 21) * 0.013);
            f(kSeriesDci, -40.0 + i % 81);
            u(kSeriesState1, i % 7 == 0 ? 0x18000u : 0u);
            u(kSeriesState2, i % 5);
            f(kSeriesPac, (i % 3001) * 1.7);
            f(kSeriesEtoday, i / 1000.0);
            f(kSeriesEtotal, 123456.7 + i / 100.0);
            f(kSeriesTemp, 25.0 + (i % 300) * 0.1);
            u(kSeriesTtoday, seconds / 60u);
            u(kSeriesTtotal, 40000 + seconds / 3600u);
            u(kSeriesIacShift, i % 11);
        }
    }
};
