#pragma once
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "DaySimulation.h"

// Who the simulated inverter is. Chosen at start; the Modbus address and
// the serial number change when the program writes new ones.
struct SimIdentity {
    int nProtocolType = 1;                 // 0, 1 or 2
    int nAddress = 1;                      // Modbus slave address (types 1 and 2)
    std::uint64_t qwSerial = 123456789012; // 12 decimal digits
    std::int64_t nModelCode = -1;          // -1: a 3 kW model of the protocol type
    std::string strVersion = "V8.05";      // software version, "V" and a number with two decimals
    std::uint32_t dwSeed = 1;              // the weather and the line faults repeat for one seed
};

// Simulated time: the time of day at the start and how much faster than
// the real clock it runs.
struct SimTime {
    double dStartSecondOfDay = 12.0 * 3600.0;
    double dScale = 1.0;
};

// Faults on the line, all off by default. Shares are percentages 0..100.
struct SimFaults {
    bool bSilence = false;      // no replies at all
    int nDropPercent = 0;       // replies that are never sent
    int nBadCrcPercent = 0;     // replies with a wrong CRC
    int nCutPercent = 0;        // replies that stop part way
    int nExceptionPercent = 0;  // "slave device failure" instead of the reply
    int nNoiseBytes = 0;        // random bytes sent before each reply
    int nSlowMs = 0;            // extra delay before each reply
    bool bFaultWordSet = false; // fault bits given by the operator
    std::uint32_t dwFaultWord = 0;
    int nStateCode = -1; // running-state code given by the operator; -1 follows the day
};

// One piece of output: the bytes to write after a delay from the moment the
// request was complete.
struct SimReply {
    std::vector<std::uint8_t> bytes;
    int nDelayMs = 0;
};

// The inverter side of the line: request bytes in, reply bytes out. It
// frames requests itself (a pause on the line ends a half-received frame),
// answers those addressed to it in its protocol type, and keeps silent for
// anything else, as an inverter on a bus would.
class CInverterSim {
public:
    static constexpr int kFrameGapMs =
        50; // a pause this long discards a half-received frame (USB adapters deliver in bursts)
    static constexpr int kMaxReadCount = 125;

    // originMs is the monotonic time at which simulated time starts.
    CInverterSim(const SimIdentity& identity, const SimTime& time, std::int64_t originMs);

    // Bytes from the line at monotonic time nowMs; returns what to send back.
    std::vector<SimReply> Receive(const std::uint8_t* data, std::size_t length, std::int64_t nowMs);
    std::vector<SimReply> Receive(const std::vector<std::uint8_t>& data, std::int64_t nowMs)
    {
        return Receive(data.data(), data.size(), nowMs);
    }

    SimFaults& Faults() { return m_faults; }
    const SimFaults& Faults() const { return m_faults; }
    void SetTurnaroundMs(int ms) { m_nTurnaroundMs = ms; }

    // Brings the day up to nowMs (Receive does this before answering).
    void AdvanceTo(std::int64_t nowMs);
    double SimSeconds(std::int64_t nowMs) const;

    int ProtocolType() const { return m_id.nProtocolType; }
    int Address() const { return m_id.nAddress; }
    std::uint64_t Serial() const { return m_id.qwSerial; }
    std::int64_t ModelCode() const { return m_id.nModelCode; }
    int RatedWatts() const { return m_day.RatedWatts(); }
    const CDaySimulation& Day() const { return m_day; }
    int StateCode() const;
    std::uint32_t FaultWord() const;

    // Register contents as the program numbers them: an index 1..142 under
    // types 0 and 1, a 3xxxx/4xxxx register under type 2. False outside the map.
    bool ReadRegister(int reg, std::uint16_t& value) const;
    // The console's "get REG [COUNT]": true when the line is that command,
    // with the answer ("ok" and the words, or "error: ...").
    bool AnswerGetCommand(const std::string& line, std::string& answer) const;

    // What the program's running-data decoding makes of the rated power of a model code.
    static int RatedWattsOf(int protocolType, std::int64_t modelCode);
    static std::int64_t DefaultModelCode(int protocolType);

private:
    enum Exception : std::uint8_t { kIllegalFunction = 1, kIllegalAddress = 2, kIllegalValue = 3, kDeviceFailure = 4 };

    // Length of the frame that starts the receive buffer: 0 while more bytes
    // are needed, -1 when no request can start here.
    int FrameLength() const;
    void HandleFrame(const std::uint8_t* frame, int length, std::vector<SimReply>& out);
    bool IsAddressedToMe(const std::uint8_t* frame) const;
    // Builds the reply body (after the header) or an exception code.
    int Execute(const std::uint8_t* pdu, int length, std::vector<std::uint8_t>& body, bool& addressChanged);
    int ReadWords(int fc, int wire, int count, std::vector<std::uint8_t>& body) const;
    int WriteWords(int wire, const std::uint8_t* words, int count);
    int WriteCoil(int coil, int value);
    bool WireToRegister(int fc, int wire, int& reg) const;
    bool WriteRegisterToIndex(int wire, int& reg) const;
    int CheckWrite(int reg, std::uint16_t value) const;
    void StoreWord(int reg, std::uint16_t value);
    bool RunningValue(int reg, std::uint16_t& value) const;
    void SelfTest();
    void ClearEnergy();
    std::vector<std::uint8_t> Header() const;
    void ApplyFaults(std::vector<std::uint8_t>& frame, std::uint8_t fc, std::vector<SimReply>& out);
    bool Chance(int percent);
    void SyncSettingsToDay();

    SimIdentity m_id;
    SimTime m_time;
    std::int64_t m_nOriginMs;
    CDaySimulation m_day;
    SimFaults m_faults;
    int m_nTurnaroundMs = 10;
    std::mt19937 m_rng;

    std::vector<std::uint8_t> m_rx;
    std::int64_t m_nLastByteMs = 0;
    std::uint8_t m_byRequestHeader[6] = {};

    // Settings that read back: the index map (types 0 and 1) and the
    // holding registers 40001..43028 (type 2).
    std::array<std::uint16_t, 143> m_wIndex{};
    std::vector<std::uint16_t> m_wHolding;
};
