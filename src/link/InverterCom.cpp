#include "link/InverterCom.h"

#include "link/Crc16.h"
#include "platform/CommLog.h"

#include <cstdio>

namespace {

struct RatingRow {
    int nWatts;
    const char* pszText;
};
constexpr std::array<RatingRow, 9> kRatings{{{1500, "1.5K"}, {2000, "2K"}, {2500, "2.5K"},
                                             {2800, "2.8K"}, {3000, "3K"}, {3600, "3.6K"},
                                             {4000, "4K"}, {4600, "4.6K"}, {5000, "5K"}}};

char NibbleChar(unsigned nibble) { return static_cast<char>('0' + (nibble & 0x0F)); }

std::uint8_t HighByte(unsigned word) { return static_cast<std::uint8_t>((word >> 8) & 0xFF); }
std::uint8_t LowByte(unsigned word) { return static_cast<std::uint8_t>(word & 0xFF); }

} // namespace

std::string FormatSerialNumber(const std::uint8_t* bytes)
{
    std::string text;
    text.reserve(12);
    for (int i = 0; i < 6; ++i) {
        text += NibbleChar(bytes[i] >> 4);
        text += NibbleChar(bytes[i]);
    }
    return text;
}

std::string FormatSerialNumber(const SerialBytes& bytes) { return FormatSerialNumber(bytes.data()); }

std::string FormatBcdWord(std::uint16_t word)
{
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4)
        text += NibbleChar(static_cast<unsigned>(word) >> shift);
    return text;
}

std::string FormatVersionText(std::uint32_t raw)
{
    char text[32];
    std::snprintf(text, sizeof text, "V%3.2f", static_cast<double>(raw) / 100.0);
    return text;
}

std::uint16_t ToBcdWord(unsigned n)
{
    const unsigned value = ((n / 1000 % 10) * 16 + (n / 100 % 10)) * 256 + (n / 10 % 10) * 16 + n % 10;
    return static_cast<std::uint16_t>(value);
}

std::array<std::uint16_t, 3> SerialNumberWords(std::uint64_t number)
{
    return {ToBcdWord(static_cast<unsigned>(number / 100000000ULL % 10000)),
            ToBcdWord(static_cast<unsigned>(number / 10000ULL % 10000)), ToBcdWord(static_cast<unsigned>(number % 10000))};
}

int RatedPowerFromModelCode(std::uint16_t code)
{
    const unsigned nibble = code >> 12;
    return nibble < kRatings.size() ? kRatings[nibble].nWatts : 0;
}

std::string RatedPowerText(std::uint16_t code)
{
    const unsigned nibble = code >> 12;
    return nibble < kRatings.size() ? kRatings[nibble].pszText : "";
}

CInverterCom::CInverterCom()
{
    for (auto& b : m_byAddress)
        b.store(kWildcard);
    for (auto& b : m_bySerial)
        b.store(0);
}

CInverterCom::~CInverterCom()
{
    // The port thread calls OnReceiveByte: it must end while this object is whole.
    ShutdownPort();
}

SerialBytes CInverterCom::Address() const
{
    SerialBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = m_byAddress[i].load();
    return bytes;
}

void CInverterCom::SetAddress(const SerialBytes& bytes)
{
    for (std::size_t i = 0; i < bytes.size(); ++i)
        m_byAddress[i].store(bytes[i]);
}

SerialBytes CInverterCom::Serial() const
{
    SerialBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = m_bySerial[i].load();
    return bytes;
}

void CInverterCom::SetSerial(const SerialBytes& bytes)
{
    for (std::size_t i = 0; i < bytes.size(); ++i)
        m_bySerial[i].store(bytes[i]);
}

void CInverterCom::SetProtocolType(int type)
{
    m_nProtocolType.store(type);
    m_nHeaderLen.store(ProtocolFacts(type).nHeaderLength);
}

int CInverterCom::HeaderLength() const
{
    const int n = m_nHeaderLen.load();
    return n < 1 ? 1 : (n > 6 ? 6 : n);
}

// The frame opens with the 6-byte serial number (type 0) or the slave address.
std::size_t CInverterCom::PutHeader(std::uint8_t* frame) const
{
    const std::size_t length = static_cast<std::size_t>(Facts().nHeaderLength);
    for (std::size_t i = 0; i < length; ++i)
        frame[i] = m_byAddress[i].load();
    return length;
}

CInverterCom::SWireRegister CInverterCom::TranslateRead(int nRegister) const
{
    for (const SWireRange& range : Facts().readRanges) {
        if (nRegister <= range.nLast)
            return {range.nFunction, static_cast<std::uint16_t>(nRegister + range.nOffset)};
    }
    return {4, static_cast<std::uint16_t>(nRegister)};
}

std::uint16_t CInverterCom::TranslateWrite(int nRegister) const
{
    const SWireRange& range = Facts().writeRange;
    return static_cast<std::uint16_t>(nRegister <= range.nLast ? nRegister + range.nOffset : nRegister);
}

CInverterCom::SRequest CInverterCom::Request() const
{
    std::lock_guard<std::mutex> lock(m_requestLock);
    return m_request;
}

void CInverterCom::SetLinkState(int nLinkState)
{
    std::lock_guard<std::mutex> lock(m_requestLock);
    m_request.nLinkState = nLinkState;
}

void CInverterCom::BeginRequest(int nLinkState, int nRegister, int nExpected, int nReplyTimeout)
{
    std::lock_guard<std::mutex> lock(m_requestLock);
    m_request = {nLinkState, nRegister, nExpected, nReplyTimeout};
}

// The request values are recorded before the frame is queued, so a reply
// can never meet the bookkeeping of the previous request.
void CInverterCom::Send(std::uint8_t* frame, std::size_t length)
{
    length = AppendCrc16(frame, length);
    if (platform::CommLogEnabled())
        platform::CommLog("tx", platform::HexBytes(frame, length));
    m_dwLastRequestTick.store(platform::GetTickCount());
    // Every builder's frame fits the send buffer; one that did not would
    // send nothing, and the supervision sends the poll again at its time-out.
    if (!QueueTransmission(frame, length) && platform::CommLogEnabled())
        platform::CommLog("tx", "not queued: the frame does not fit the send buffer");
}

void CInverterCom::ReadRegisters(int nRegister, int nQuantity)
{
    std::uint8_t frame[16];
    std::size_t n = PutHeader(frame);
    const SWireRegister wire = TranslateRead(nRegister);
    frame[n++] = static_cast<std::uint8_t>(wire.nFunction);
    frame[n++] = HighByte(wire.wAddress);
    frame[n++] = LowByte(wire.wAddress);
    frame[n++] = 0;
    frame[n++] = LowByte(static_cast<unsigned>(nQuantity));
    BeginRequest(kLinkRead, nRegister, nQuantity, 400);
    Send(frame, n);
}

bool CInverterCom::WriteRegisters(const std::uint16_t* pWords, int nRegister, int n)
{
    if (pWords == nullptr || n < 1 || n > kMaxWriteWords)
        return false;
    std::uint8_t frame[kWriteFrameSize];
    std::size_t len = PutHeader(frame);
    const std::uint16_t wire = TranslateWrite(nRegister);
    frame[len++] = 0x10;
    frame[len++] = HighByte(wire);
    frame[len++] = LowByte(wire);
    frame[len++] = 0;
    frame[len++] = static_cast<std::uint8_t>(n);
    frame[len++] = static_cast<std::uint8_t>(2 * n);
    for (int i = 0; i < n; ++i) {
        frame[len++] = HighByte(pWords[i]);
        frame[len++] = LowByte(pWords[i]);
    }
    BeginRequest(kLinkWrite, -1, 2, 1500);
    Send(frame, len);
    return true;
}

void CInverterCom::ReadSerialNumber()
{
    m_bSerialKnown.store(false);
    const SProtocolFacts& facts = Facts();
    if (facts.bAddressedBySerial) {
        for (auto& b : m_byAddress)
            b.store(kWildcard);
    }
    ReadBlock(facts.serial);
}

void CInverterCom::WriteSerialNumber(std::uint64_t number)
{
    const std::array<std::uint16_t, 3> words = SerialNumberWords(number);
    const SProtocolFacts& facts = Facts();
    // The request still goes to the old address; the new number is adopted after.
    // Three words always fit a frame.
    static_cast<void>(WriteRegisters(words.data(), facts.nSerialWriteRegister, 3));
    for (int i = 0; i < 6; ++i) {
        const std::uint16_t word = words[static_cast<std::size_t>(i / 2)];
        const std::uint8_t packed = i % 2 == 0 ? HighByte(word) : LowByte(word);
        m_bySerial[i].store(packed);
        if (facts.bAddressedBySerial)
            m_byAddress[i].store(packed);
    }
}

void CInverterCom::ReadSoftwareVersion() { ReadBlock(Facts().version); }

// A coil (0xFF00) or a command word into the command register.
void CInverterCom::SendCommand(bool bSelfTest)
{
    std::uint8_t frame[16];
    std::size_t n = PutHeader(frame);
    const SProtocolFacts& facts = Facts();
    if (facts.commandForm == ECommandForm::kCoil) {
        const int coil = bSelfTest ? facts.nSelfTestCoil : facts.nClearEnergyCoil;
        const std::uint8_t body[] = {0x05, 0x00, static_cast<std::uint8_t>(coil), 0xFF, 0x00};
        for (std::uint8_t b : body)
            frame[n++] = b;
    } else {
        const std::uint16_t word = bSelfTest ? facts.wSelfTestWord : facts.wClearEnergyWord;
        const std::uint8_t body[] = {0x10, HighByte(facts.wCommandRegister), LowByte(facts.wCommandRegister), 0x00, 0x01, 0x02,
                                     HighByte(word), LowByte(word)};
        for (std::uint8_t b : body)
            frame[n++] = b;
    }
    BeginRequest(bSelfTest ? kLinkSelfTest : kLinkWrite, LastRegister(), 2, 400);
    Send(frame, n);
}

void CInverterCom::SendSelfTest() { SendCommand(true); }

void CInverterCom::SendClearEnergy() { SendCommand(false); }

void CInverterCom::WriteSwitch(int nRegister, std::uint16_t wValue)
{
    static_cast<void>(WriteRegisters(&wValue, nRegister, 1)); // one word always fits a frame
}

void CInverterCom::WriteGfciFunction(bool bOn) { WriteSwitch(Facts().nGfciRegister, bOn ? 1 : 0); }

void CInverterCom::WriteIsoFunction(bool bOn) { WriteSwitch(Facts().nIsoRegister, bOn ? 1 : 0); }

void CInverterCom::WriteIslandTestSwitch(bool bOn)
{
    const SProtocolFacts& facts = Facts();
    WriteSwitch(facts.nIslandRegister, static_cast<std::uint16_t>(bOn != facts.bIslandSwitchInverted ? 1 : 0));
}

SReplyCheck CInverterCom::CheckReplyTimeout() const
{
    const platform::DWORD now = platform::GetTickCount();
    const platform::DWORD request = m_dwLastRequestTick.load();
    const platform::DWORD reply = m_dwLastReplyTick.load();
    SReplyCheck check;
    check.bReplied = !platform::TickAfter(request, reply);
    check.bTimedOut = platform::TickDiff(now, request) > 2000;
    const int quiet = ReplyTimeout();
    check.bReady = check.bTimedOut ||
                   (check.bReplied && platform::TickDiff(now, reply) > static_cast<platform::DWORD>(quiet < 0 ? 0 : quiet));
    return check;
}
