#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/ProtocolTable.h"
#include "link/SerialPort.h"
#include "platform/Tick.h"

using SerialBytes = std::array<std::uint8_t, 6>;

// Serial number as 12 characters: per byte the high nibble, then the low
// nibble, each as '0' + nibble.
std::string FormatSerialNumber(const SerialBytes& bytes);
std::string FormatSerialNumber(const std::uint8_t* bytes); // 6 bytes
// A 16-bit word as 4 characters, most significant nibble first.
std::string FormatBcdWord(std::uint16_t word);
// The firmware version text: "V%3.2f" of raw / 100, e.g. raw 805 gives "V8.05".
std::string FormatVersionText(std::uint32_t raw);
// n (0..9999; larger values keep their last four digits) as a packed-BCD word.
std::uint16_t ToBcdWord(unsigned n);
// Rated power in watts from the top nibble of a model code (1500 .. 5000).
// A nibble without a rating (9 .. 15) gives 0: "unknown", never a divisor.
int RatedPowerFromModelCode(std::uint16_t code);
// Rating label ("1.5K" .. "5K"); empty for a nibble without a rating.
std::string RatedPowerText(std::uint16_t code);

// Link states of the outstanding request.
constexpr int kLinkSelfTest = 1;
constexpr int kLinkRead = 2;
constexpr int kLinkWrite = 3;
constexpr int kLinkIdle = 4;

// The serial number's three packed-BCD words, four digits each, from the
// last twelve decimal digits of `number`.
std::array<std::uint16_t, 3> SerialNumberWords(std::uint64_t number);

// The three facts of a reply check (see CheckReplyTimeout).
struct SReplyCheck {
    bool bReplied = false;  // a good reply arrived since the request
    bool bTimedOut = false; // more than 2000 ms since the request
    bool bReady = false;    // timed out, or replied and the quiet time is over
};

// The link to the inverter: request frames in the three protocol types, and
// the reply parser that posts one WM_REGISTER_VALUE per 16-bit word to the
// owner. Builders may be called from the poll thread or the UI thread; the
// parser runs on the port thread. Members shared between those threads are
// atomics.
class CInverterCom : public CSerialPort {
public:
    static constexpr std::size_t kReceiveBufferSize = 256;
    static constexpr std::size_t kWriteFrameSize = 200;
    static constexpr int kMaxWriteWords = 93; // 14 + 2n bytes fit the 200-byte frame
    static constexpr std::uint8_t kWildcard = 0x99; // type 0: any serial number answers

    CInverterCom();
    ~CInverterCom() override;

    // --- addressing (any thread) ---
    int ProtocolType() const { return m_nProtocolType.load(); }
    const SProtocolFacts& Facts() const { return ProtocolFacts(m_nProtocolType.load()); }
    // Switches the addressing variant together with the reply header it
    // implies: 6 address bytes under type 0, one slave address otherwise.
    void SetProtocolType(int type);
    // Address bytes of the reply header, kept within 1 .. 6.
    int HeaderLength() const;
    // Type 0: serial number in packed BCD, sent as the frame's address;
    // types 1 and 2: byte 0 is the slave address. Starts as the wildcard.
    SerialBytes Address() const;
    void SetAddress(const SerialBytes& bytes);
    std::uint8_t AddressByte(int i) const { return m_byAddress[i].load(); }
    void SetAddressByte(int i, std::uint8_t b) { m_byAddress[i].store(b); }
    // Serial number learned from the inverter, packed BCD, high digits first.
    SerialBytes Serial() const;
    void SetSerial(const SerialBytes& bytes);
    bool IsSerialKnown() const { return m_bSerialKnown.load(); }
    void SetSerialKnown(bool bKnown) { m_bSerialKnown.store(bKnown); }
    // A detection probe is outstanding: its answer teaches the address.
    bool IsProbePending() const { return m_bProbePending.load(); }
    void SetProbePending(bool bPending) { m_bProbePending.store(bPending); }
    // Passed as wParam with every posted value.
    int Tag() const { return m_nTag.load(); }
    void SetTag(int nTag) { m_nTag.store(nTag); }

    // --- the request in flight (any thread) ---
    // Its state, start register, values expected and quiet time, set in one
    // step so that no reader sees one request's state with another's count.
    struct SRequest {
        int nLinkState = kLinkIdle;
        int nRegister = 0; // start register of the last read; -1 after a write
        int nExpected = 0;
        int nReplyTimeout = 200;
    };
    SRequest Request() const;
    int LinkState() const { return Request().nLinkState; }
    // The reply is complete (UI thread, when the last value has arrived).
    void SetLinkState(int nLinkState);
    int ExpectedValues() const { return Request().nExpected; }
    int ReplyTimeout() const { return Request().nReplyTimeout; }
    // Start register of the last read; -1 after a write.
    int LastRegister() const { return Request().nRegister; }
    platform::DWORD LastRequestTick() const { return m_dwLastRequestTick.load(); }
    platform::DWORD LastReplyTick() const { return m_dwLastReplyTick.load(); }
    // For tests that place the request or the reply in time.
    void SetLastRequestTick(platform::DWORD tick) { m_dwLastRequestTick.store(tick); }
    void SetLastReplyTick(platform::DWORD tick) { m_dwLastReplyTick.store(tick); }

    // --- request builders (poll thread or UI thread) ---
    void ReadRegisters(int nRegister, int nQuantity);
    void ReadBlock(const SRegisterBlock& block) { ReadRegisters(block.nStart, block.nCount); }
    // False (nothing sent, bookkeeping untouched) when n is not 1 .. 93.
    [[nodiscard]] bool WriteRegisters(const std::uint16_t* pWords, int nRegister, int n);
    void ReadSerialNumber();
    void WriteSerialNumber(std::uint64_t number);
    void ReadSoftwareVersion();
    void SendSelfTest();
    void SendClearEnergy();
    void WriteGfciFunction(bool bOn);
    void WriteIsoFunction(bool bOn);
    void WriteIslandTestSwitch(bool bOn);

    // Function code and wire address of a read of `nRegister` in the
    // current protocol type.
    struct SWireRegister {
        int nFunction;
        std::uint16_t wAddress;
    };
    SWireRegister TranslateRead(int nRegister) const;
    std::uint16_t TranslateWrite(int nRegister) const;

    // replied / timed out / ready, now being GetTickCount().
    SReplyCheck CheckReplyTimeout() const;

    // --- receive parser (port thread) ---
    void OnReceiveByte(std::uint8_t byte) override;
    // Back to hunting a header (state 0, position 0).
    void ResetReceiver();
    // 0 hunting the header, 1 function code, 2 data and CRC.
    int ReceiveState() const;

private:
    // The parser's state, under m_recvLock.
    struct SReceiver {
        int nState = 0;
        int nPos = 0;
        int nFrameHeader = 6; // header length of the frame being read
        int nFuncCode = 0;
        int nDataLen = 0;
        int nExtraLen = 0;
        std::array<std::uint8_t, kReceiveBufferSize> byBuf{};
    };

    std::size_t PutHeader(std::uint8_t* frame) const;
    void Send(std::uint8_t* frame, std::size_t length);
    // Sets the request in flight: state, start register, values expected,
    // the quiet time after its reply, and (with the frame) its time.
    void BeginRequest(int nLinkState, int nRegister, int nExpected, int nReplyTimeout);
    void SendCommand(bool bSelfTest);
    void WriteSwitch(int nRegister, std::uint16_t wValue);
    void OnFrame(const SReceiver& rx);

    std::atomic<int> m_nProtocolType{0};
    std::atomic<std::uint8_t> m_byAddress[6];
    std::atomic<std::uint8_t> m_bySerial[6];
    std::atomic<int> m_nHeaderLen{6};
    std::atomic<bool> m_bSerialKnown{true};
    std::atomic<bool> m_bProbePending{false};
    std::atomic<int> m_nTag{0};

    mutable std::mutex m_requestLock; // the request in flight
    SRequest m_request;
    std::atomic<platform::DWORD> m_dwLastRequestTick{0};
    std::atomic<platform::DWORD> m_dwLastReplyTick{0};

    mutable std::mutex m_recvLock; // parser state: port thread vs. ResetReceiver
    SReceiver m_rx;
};
