#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "link/ProtocolTable.h"

// Register scales and the two conversion rules shared by the parameter page,
// its write sequences and the running-data decoding.
//
// Scale 10 / 100 / 1000: shown value raw / scale ("%3.1f" / "%3.2f" /
// "%3.3f"); 0.1: raw x 10 ("%d"); 1: raw ("%d"); 0: nothing. A negative
// scale reads the raw word as signed 16-bit, otherwise like its magnitude.

constexpr int kScaleBlockCount = 11;
constexpr int kIndexScaleEntries = 143;   // protocol types 0 and 1: indices 0 .. 142
constexpr int kAddressScaleEntries = 366; // protocol type 2: the eleven blocks end to end

// The first eleven type-2 blocks, whose scales the address table holds, in order.
const SRegisterBlock* ScaleBlocks();
const float* IndexScaleTable();   // kIndexScaleEntries entries
const float* AddressScaleTable(); // kAddressScaleEntries entries
// True when both tables were built with exactly their number of entries.
bool ScaleTablesAreFull();

// Scale of a register: by parameter index under protocol types 0 and 1, by
// register address under type 2; -1 for a register outside the tables.
float GetRegisterScale(int protocolType, int reg);

// Text of a raw register word at a scale (empty for scale 0 or a scale
// without a display rule).
std::string FormatScaledValue(std::uint16_t raw, float scale);

// Register word of a value: value x scale + 0.5, truncated toward zero, low
// 16 bits. A value that is not finite is refused (nullopt); so is a scale
// that is not finite.
std::optional<std::uint16_t> EncodeScaledValue(double value, float scale);

// Signed variant (calibration offsets, the power reduction rate, the SPI2 and
// connecting settings): value x |scale| +/- 0.5 by the sign of the value,
// truncated toward zero, low 16 bits.
std::optional<std::uint16_t> EncodeSignedScaledValue(double value, float scale);
