#pragma once
#include <cstddef>
#include <cstdint>


// CRC-16/MODBUS (reflected polynomial 0xA001, start 0xFFFF, no final XOR),
// computed byte-wise with the two 256-entry Modbus tables. The result goes
// on the wire low byte first.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length);

// Appends the CRC of data[0..length) at data[length], data[length + 1]
// (low byte first) and returns the new length.
std::size_t AppendCrc16(std::uint8_t* data, std::size_t length);

// True when the last two bytes of frame[0..length) are the CRC of the rest.
bool CheckCrc16(const std::uint8_t* frame, std::size_t length);

