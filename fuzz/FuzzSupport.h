#pragma once
// Shared pieces of the fuzz targets. Each target defines
// LLVMFuzzerTestOneInput; built with libFuzzer (scripts/fuzz) it explores,
// built with ReplayMain.cpp it replays its committed corpus as a test. An
// invariant that does not hold aborts, so both ways report it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define FUZZ_CHECK(condition)                                                                       \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition);   \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

// Reads the input front to back; past its end every read gives zeros.
class CFuzzInput {
public:
    CFuzzInput(const std::uint8_t* data, std::size_t size) : m_pData(data), m_nSize(size) {}
    bool Empty() const { return m_nPos >= m_nSize; }
    std::size_t Left() const { return m_nSize - m_nPos; }
    std::uint8_t Byte() { return m_nPos < m_nSize ? m_pData[m_nPos++] : 0; }
    template <class T> T Value()
    {
        T value{};
        std::uint8_t bytes[sizeof(T)] = {};
        for (auto& b : bytes)
            b = Byte();
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    // Up to n bytes from the current place.
    const std::uint8_t* Take(std::size_t& n)
    {
        if (n > Left())
            n = Left();
        const std::uint8_t* p = m_pData + m_nPos;
        m_nPos += n;
        return p;
    }

private:
    const std::uint8_t* m_pData;
    std::size_t m_nSize;
    std::size_t m_nPos = 0;
};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
