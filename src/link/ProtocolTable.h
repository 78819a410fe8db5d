#pragma once
#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// Plain structs carry an S prefix; their members keep the type prefix
// without m_ (SRegisterBlock::nStart).

// A run of consecutive registers: the first one and how many.
struct SRegisterBlock {
    int nStart = 0;
    int nCount = 0;
    friend constexpr bool operator==(const SRegisterBlock&, const SRegisterBlock&) = default;
};

// How a register is numbered on the wire: a register up to nLast is read
// with nFunction at the register plus nOffset. The first range that covers
// a register applies.
struct SWireRange {
    int nLast;
    int nFunction;
    int nOffset;
};

// How the inverter numbers the registers the program knows: by parameter
// index (1 .. 142) or by five-digit 3xxxx/4xxxx address.
enum class ERegisterNumbering { kIndex, kAddress };

// How the two one-shot commands (self test, clear energy) are sent.
enum class ECommandForm {
    kCoil,        // write single coil (0x05) with 0xFF00
    kCommandWord, // write one holding register with a command word
};

// One read of the parameter page's cycle, with the variants that replace it
// for the early firmware versions and for a large model ({0, 0}: no variant).
struct SPageReadBlock {
    SRegisterBlock block;
    SRegisterBlock earlyVersion;
    SRegisterBlock largeModel;
};

// One write step of the parameter page's "Set all pars": a block of
// registers whose words come from the page, or the link's serial-number
// write. Variants as for the read blocks.
enum class EPageWriteForm { kRegisters, kSerialNumber };
struct SPageWriteStep {
    EPageWriteForm form;
    SRegisterBlock block;
    SRegisterBlock earlyVersion;
    SRegisterBlock largeModel;
    // When the link moves to the Modbus address just written: as soon as the
    // step is sent (the inverter answers from there), or once its reply is in
    // (the inverter answers from the old one). Only when the block holds the
    // address register.
    bool bNewAddressAfterSend;
    bool bNewAddressAfterReply;
};

// A word the page writes as it is, whatever it read or holds.
struct SFixedWord {
    int nRegister;
    std::uint16_t wWord;
};

// Everything that tells the three addressing variants apart, as data. The
// link, detection, polling and the parameter page read their facts from
// here instead of asking which type they are.
struct SProtocolFacts {
    int nType;
    // Address bytes that open every frame: the 6-byte serial number in
    // packed BCD (type 0) or the slave address.
    int nHeaderLength;
    bool bAddressedBySerial;

    // Detection: the probe sent to a port, the address it goes to (types
    // with a slave address), and what the answer teaches.
    SRegisterBlock probe;
    std::uint8_t byProbeAddress;
    bool bProbeReadsSerial;     // the probe is the serial-number read
    bool bProbeTeachesAddress;  // the answer's second data byte is the slave address
    int nNextProbeType;         // the type tried after this one; -1: the port is given up

    SRegisterBlock serial;      // serial number, three BCD words
    int nSerialWriteRegister;   // where a new serial number is written
    SRegisterBlock version;     // software version

    // The power view's poll steps, indexed by step ({0, 0}: nothing sent).
    // A step that reads the serial-number block is sent as a serial read.
    std::span<const SRegisterBlock> pollSteps;
    int nStepAfterConnect;      // the step the first reply after connecting leads to; -1: unchanged
    int nCycleEndStep;          // its reply ends a polling cycle
    int nCycleRestartStep;      // the step sent after a cycle's end

    ERegisterNumbering numbering;
    std::span<const SWireRange> readRanges; // beyond the last range: function 4, unchanged
    SWireRange writeRange;                  // beyond it: the register unchanged

    // Register blocks the inverter holds (address numbering only).
    std::span<const SRegisterBlock> blocks;

    ECommandForm commandForm;
    int nClearEnergyCoil;
    int nSelfTestCoil;
    std::uint16_t wCommandRegister;   // wire address of the command word
    std::uint16_t wClearEnergyWord;
    std::uint16_t wSelfTestWord;

    // The switches written from the parameter page: GFCI, ISO, island test.
    int nGfciRegister;
    int nIsoRegister;
    int nIslandRegister;
    bool bIslandSwitchInverted; // 0 turns the island test on

    // The parameter page: its read cycle, the register whose value closes
    // the first cycle (for a large model the other one), the steps of "Set
    // all pars", the words written as given, and the unlock word written
    // before the first switch of a dialog (register 0: none).
    std::span<const SPageReadBlock> pageBlocks;
    int nPageCycleEnd;
    int nPageCycleEndLarge;
    std::span<const SPageWriteStep> pageWriteSteps;
    std::span<const SFixedWord> pageFixedWords;
    int nUnlockRegister;
    std::uint16_t wUnlockWord;
};

// The facts of protocol type 0, 1 or 2; any other number gets type 2's,
// which is what the link has always done with an unknown type.
const SProtocolFacts& ProtocolFacts(int type);

// Detection tries the types in this order, starting here.
constexpr int kFirstProbeType = 1;

bool UsesAddressNumbering(int protocolType);

// Firmware versions (the version text read under type 0) whose settings end
// at index 140: the page reads and writes two registers fewer.
bool IsEarlySettingsVersion(std::string_view version);

// The block that poll step `step` of a protocol type reads, or nothing when
// the step sends no request.
std::optional<SRegisterBlock> PollStepBlock(int protocolType, int step);

// Register blocks of protocol type 2, input registers first.
constexpr std::array<SRegisterBlock, 13> kType2Blocks{{
    {30001, 37}, {30201, 100}, {31001, 28},                           // input registers
    {40001, 12}, {40101, 9}, {40201, 22}, {40301, 6}, {40401, 40},  // holding registers
    {40501, 20}, {41001, 65}, {41101, 27}, {41201, 64}, {43001, 28}}};
