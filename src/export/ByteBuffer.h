#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#ifdef __linux__
#include <sys/mman.h>
#endif

// Little-endian stores, as both the compound file and the workbook records
// lay out their numbers.
inline void Put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A growable byte buffer for building large files: unlike a vector it does
// not zero what it grows into, and growth goes through realloc, which moves
// large blocks by remapping pages instead of copying them.
class CByteBuffer {
public:
    CByteBuffer() = default;
    ~CByteBuffer() { std::free(m_p); }
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;
    CByteBuffer(CByteBuffer&& o) noexcept
        : m_p(std::exchange(o.m_p, nullptr)), m_nSize(std::exchange(o.m_nSize, 0)), m_nCap(std::exchange(o.m_nCap, 0))
    {
    }
    CByteBuffer& operator=(CByteBuffer&& o) noexcept
    {
        std::swap(m_p, o.m_p);
        std::swap(m_nSize, o.m_nSize);
        std::swap(m_nCap, o.m_nCap);
        return *this;
    }

    const std::uint8_t* data() const { return m_p; }
    std::uint8_t* data() { return m_p; }
    std::size_t size() const { return m_nSize; }

    void Reserve(std::size_t n)
    {
        if (n <= m_nCap)
            return;
#ifdef __linux__
        // A buffer of megabytes in 2 MB pages: a few page faults instead of
        // thousands, which is most of the cost of a first large save.
        constexpr std::size_t kHuge = std::size_t{2} << 20;
        if (n >= 2 * kHuge) {
            const std::size_t size = (n + kHuge - 1) / kHuge * kHuge;
            void* p = std::aligned_alloc(kHuge, size);
            if (!p)
                throw std::bad_alloc();
            ::madvise(p, size, MADV_HUGEPAGE);
            if (m_nSize)
                std::memcpy(p, m_p, m_nSize);
            std::free(m_p);
            m_p = static_cast<std::uint8_t*>(p);
            m_nCap = size;
            return;
        }
#endif
        void* p = std::realloc(m_p, n);
        if (!p)
            throw std::bad_alloc();
        m_p = static_cast<std::uint8_t*>(p);
        m_nCap = n;
    }
    // Room for n more bytes at the end; returns where they go.
    std::uint8_t* Grow(std::size_t n)
    {
        if (m_nSize + n > m_nCap)
            Reserve(std::max<std::size_t>(m_nSize + n, m_nCap + m_nCap / 2 + 4096));
        std::uint8_t* at = m_p + m_nSize;
        m_nSize += n;
        return at;
    }
    // Drops the bytes past n.
    void Shrink(std::size_t n)
    {
        if (n < m_nSize)
            m_nSize = n;
    }
    void Append(const void* p, std::size_t n)
    {
        if (n)
            std::memcpy(Grow(n), p, n);
    }

private:
    std::uint8_t* m_p = nullptr;
    std::size_t m_nSize = 0;
    std::size_t m_nCap = 0;
};
