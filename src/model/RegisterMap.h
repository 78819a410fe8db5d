#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/ProtocolTable.h"

// What the running-data registers mean. Two numberings: the index map
// (protocol types 0 and 1, registers 11 to 45) and the address map
// (protocol type 2, five-digit 3xxxx/4xxxx addresses).

enum ERegisterKind : int {
    kKindWord,          // raw / scale as float
    kKindSignedWord,    // raw read as signed 16-bit / scale as float
    kKindPair,          // (high word * 65536 + raw) / scale as float
    kKindWordWhole,     // raw / scale truncated toward zero, unsigned
    kKindPairWhole,     // pair / scale truncated toward zero, unsigned
    kKindInteger,       // raw, unsigned, no scale
    kKindFaultHigh,     // raw * 65536 starts the fault word; nothing stored
    kKindBitWord,       // fault word + raw, unsigned, no scale
    kKindLatch,         // raw becomes the high word of the next pair
    kKindModelCode,     // raw is the model code
    kKindModelCodePair, // high word * 65536 + raw is the model code
};

struct SRegisterRule {
    int nRegister;
    ERegisterKind kind;
    int nSeries;      // ESeries, or -1 when nothing is appended
    bool bSampleTime; // the first register of a cycle: appends the tick count first
};

// The rule of a register, or null when the register is no running data.
const SRegisterRule* FindIndexRule(int reg);
const SRegisterRule* FindAddressRule(int reg);

// Registers that start a polling cycle and so stamp its sample time.
constexpr int kIndexSampleRegister = 11;
constexpr int kAddressSampleRegister = 30001;

// Protocol type 0 reads the software version from this register once after
// connecting.
constexpr int kVersionRegister = 45;

// Firmware versions that report the power register in whole watts: the
// scale of register 23 becomes 1 for them. Other registers keep `scale`.
float ApplyVersionException(int reg, float scale, std::string_view version);

// Ratings from the model code. Before the model code is read (code 0) the
// index map gives 0 and the address map 1500, as for the smallest model.
// The gauge divides by RatedPower, the chart's power axis ends at
// PowerAxisMaximum, history file names and export headers carry
// HistoryRating; RatingLabel is the parameter page's text ("" if unknown).
int RatedPower(int protocolType, int modelCode);
int PowerAxisMaximum(int protocolType, int modelCode);
int HistoryRating(int protocolType, int modelCode);
std::string RatingLabel(int modelCode);
