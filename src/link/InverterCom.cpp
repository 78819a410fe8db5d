#include "link/InverterCom.h"

#include "link/Crc16.h"

namespace {

constexpr std::uint8_t kWildcard = 0x99;

// Reads in types 0 and 1 use indices 1 .. 142; settings start at 82.
constexpr int kFirstSetting = 82;

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

std::uint16_t ToBcdWord(unsigned n)
{
    const unsigned value = ((n / 1000 % 10) * 16 + (n / 100 % 10)) * 256 + (n / 10 % 10) * 16 + n % 10;
    return static_cast<std::uint16_t>(value);
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
    m_nHeaderLen.store(type == 0 ? 6 : 1);
}

int CInverterCom::HeaderLength() const
{
    const int n = m_nHeaderLen.load();
    return n < 1 ? 1 : (n > 6 ? 6 : n);
}

// The frame opens with the 6-byte serial number (type 0) or the slave address.
std::size_t CInverterCom::PutHeader(std::uint8_t* frame) const
{
    if (m_nProtocolType.load() == 0) {
        for (std::size_t i = 0; i < 6; ++i)
            frame[i] = m_byAddress[i].load();
        return 6;
    }
    frame[0] = m_byAddress[0].load();
    return 1;
}

CInverterCom::WireRegister CInverterCom::TranslateRead(int nRegister) const
{
    switch (m_nProtocolType.load()) {
    case 0:
        if (nRegister < kFirstSetting)
            return {4, static_cast<std::uint16_t>(nRegister + 39990)};
        return {3, static_cast<std::uint16_t>(nRegister + 40109)};
    case 1:
        if (nRegister < kFirstSetting)
            return {4, static_cast<std::uint16_t>(nRegister - 1)};
        if (nRegister <= 142)
            return {3, static_cast<std::uint16_t>(nRegister - kFirstSetting)};
        return {4, static_cast<std::uint16_t>(nRegister)};
    default:
        // The first block end above the register decides: input blocks
        // first, then holding blocks.
        for (std::size_t row = 0; row < kType2Blocks.size(); ++row) {
            if (nRegister < kType2Blocks[row].nStart + kType2Blocks[row].nCount)
                return row < 3 ? WireRegister{4, static_cast<std::uint16_t>(nRegister - 30001)}
                               : WireRegister{3, static_cast<std::uint16_t>(nRegister - 40001)};
        }
        return {4, static_cast<std::uint16_t>(nRegister)};
    }
}

std::uint16_t CInverterCom::TranslateWrite(int nRegister) const
{
    switch (m_nProtocolType.load()) {
    case 0:
        return static_cast<std::uint16_t>(nRegister + 40109);
    case 1:
        return static_cast<std::uint16_t>(nRegister - kFirstSetting);
    default: {
        const RegisterBlock& last = kType2Blocks.back();
        if (nRegister < last.nStart + last.nCount)
            return static_cast<std::uint16_t>(nRegister - 40001);
        return static_cast<std::uint16_t>(nRegister);
    }
    }
}

void CInverterCom::Record(int nLinkState, int nExpected, int nReplyTimeout)
{
    m_nLinkState.store(nLinkState);
    m_nExpectedValues.store(nExpected);
    m_nReplyTimeout.store(nReplyTimeout);
}

// The request values are recorded before the frame is queued, so a reply
// can never meet the bookkeeping of the previous request.
void CInverterCom::Send(std::uint8_t* frame, std::size_t length)
{
    length = AppendCrc16(frame, length);
    m_dwLastRequestTick.store(platform::GetTickCount());
    QueueTransmission(frame, length);
}

void CInverterCom::ReadRegisters(int nRegister, int nQuantity)
{
    std::uint8_t frame[16];
    std::size_t n = PutHeader(frame);
    const WireRegister wire = TranslateRead(nRegister);
    frame[n++] = static_cast<std::uint8_t>(wire.nFunction);
    frame[n++] = HighByte(wire.wAddress);
    frame[n++] = LowByte(wire.wAddress);
    frame[n++] = 0;
    frame[n++] = LowByte(static_cast<unsigned>(nQuantity));
    Record(kLinkRead, nQuantity, 400);
    m_nLastRegister.store(nRegister);
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
    Record(kLinkWrite, 2, 1500);
    m_nLastRegister.store(-1);
    Send(frame, len);
    return true;
}

void CInverterCom::ReadSerialNumber()
{
    m_bSerialKnown.store(false);
    if (m_nProtocolType.load() == 0) {
        for (auto& b : m_byAddress)
            b.store(kWildcard);
    }
    ReadRegisters(m_nProtocolType.load() == 2 ? 40007 : 1, 3);
}

void CInverterCom::WriteSerialNumber(std::uint64_t number)
{
    int digits[12];
    for (int i = 11; i >= 0; --i) {
        digits[i] = static_cast<int>(number % 10);
        number /= 10;
    }
    std::uint16_t words[3];
    for (int w = 0; w < 3; ++w) {
        const int* d = digits + 4 * w;
        words[w] = static_cast<std::uint16_t>((d[0] << 12) | (d[1] << 8) | (d[2] << 4) | d[3]);
    }
    const bool bType0 = m_nProtocolType.load() == 0;
    // The request still goes to the old address; the new number is adopted after.
    WriteRegisters(words, m_nProtocolType.load() == 2 ? 40007 : 82, 3);
    for (int i = 0; i < 6; ++i) {
        const auto packed = static_cast<std::uint8_t>(digits[2 * i] << 4 | digits[2 * i + 1]);
        m_bySerial[i].store(packed);
        if (bType0)
            m_byAddress[i].store(packed);
    }
}

void CInverterCom::ReadSoftwareVersion()
{
    if (m_nProtocolType.load() == 2)
        ReadRegisters(40003, 2);
    else
        ReadRegisters(45, 1);
}

// Types 0 and 1 write a single coil (0xFF00); type 2 writes a command word
// into holding register 0x0131.
void CInverterCom::SendCommand(bool bSelfTest)
{
    std::uint8_t frame[16];
    std::size_t n = PutHeader(frame);
    switch (m_nProtocolType.load()) {
    case 0:
    case 1: {
        const int coil = (m_nProtocolType.load() == 0 ? 1 : 0) + (bSelfTest ? 1 : 0);
        const std::uint8_t body[] = {0x05, 0x00, static_cast<std::uint8_t>(coil), 0xFF, 0x00};
        for (std::uint8_t b : body)
            frame[n++] = b;
        break;
    }
    default: {
        const std::uint8_t body[] = {0x10, 0x01, 0x31, 0x00, 0x01, 0x02,
                                     static_cast<std::uint8_t>(bSelfTest ? 0x40 : 0x80), 0x00};
        for (std::uint8_t b : body)
            frame[n++] = b;
        break;
    }
    }
    Record(bSelfTest ? kLinkSelfTest : kLinkWrite, 2, 400);
    Send(frame, n);
}

void CInverterCom::SendSelfTest() { SendCommand(true); }

void CInverterCom::SendClearEnergy() { SendCommand(false); }

void CInverterCom::WriteSwitch(int nIndex, int nType2Register, std::uint16_t wValue)
{
    const bool bType2 = m_nProtocolType.load() == 2;
    WriteRegisters(&wValue, bType2 ? nType2Register : nIndex, 1);
}

void CInverterCom::WriteGfciFunction(bool bOn) { WriteSwitch(120, 41107, bOn ? 1 : 0); }

void CInverterCom::WriteIsoFunction(bool bOn) { WriteSwitch(121, 41108, bOn ? 1 : 0); }

// Type 2 keeps this switch inverted: 0 turns the island test on.
void CInverterCom::WriteIslandTestSwitch(bool bOn)
{
    const bool bType2 = m_nProtocolType.load() == 2;
    WriteSwitch(138, 41109, static_cast<std::uint16_t>(bType2 ? (bOn ? 0 : 1) : (bOn ? 1 : 0)));
}

ReplyCheck CInverterCom::CheckReplyTimeout() const
{
    const platform::DWORD now = platform::GetTickCount();
    const platform::DWORD request = m_dwLastRequestTick.load();
    const platform::DWORD reply = m_dwLastReplyTick.load();
    ReplyCheck check;
    check.bReplied = !platform::TickAfter(request, reply);
    check.bTimedOut = platform::TickDiff(now, request) > 2000;
    const int quiet = m_nReplyTimeout.load();
    check.bReady = check.bTimedOut ||
                   (check.bReplied && platform::TickDiff(now, reply) > static_cast<platform::DWORD>(quiet < 0 ? 0 : quiet));
    return check;
}
