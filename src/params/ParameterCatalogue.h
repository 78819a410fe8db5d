#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "link/InverterCom.h"
#include "model/RegisterScale.h"

class ConfigWorkbook;

// The fixed knowledge of every inverter setting that the parameter page
// shows and writes: fields, registers in both numberings, scales, bounds,
// defaults and the workbook's setting names. The page and the write
// sequences walk these tables; nothing here is repeated per setting in code.

// Settings of the page, in catalogue order (the order of SettableParameters()).
enum ESetting {
    kVpvStart,
    kTStart,
    kVacLow,
    kVacLower,
    kTVacLow,
    kTVacLower,
    kVacHigh,
    kVacHigher,
    kTVacHigh,
    kTVacHigher,
    kFacLow,
    kFacLower,
    kTFacLow,
    kTFacLower,
    kFacHigh,
    kFacHigher,
    kTFacHigh,
    kTFacHigher,
    kDciLimit,
    kDciShift,
    kLanguage,
    kContrast,
    kStandardName,
    kStandardCode,
    kFullPowerLimit,
    kPowerReductionRate,
    kFacHighSpi2,
    kFacLowSpi2,
    kTFacHighSpi2,
    kTFacLowSpi2,
    kConnectFacHigh,
    kConnectFacLow,
    kGfciFunction,
    kIsoFunction,
    kIslandTestSwitch,
    kModbusAddress,
    kSerialNumber,
    kModbusFlag,
    kManufacture,
    kSettingCount
};

// How the page holds a setting's value.
enum class EValueKind {
    kFloat,        // 32-bit float variable
    kUnsigned,     // unsigned integer variable
    kSigned,       // signed integer variable
    kStandardName, // text, 6 registers of two characters
    kStandardCode, // 16-bit word from the read cycle or the workbook
    kCheckBox,     // 0 or 1
    kSerialNumber, // 64-bit number, 3 BCD registers
    kProtocolFlag, // the link's protocol type, written as is
    kShownText,    // shown only (manufacture date, 2 BCD registers)
};

// How an entered value is compared with its bounds.
enum class EBoundRule {
    kNone,
    kFloat,               // as floats
    kUnsignedIntegerPart, // integer part (truncated) as an unsigned number
    kUnsigned,            // unsigned integer
    kSigned,              // signed integer
};

constexpr int kNoRegister = -1;

struct SSettableParameter {
    ESetting setting;
    const char* label; // label on the page
    int currentField;  // read-only field (check boxes: the box)
    int setField;      // edit field; 0 when there is none
    int readIndex;     // protocol types 0/1: first register read, kNoRegister when none
    int writeIndex;    // protocol types 0/1: first register written, kNoRegister when none
    int registerCount; // consecutive registers (6 for the standard name, 3 for the serial number)
    float scale01;     // scale under protocol types 0/1
    int register2;     // protocol type 2: first register, kNoRegister when none
    float scale2;      // scale under protocol type 2
    EValueKind kind;
    EBoundRule boundRule;
    double minimum; // bounds when boundRule is not kNone
    double maximum;
    ESetting minimumFrom; // another setting whose value is also a lower bound (the larger wins); kSettingCount: none
    bool hasDefault;
    double defaultValue;
    bool signedEncoding; // written with EncodeSignedScaledValue
    bool inverted01;     // check box: under protocol types 0/1 the register holds the inverse
    int wordMin;         // range of words the register holds (as a signed or an unsigned number)
    int wordMax;
};

struct SCalibrationParameter {
    const char* label;
    int currentField;
    int setField;
    int index01;   // protocol types 0/1 (read and write), scale 10
    int register2; // kNoRegister: disabled under protocol type 2
    float scale2;
    bool isOffset; // offsets are signed and written with the signed variant
    bool hasBounds;
    double minimum;
    double maximum;
    double defaultValue;
};

constexpr float kCalibrationScale01 = 10.0f;
constexpr int kCalibrationCount = 16;

// How a shown-only value is decoded.
enum class EShownKind {
    kScaled,       // by its scale (a pair: low word + 65536 x high word)
    kFaultList,    // 32-bit fault mask
    kRunningState, // state text and lamp
    kModel,        // types 0/1 by scale; type 2 the rating label of the model code
    kVersion,      // types 0/1 by scale; type 2 four BCD digits / 100
    kIsMax,        // value + 40 to "Is max", value - 35 to "Is min"
};

struct SShownValue {
    const char* label;
    int field;
    EShownKind kind;
    int index01;     // kNoRegister when not shown under types 0/1
    int highIndex01; // high word of a 32-bit value, kNoRegister when none
    float scale01;
    int register2; // kNoRegister when not shown under type 2
    int highRegister2;
    float scale2;
};

constexpr int kIsMinField = 1083;

// Workbook setting names, in index order, with the setting each goes to.
struct SStandardSetting {
    const char* name; // "Parameter" cell of the workbook's parameter sheet
    ESetting target;  // kSettingCount: looked up but not applied
    bool integer;     // taken truncated toward zero
};

constexpr int kStandardSettingCount = 33;

std::span<const SSettableParameter> SettableParameters(); // kSettingCount entries, indexed by ESetting
std::span<const SCalibrationParameter> CalibrationParameters();
std::span<const SShownValue> ShownValues();
std::span<const SStandardSetting> StandardSettings();

// The page's standard name before anything is read or chosen.
constexpr const char* kDefaultStandardName = "AS4777";

// Lower bound of a setting, given the current value of its minimumFrom
// setting (ignored when it has none). Under kUnsignedIntegerPart the other
// value counts by its integer part.
double EffectiveMinimum(const SSettableParameter& p, double otherValue);

// Whether an entered value respects the setting's bounds under its rule. A
// value that is not finite, or that the rule's integer type cannot hold, is
// refused.
bool IsWithinBounds(const SSettableParameter& p, double value, double otherValue = 0);
bool IsWithinBounds(const SCalibrationParameter& p, double value);

// Whether value x scale fits the range of words the setting's register
// holds (before the cut to 16 bits).
bool FitsRegister(const SSettableParameter& p, double value, float scale);

// Register word of a setting's value at a scale, by its encoding rule.
std::optional<std::uint16_t> EncodeSetting(const SSettableParameter& p, double value, float scale);

// Standard name: 12 characters in 6 registers, the first character in the
// high byte. "VDE-OLD" and "VDE-NEW" are written as "VDE"; the name is
// padded with spaces (and cut) to 12 characters.
std::array<std::uint16_t, 6> StandardNameWords(const std::string& name);
// Text of 6 words read back: 12 characters, ending at the first zero byte.
std::string StandardNameText(const std::array<std::uint16_t, 6>& words);

// Serial number: 12 decimal digits in 3 BCD registers, most significant
// digits in the lowest register.
constexpr std::uint64_t kMaxSerialNumber = 999999999999ULL;
bool IsValidSerialNumber(std::uint64_t number);
// (Its words: SerialNumberWords, beside the link that writes them.)
std::string SerialNumberText(const std::array<std::uint16_t, 3>& words);

// Value of workbook setting `nameIndex` for standard `standard`: 0 with
// `value` set, or -1 when the workbook has no value for it.
int LookupStandardValue(int nameIndex, const ConfigWorkbook& workbook, int standard, double& value);
