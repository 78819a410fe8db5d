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

std::optional<SRegisterBlock> PollStepBlock(int protocolType, int step)
{
    const std::span<const SRegisterBlock> steps = ProtocolFacts(protocolType).pollSteps;
    if (step < 0 || static_cast<std::size_t>(step) >= steps.size() || steps[static_cast<std::size_t>(step)].nCount == 0)
        return std::nullopt;
    return steps[static_cast<std::size_t>(step)];
}
