#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/SerialPort.h"
#include "platform/Tick.h"

using SerialBytes = std::array<std::uint8_t, 6>;

// Serial number as 12 characters: per byte the high nibble, then the low
// nibble, each as '0' + nibble.
std::string FormatSerialNumber(const SerialBytes& bytes);
std::string FormatSerialNumber(const std::uint8_t* bytes); // 6 bytes
// A 16-bit word as 4 characters, most significant nibble first.
std::string FormatBcdWord(std::uint16_t word);
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

// Register blocks of protocol type 2: start register and count.
struct RegisterBlock {
    int nStart;
    int nCount;
};
constexpr std::array<RegisterBlock, 13> kType2Blocks{{
    {30001, 37}, {30201, 100}, {31001, 28},                               // input registers
    {40001, 12}, {40101, 9}, {40201, 22}, {40301, 6}, {40401, 40},      // holding registers
    {40501, 20}, {41001, 65}, {41101, 27}, {41201, 64}, {43001, 28}}};

// The three facts of a reply check (see CheckReplyTimeout).
struct ReplyCheck {
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

    CInverterCom();
    ~CInverterCom() override;

    // --- addressing ---
    std::atomic<int> m_nProtocolType{0};
    // Type 0: serial number in packed BCD, sent as the frame's address;
    // types 1 and 2: byte 0 is the slave address. Starts as the wildcard.
    std::atomic<std::uint8_t> m_byAddress[6];
    // Serial number learned from the inverter, packed BCD, high digits first.
    std::atomic<std::uint8_t> m_bySerial[6];
    std::atomic<int> m_nHeaderLen{6};
    std::atomic<bool> m_bSerialKnown{true};
    // Switches the addressing variant together with the reply header it
    // implies: 6 address bytes under type 0, one slave address otherwise.
    void SetProtocolType(int type);
    std::atomic<bool> m_bProbePending{false};
    std::atomic<int> m_nTag{0};

    // --- request bookkeeping ---
    std::atomic<int> m_nLinkState{kLinkIdle};
    std::atomic<int> m_nExpectedValues{0};
    std::atomic<int> m_nReplyTimeout{200};
    std::atomic<int> m_nLastRegister{0};
    std::atomic<platform::DWORD> m_dwLastRequestTick{0};
    std::atomic<platform::DWORD> m_dwLastReplyTick{0};

    SerialBytes Address() const;
    void SetAddress(const SerialBytes& bytes);
    SerialBytes Serial() const;
    void SetSerial(const SerialBytes& bytes);

    // --- request builders ---
    void ReadRegisters(int nRegister, int nQuantity);
    // False (nothing sent, bookkeeping untouched) when n is not 1 .. 93.
    bool WriteRegisters(const std::uint16_t* pWords, int nRegister, int n);
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
    struct WireRegister {
        int nFunction;
        std::uint16_t wAddress;
    };
    WireRegister TranslateRead(int nRegister) const;
    std::uint16_t TranslateWrite(int nRegister) const;

    // replied / timed out / ready, now being GetTickCount().
    ReplyCheck CheckReplyTimeout() const;

    // --- receive parser ---
    void OnReceiveByte(std::uint8_t byte) override;
    // Back to hunting a header (state 0, position 0).
    void ResetReceiver();
    // 0 hunting the header, 1 function code, 2 data and CRC.
    int ReceiveState() const { return m_nRecvState.load(); }

private:
    int HeaderLength() const; // m_nHeaderLen kept within 1 .. 6
    std::size_t PutHeader(std::uint8_t* frame) const;
    void Send(std::uint8_t* frame, std::size_t length);
    void Record(int nLinkState, int nExpected, int nReplyTimeout);
    void SendCommand(bool bSelfTest);
    void WriteSwitch(int nIndex, int nType2Register, std::uint16_t wValue);

    std::mutex m_recvLock; // parser state: port thread vs. ResetReceiver
    std::atomic<int> m_nRecvState{0};
    int m_nRecvPos = 0;
    int m_nFrameHeader = 6; // header length of the frame being read
    int m_nFuncCode = 0;
    int m_nDataLen = 0;
    int m_nExtraLen = 0;
    std::array<std::uint8_t, kReceiveBufferSize> m_byRecvBuf{};
};
