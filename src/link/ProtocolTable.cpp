#include "link/ProtocolTable.h"

namespace {

// Index numbering: running data below index 82 in input registers, the
// settings from 82 on in holding registers.
constexpr int kLastRunningIndex = 81;
constexpr int kLastSettingIndex = 142;

constexpr std::array<SRegisterBlock, 2> kIndexPollSteps{{
    {44, 2},  // model code and version, once after connecting
    {11, 31}, // running data, every cycle
}};
constexpr std::array<SRegisterBlock, 6> kAddressPollSteps{{
    {0, 0},
    {40007, 3},  // serial number
    {40001, 2},  // model code
    {30001, 20}, // running data
    {30021, 17},
    {31001, 20},
}};

constexpr std::array<SWireRange, 2> kType0Reads{{{kLastRunningIndex, 4, 39990}, {INT_MAX, 3, 40109}}};
constexpr std::array<SWireRange, 2> kType1Reads{{{kLastRunningIndex, 4, -1}, {kLastSettingIndex, 3, -82}}};

// Type 2 reads input registers up to the end of the last 3xxxx block and
// holding registers up to the end of the last block.
constexpr int LastRegisterOf(const SRegisterBlock& block) { return block.nStart + block.nCount - 1; }
constexpr int kLastInputRegister = LastRegisterOf(kType2Blocks[2]);
constexpr int kLastHoldingRegister = LastRegisterOf(kType2Blocks.back());
constexpr std::array<SWireRange, 2> kType2Reads{{{kLastInputRegister, 4, -30001}, {kLastHoldingRegister, 3, -40001}}};

// The parameter page. Index numbering: the settings, the calibration and
// switches, the settings again from the running-data side, and last the
// serial number, whose last word closes the first cycle.
constexpr std::array<SPageReadBlock, 5> kIndexPageBlocks{{
    {{11, 24}, {}, {}},
    {{35, 24}, {}, {}},
    {{120, 23}, {120, 21}, {}},
    {{59, 23}, {}, {}},
    {{1, 3}, {}, {}},
}};
constexpr int kIndexPageCycleEnd = 3;

// Steps of "Set all pars" by index: the settings and the first word of the
// standard name, its other words, the calibration with the switches and the
// address, the serial number.
constexpr std::array<SPageWriteStep, 4> kType0PageWrites{{
    {EPageWriteForm::kRegisters, {92, 23}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {115, 5}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {122, 21}, {122, 19}, {}, false, false},
    {EPageWriteForm::kSerialNumber, {82, 3}, {}, {}, false, false},
}};
// Type 1 is addressed by the slave address it has just been given.
constexpr std::array<SPageWriteStep, 4> kType1PageWrites{{
    {EPageWriteForm::kRegisters, {92, 23}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {115, 5}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {122, 21}, {122, 19}, {}, true, false},
    {EPageWriteForm::kSerialNumber, {82, 3}, {}, {}, false, false},
}};

constexpr std::array<SPageReadBlock, 14> kAddressPageBlocks{{
    {{30001, 20}, {}, {}},
    {{30021, 17}, {}, {}},
    {{31001, 20}, {}, {}},
    {{40001, 12}, {}, {}},
    {{40101, 9}, {}, {}},
    {{40201, 18}, {}, {}},
    {{40221, 2}, {}, {}},
    {{40301, 6}, {}, {}},
    {{40401, 20}, {}, {40401, 4}},
    {{41001, 20}, {}, {}},
    {{41041, 20}, {}, {}},
    {{41061, 5}, {}, {}},
    {{41101, 20}, {}, {}},
    {{40502, 6}, {}, {40101, 1}}, // a large model has no SPI2 settings
}};
constexpr int kAddressPageCycleEnd = 40507;
constexpr int kAddressPageCycleEndLarge = 41109;

// The command word at 40011 unlocks the settings; it also closes several
// blocks, and stands in for the SPI2 blocks that a large model lacks.
constexpr int kUnlockRegister = 40011;
constexpr std::uint16_t kUnlockWord = 0x9999;
constexpr std::array<SPageWriteStep, 11> kAddressPageWrites{{
    {EPageWriteForm::kRegisters, {40101, 5}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {40201, 18}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {40305, 1}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {40403, 1}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {kUnlockRegister, 1}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {41007, 14}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {41047, 19}, {}, {}, false, false},
    {EPageWriteForm::kRegisters, {41101, 6}, {}, {}, false, false},
    // Serial number, unlock word and address: the reply still comes from the old address.
    {EPageWriteForm::kRegisters, {40007, 6}, {}, {}, false, true},
    {EPageWriteForm::kRegisters, {40405, 1}, {}, {kUnlockRegister, 1}, false, false},
    {EPageWriteForm::kRegisters, {40502, 6}, {}, {kUnlockRegister, 1}, false, false},
}};

// Neutral gain (100.0 at scale 10) and offset for the calibration channels
// the page does not show.
constexpr std::uint16_t kNeutralGain = 1000;
constexpr std::uint16_t kNeutralOffset = 0;
// clang-format off
constexpr std::array<SFixedWord, 23> kAddressPageFixedWords{{
    {kUnlockRegister, kUnlockWord},
    {41009, kNeutralGain}, {41010, kNeutralOffset}, {41011, kNeutralGain}, {41012, kNeutralOffset},
    {41013, kNeutralGain}, {41014, kNeutralOffset}, {41017, kNeutralGain}, {41018, kNeutralOffset},
    {41049, kNeutralGain}, {41050, kNeutralOffset}, {41051, kNeutralGain}, {41052, kNeutralOffset},
    {41053, kNeutralGain}, {41054, kNeutralOffset}, {41055, kNeutralGain}, {41056, kNeutralOffset},
    {41057, kNeutralGain}, {41058, kNeutralOffset}, {41059, kNeutralGain}, {41060, kNeutralOffset},
    {41061, kNeutralGain}, {41062, kNeutralOffset},
}};
// clang-format on

constexpr SProtocolFacts kFacts[3] = {
    {
        .nType = 0,
        .nHeaderLength = 6,
        .bAddressedBySerial = true,
        .probe = {1, 3},
        .byProbeAddress = 0x99,
        .bProbeReadsSerial = true,
        .bProbeTeachesAddress = false,
        .nNextProbeType = 2,
        .serial = {1, 3},
        .nSerialWriteRegister = 82, // the first setting
        .version = {45, 1},
        .pollSteps = kIndexPollSteps,
        .nStepAfterConnect = -1,
        .nCycleEndStep = 1,
        .nCycleRestartStep = 1,
        .numbering = ERegisterNumbering::kIndex,
        .readRanges = kType0Reads,
        .writeRange = {INT_MAX, 3, 40109},
        .blocks = {},
        .commandForm = ECommandForm::kCoil,
        .nClearEnergyCoil = 1,
        .nSelfTestCoil = 2,
        .wCommandRegister = 0,
        .wClearEnergyWord = 0,
        .wSelfTestWord = 0,
        .nGfciRegister = 120,
        .nIsoRegister = 121,
        .nIslandRegister = 138,
        .bIslandSwitchInverted = false,
        .pageBlocks = kIndexPageBlocks,
        .nPageCycleEnd = kIndexPageCycleEnd,
        .nPageCycleEndLarge = kIndexPageCycleEnd,
        .pageWriteSteps = kType0PageWrites,
        .pageFixedWords = {},
        .nUnlockRegister = 0,
        .wUnlockWord = 0,
    },
    {
        .nType = 1,
        .nHeaderLength = 1,
        .bAddressedBySerial = false,
        .probe = {142, 1}, // the inverter's own Modbus address
        .byProbeAddress = 0xFF, // any slave answers
        .bProbeReadsSerial = false,
        .bProbeTeachesAddress = true,
        .nNextProbeType = 0,
        .serial = {1, 3},
        .nSerialWriteRegister = 82, // the first setting
        .version = {45, 1},
        .pollSteps = kIndexPollSteps,
        .nStepAfterConnect = -1,
        .nCycleEndStep = 1,
        .nCycleRestartStep = 1,
        .numbering = ERegisterNumbering::kIndex,
        .readRanges = kType1Reads,
        .writeRange = {INT_MAX, 3, -82},
        .blocks = {},
        .commandForm = ECommandForm::kCoil,
        .nClearEnergyCoil = 0,
        .nSelfTestCoil = 1,
        .wCommandRegister = 0,
        .wClearEnergyWord = 0,
        .wSelfTestWord = 0,
        .nGfciRegister = 120,
        .nIsoRegister = 121,
        .nIslandRegister = 138,
        .bIslandSwitchInverted = false,
        .pageBlocks = kIndexPageBlocks,
        .nPageCycleEnd = kIndexPageCycleEnd,
        .nPageCycleEndLarge = kIndexPageCycleEnd,
        .pageWriteSteps = kType1PageWrites,
        .pageFixedWords = {},
        .nUnlockRegister = 0,
        .wUnlockWord = 0,
    },
    {
        .nType = 2,
        .nHeaderLength = 1,
        .bAddressedBySerial = false,
        .probe = {40012, 1}, // the inverter's own Modbus address
        .byProbeAddress = 0,
        .bProbeReadsSerial = false,
        .bProbeTeachesAddress = true,
        .nNextProbeType = -1,
        .serial = {40007, 3},
        .nSerialWriteRegister = 40007,
        .version = {40003, 2},
        .pollSteps = kAddressPollSteps,
        .nStepAfterConnect = 1,
        .nCycleEndStep = 5,
        .nCycleRestartStep = 3,
        .numbering = ERegisterNumbering::kAddress,
        .readRanges = kType2Reads,
        .writeRange = {kLastHoldingRegister, 3, -40001},
        .blocks = kType2Blocks,
        .commandForm = ECommandForm::kCommandWord,
        .nClearEnergyCoil = 0,
        .nSelfTestCoil = 0,
        .wCommandRegister = 0x0131,
        .wClearEnergyWord = 0x8000,
        .wSelfTestWord = 0x4000,
        .nGfciRegister = 41107,
        .nIsoRegister = 41108,
        .nIslandRegister = 41109,
        .bIslandSwitchInverted = true,
        .pageBlocks = kAddressPageBlocks,
        .nPageCycleEnd = kAddressPageCycleEnd,
        .nPageCycleEndLarge = kAddressPageCycleEndLarge,
        .pageWriteSteps = kAddressPageWrites,
        .pageFixedWords = kAddressPageFixedWords,
        .nUnlockRegister = kUnlockRegister,
        .wUnlockWord = kUnlockWord,
    },
};

} // namespace

const SProtocolFacts& ProtocolFacts(int type)
{
    return type == 0 || type == 1 ? kFacts[type] : kFacts[2];
}

bool UsesAddressNumbering(int protocolType)
{
    return ProtocolFacts(protocolType).numbering == ERegisterNumbering::kAddress;
}

bool IsEarlySettingsVersion(std::string_view version)
{
    return version == "V5.00" || version == "V8.05" || version == "V8.11";
}

std::optional<SRegisterBlock> PollStepBlock(int protocolType, int step)
{
    const std::span<const SRegisterBlock> steps = ProtocolFacts(protocolType).pollSteps;
    if (step < 0 || static_cast<std::size_t>(step) >= steps.size() || steps[static_cast<std::size_t>(step)].nCount == 0)
        return std::nullopt;
    return steps[static_cast<std::size_t>(step)];
}
