#include "link/Crc16.h"

#include <array>

namespace {

// The classic Modbus pair of tables: for each index, the low and the high
// byte of the table-driven CRC step, built at compile time from 0xA001.
struct CrcTables {
    std::array<std::uint8_t, 256> lo{};
    std::array<std::uint8_t, 256> hi{};
};

constexpr CrcTables MakeTables()
{
    CrcTables t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
        t.lo[i] = static_cast<std::uint8_t>(crc & 0xFFu);
        t.hi[i] = static_cast<std::uint8_t>(crc >> 8);
    }
    return t;
}

constexpr CrcTables kTables = MakeTables();
static_assert(kTables.lo[1] == 0xC1 && kTables.hi[1] == 0xC0, "Modbus CRC table");
static_assert(kTables.lo[255] == 0x40 && kTables.hi[255] == 0x40, "Modbus CRC table");

} // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length)
{
    std::uint8_t crcLo = 0xFF;
    std::uint8_t crcHi = 0xFF;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t index = crcLo ^ data[i];
        crcLo = crcHi ^ kTables.lo[index];
        crcHi = kTables.hi[index];
    }
    return static_cast<std::uint16_t>((crcHi << 8) | crcLo);
}

std::size_t AppendCrc16(std::uint8_t* data, std::size_t length)
{
    const std::uint16_t crc = Crc16(data, length);
    data[length] = static_cast<std::uint8_t>(crc & 0xFFu);
    data[length + 1] = static_cast<std::uint8_t>(crc >> 8);
    return length + 2;
}

bool CheckCrc16(const std::uint8_t* frame, std::size_t length)
{
    if (length < 2)
        return false;
    const std::uint16_t crc = Crc16(frame, length - 2);
    return frame[length - 2] == (crc & 0xFFu) && frame[length - 1] == (crc >> 8);
}

