#include "InverterSim.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "link/Crc16.h"
#include "link/InverterCom.h"
#include "model/RegisterMap.h"

namespace {

constexpr double kSelfTestSeconds = 60.0; // off the grid while the self test runs
constexpr std::uint8_t kWildcardSerialByte = 0x99;
constexpr std::uint8_t kProbeAddressType1 = 0xFF;
constexpr std::uint8_t kProbeAddressType2 = 0x00;

// Type 2 holding registers 40001..43028.
constexpr int kHoldingFirst = 40001;
constexpr int kHoldingCount = 3028;
constexpr int kInputFirst = 30001;
constexpr int kInputCount = 1028;
constexpr int kCommandRegister = 40001 + 0x0131; // self test and clear energy
constexpr std::uint16_t kCommandSelfTest = 0x4000;
constexpr std::uint16_t kCommandClearEnergy = 0x8000;

bool IsBcd(std::uint16_t w)
{
    for (int shift = 0; shift < 16; shift += 4)
        if (((w >> shift) & 0xF) > 9)
            return false;
    return true;
}

unsigned FromBcd4(std::uint16_t w)
{
    return ((w >> 12) & 0xF) * 1000u + ((w >> 8) & 0xF) * 100u + ((w >> 4) & 0xF) * 10u + (w & 0xF);
}

// The serial number as three groups of four digits, most significant first.
std::uint16_t SerialWord(std::uint64_t serial, int group)
{
    return SerialNumberWords(serial)[static_cast<std::size_t>(group)];
}

std::uint64_t WithSerialWord(std::uint64_t serial, int group, std::uint16_t word)
{
    std::uint64_t g[3] = {serial / 100000000ull % 10000, serial / 10000 % 10000, serial % 10000};
    g[group] = FromBcd4(word);
    return g[0] * 100000000ull + g[1] * 10000ull + g[2];
}

// "V8.05" -> 805: the version register holds hundredths.
unsigned VersionHundredths(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && !(std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
        ++i;
    const double v = std::strtod(text.c_str() + i, nullptr);
    return static_cast<unsigned>(std::clamp(std::lround(v * 100.0), 0L, 9999L));
}

std::uint16_t Scaled(double value, double scale)
{
    const long raw = std::lround(value * scale);
    return static_cast<std::uint16_t>(std::clamp(raw, 0L, 65535L));
}

// Counters are cut, not rounded, so they never run ahead of what was produced.
std::uint32_t ScaledCounter(double value, double scale)
{
    return static_cast<std::uint32_t>(std::floor(value * scale));
}

std::uint16_t High(std::uint32_t v)
{
    return static_cast<std::uint16_t>(v >> 16);
}
std::uint16_t Low(std::uint32_t v)
{
    return static_cast<std::uint16_t>(v & 0xFFFF);
}

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t w)
{
    out.push_back(static_cast<std::uint8_t>(w >> 8));
    out.push_back(static_cast<std::uint8_t>(w & 0xFF));
}

int Word(const std::uint8_t* p)
{
    return (p[0] << 8) | p[1];
}

void PutText(std::uint16_t* regs, const char* text12)
{
    for (int k = 0; k < 6; ++k)
        regs[k] = static_cast<std::uint16_t>((static_cast<std::uint8_t>(text12[2 * k]) << 8) |
                                             static_cast<std::uint8_t>(text12[2 * k + 1]));
}

} // namespace

std::int64_t CInverterSim::DefaultModelCode(int protocolType)
{
    return protocolType == 2 ? 0x4000 : 30;
}

int CInverterSim::RatedWattsOf(int protocolType, std::int64_t modelCode)
{
    // The array is sized by the rating the program reads off the model code.
    const int code = protocolType == 2 ? static_cast<int>(modelCode & 0xFFFF)
                                       : static_cast<int>(std::clamp<std::int64_t>(modelCode, 0, 65535));
    return RatedPower(protocolType, code);
}

CInverterSim::CInverterSim(const SimIdentity& identity, const SimTime& time, std::int64_t originMs)
    : m_id(identity), m_time(time), m_nOriginMs(originMs),
      m_day(identity.dwSeed,
            RatedWattsOf(identity.nProtocolType,
                         identity.nModelCode < 0 ? DefaultModelCode(identity.nProtocolType) : identity.nModelCode)),
      m_rng(identity.dwSeed), m_wHolding(kHoldingCount, 0)
{
    if (m_id.nModelCode < 0)
        m_id.nModelCode = DefaultModelCode(m_id.nProtocolType);

    // Index map (types 0 and 1): the settings at their read indices; the
    // write indices hold the same values.
    static constexpr std::uint16_t kSettings[] = {
        1500, 60,   2030, 1800, 50,   10,   2700, 2900, 50, 10, // 46..55 start, voltage limits and times
        4800, 4500, 50,   10,   5200, 5500, 50,   10,           // 56..63 frequency limits and times
        3000, 2000, 1,    3,                                    // 64..67 DCI-Limit, DCI-Shift, language, contrast
    };
    std::copy(std::begin(kSettings), std::end(kSettings), m_wIndex.begin() + 46);
    PutText(&m_wIndex[68], "AS4777      ");
    m_wIndex[74] = 1;    // GFCI on
    m_wIndex[75] = 1;    // ISO on
    m_wIndex[76] = 12;   // insulation samples
    m_wIndex[77] = 30;   // their maximum
    m_wIndex[78] = 2000; // insulation reading
    m_wIndex[81] = 1000; // full power, 100.0 %
    for (int i = 46; i <= 75; ++i)
        m_wIndex[i + 46] = m_wIndex[i];
    m_wIndex[140] = m_wIndex[81];
    for (int i = 122; i <= 137; ++i)
        m_wIndex[i] = (i % 2 == 0) ? 0 : 1000; // offsets 0, gains 100.0
    m_wIndex[138] = 0;                         // island test on
    m_wIndex[141] = static_cast<std::uint16_t>(m_id.nProtocolType);

    // Holding registers (type 2).
    auto h = [this](int reg) -> std::uint16_t& { return m_wHolding[reg - kHoldingFirst]; };
    h(40004) = 0x0100; // hardware version 1.00
    h(40006) = 1;      // manufacturer
    h(40101) = 1500;
    h(40105) = 60;
    static constexpr std::uint16_t kGrid[] = {0,    2030, 1800, 50, 10,   2700, 2900, 50, 10,
                                              4800, 4500, 50,   10, 5200, 5500, 50,   10, 3000}; // 40201..40218
    std::copy(std::begin(kGrid), std::end(kGrid), m_wHolding.begin() + (40201 - kHoldingFirst));
    h(40305) = 1;
    h(40403) = 1000;
    h(40405) = 83;
    static constexpr std::uint16_t kSpi[] = {5050, 4950, 10, 10, 5010, 4990}; // 40502..40507
    std::copy(std::begin(kSpi), std::end(kSpi), m_wHolding.begin() + (40502 - kHoldingFirst));
    for (int reg = 41007; reg <= 41062; ++reg)
        h(reg) = (reg % 2 == 1) ? 1000 : 0; // gains at odd registers, offsets at even ones
    h(41065) = 2000;
    PutText(&h(41101), "AS4777      ");
    h(41107) = 1;
    h(41108) = 1;
    h(41109) = 1;

    m_day.Start(SimSeconds(originMs));
    SyncSettingsToDay();
}

double CInverterSim::SimSeconds(std::int64_t nowMs) const
{
    return m_time.dStartSecondOfDay + static_cast<double>(nowMs - m_nOriginMs) * m_time.dScale / 1000.0;
}

void CInverterSim::SyncSettingsToDay()
{
    const std::uint16_t limit = m_id.nProtocolType == 2 ? m_wHolding[40403 - kHoldingFirst] : m_wIndex[81];
    m_day.SetPowerLimitPercent(limit / 10.0);
    m_day.SetStopped(FaultWord() != 0);
}

void CInverterSim::AdvanceTo(std::int64_t nowMs)
{
    SyncSettingsToDay();
    m_day.AdvanceTo(SimSeconds(nowMs));
}

std::uint32_t CInverterSim::FaultWord() const
{
    return m_faults.bFaultWordSet ? m_faults.dwFaultWord : 0;
}

int CInverterSim::StateCode() const
{
    if (m_faults.nStateCode >= 0)
        return m_faults.nStateCode;
    const bool type2 = m_id.nProtocolType == 2;
    if (FaultWord() != 0)
        return type2 ? 128 : 3;
    if (m_day.IsPaused())
        return type2 ? 2 : 0; // reconnecting after the self test
    if (m_day.IsInverting())
        return 1;
    return type2 ? 8 : 0;
}

std::vector<std::uint8_t> CInverterSim::Header() const
{
    if (m_id.nProtocolType != 0)
        return {static_cast<std::uint8_t>(m_id.nAddress)};
    std::vector<std::uint8_t> h;
    for (int g = 0; g < 3; ++g)
        PutWord(h, SerialWord(m_id.qwSerial, g));
    return h;
}

bool CInverterSim::IsAddressedToMe(const std::uint8_t* frame) const
{
    switch (m_id.nProtocolType) {
    case 0: {
        const auto own = Header();
        return std::equal(own.begin(), own.end(), frame) ||
               std::all_of(frame, frame + 6, [](std::uint8_t b) { return b == kWildcardSerialByte; });
    }
    case 1:
        return frame[0] == m_id.nAddress || frame[0] == kProbeAddressType1;
    default:
        return frame[0] == m_id.nAddress || frame[0] == kProbeAddressType2;
    }
}

int CInverterSim::FrameLength() const
{
    const int h = m_id.nProtocolType == 0 ? 6 : 1;
    const auto have = static_cast<int>(m_rx.size());
    if (have < h + 1)
        return 0;
    switch (m_rx[h]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
        return h + 7; // function code, two words, CRC
    case 15:
    case 16:
        if (have < h + 6)
            return 0;
        return h + 6 + m_rx[h + 5] + 2; // ... byte count, data, CRC
    default:
        return -1;
    }
}

std::vector<SimReply> CInverterSim::Receive(const std::uint8_t* data, std::size_t length, std::int64_t nowMs)
{
    std::vector<SimReply> out;
    if (!m_rx.empty() && nowMs - m_nLastByteMs > kFrameGapMs)
        m_rx.clear(); // the rest of that frame never came
    m_nLastByteMs = nowMs;
    m_rx.insert(m_rx.end(), data, data + length);
    AdvanceTo(nowMs);

    for (;;) {
        const int len = FrameLength();
        if (len == 0 || len > static_cast<int>(m_rx.size()))
            break;
        if (len > 0 && CheckCrc16(m_rx.data(), static_cast<std::size_t>(len))) {
            HandleFrame(m_rx.data(), len, out);
            m_rx.erase(m_rx.begin(), m_rx.begin() + len);
        } else {
            m_rx.erase(m_rx.begin()); // not a request here: look for one a byte later
        }
    }
    return out;
}

void CInverterSim::HandleFrame(const std::uint8_t* frame, int length, std::vector<SimReply>& out)
{
    if (!IsAddressedToMe(frame))
        return;
    const int h = m_id.nProtocolType == 0 ? 6 : 1;
    std::vector<std::uint8_t> reply(frame, frame + h); // answer with the address asked for
    std::vector<std::uint8_t> body;
    bool addressChanged = false;
    const int code = Execute(frame + h, length - h - 2, body, addressChanged);
    // Types 0 and 1 switch to a new address as soon as they have sent the
    // write, so the echo must already come from there to be heard.
    if (addressChanged && m_id.nProtocolType != 2)
        reply = Header();
    const std::uint8_t fc = frame[h];
    if (code != 0) {
        reply.push_back(static_cast<std::uint8_t>(fc | 0x80));
        reply.push_back(static_cast<std::uint8_t>(code));
    } else {
        reply.insert(reply.end(), body.begin(), body.end());
    }
    reply.resize(reply.size() + 2);
    AppendCrc16(reply.data(), reply.size() - 2);
    ApplyFaults(reply, fc, out);
}

int CInverterSim::Execute(const std::uint8_t* pdu, int length, std::vector<std::uint8_t>& body, bool& addressChanged)
{
    const int fc = pdu[0];
    const int wire = Word(pdu + 1);
    const int second = Word(pdu + 3); // quantity or value
    const int oldAddress = m_id.nAddress;
    const std::uint64_t oldSerial = m_id.qwSerial;
    int code = 0;
    switch (fc) {
    case 3:
    case 4:
        if (second < 1 || second > kMaxReadCount)
            return kIllegalValue;
        body = {static_cast<std::uint8_t>(fc), static_cast<std::uint8_t>(2 * second)};
        return ReadWords(fc, wire, second, body);
    case 5:
        code = WriteCoil(wire, second);
        break;
    case 6:
        code = WriteWords(wire, pdu + 3, 1);
        break;
    case 16:
        if (second < 1 || second > 123 || pdu[5] != 2 * second || length != 6 + 2 * second)
            return kIllegalValue;
        code = WriteWords(wire, pdu + 6, second);
        break;
    default:
        return kIllegalFunction;
    }
    if (code == 0)
        body.assign(pdu, pdu + 5); // writes echo function code, address and quantity or value
    addressChanged = (m_id.nProtocolType == 0 && m_id.qwSerial != oldSerial) ||
                     (m_id.nProtocolType == 1 && m_id.nAddress != oldAddress);
    return code;
}

bool CInverterSim::WireToRegister(int fc, int wire, int& reg) const
{
    switch (m_id.nProtocolType) {
    case 0:
        reg = fc == 4 ? wire - 39990 : wire - 40109;
        return fc == 4 ? (reg >= 1 && reg <= 81) : (reg >= 82 && reg <= 142);
    case 1:
        reg = fc == 4 ? wire + 1 : wire + 82;
        return fc == 4 ? (reg >= 1 && reg <= 81) : (reg >= 82 && reg <= 142);
    default:
        reg = (fc == 4 ? kInputFirst : kHoldingFirst) + wire;
        return wire < (fc == 4 ? kInputCount : kHoldingCount);
    }
}

int CInverterSim::ReadWords(int fc, int wire, int count, std::vector<std::uint8_t>& body) const
{
    for (int i = 0; i < count; ++i) {
        int reg = 0;
        std::uint16_t v = 0;
        if (!WireToRegister(fc, wire + i, reg) || !ReadRegister(reg, v))
            return kIllegalAddress;
        PutWord(body, v);
    }
    return 0;
}

bool CInverterSim::AnswerGetCommand(const std::string& line, std::string& answer) const
{
    std::istringstream in(line);
    std::string name;
    if (!(in >> name) || name != "get")
        return false;
    long reg = 0;
    long count = 1;
    std::string extra;
    if (!(in >> reg) || (!(in >> count) && !in.eof()) || (in >> extra) || count < 1 || count > kMaxReadCount) {
        answer = "error: get needs a register and a count from 1 to 125";
        return true;
    }
    std::ostringstream out;
    out << "ok";
    for (long i = 0; i < count; ++i) {
        std::uint16_t value = 0;
        if (reg + i > 99999 || !ReadRegister(static_cast<int>(reg + i), value)) {
            answer = "error: register " + std::to_string(reg + i) + " is outside the map";
            return true;
        }
        out << ' ' << value;
    }
    answer = out.str();
    return true;
}

bool CInverterSim::ReadRegister(int reg, std::uint16_t& value) const
{
    if (RunningValue(reg, value))
        return true;
    if (m_id.nProtocolType != 2) {
        if (reg < 1 || reg > 142)
            return false;
        if (reg <= 3 || (reg >= 82 && reg <= 84))
            value = SerialWord(m_id.qwSerial, reg <= 3 ? reg - 1 : reg - 82);
        else if (reg == 142)
            value = static_cast<std::uint16_t>(m_id.nAddress);
        else
            value = m_wIndex[reg];
        return true;
    }
    if (reg >= kInputFirst && reg < kInputFirst + kInputCount) {
        value = 0; // input registers without a running quantity read as 0
        return true;
    }
    if (reg < kHoldingFirst || reg >= kHoldingFirst + kHoldingCount)
        return false;
    switch (reg) {
    case 40001:
        value = High(static_cast<std::uint32_t>(m_id.nModelCode));
        break;
    case 40002:
        value = Low(static_cast<std::uint32_t>(m_id.nModelCode));
        break;
    case 40003:
        value = ToBcdWord(VersionHundredths(m_id.strVersion));
        break;
    case 40007:
    case 40008:
    case 40009:
        value = SerialWord(m_id.qwSerial, reg - 40007);
        break;
    case 40012:
        value = static_cast<std::uint16_t>(m_id.nAddress);
        break;
    default:
        value = m_wHolding[reg - kHoldingFirst];
        break;
    }
    return true;
}

bool CInverterSim::RunningValue(int reg, std::uint16_t& value) const
{
    const CDaySimulation& d = m_day;
    const std::uint32_t fault = FaultWord();
    const auto dci = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(d.DcInjectionMa())));
    if (m_id.nProtocolType != 2) {
        // Three firmware versions report the power in whole watts, the rest in tenths.
        const std::string& v = m_id.strVersion;
        const bool wholeWatts = m_id.nProtocolType == 0 && (v == "V5.00" || v == "V8.05" || v == "V8.11");
        const auto pac = static_cast<std::uint32_t>(std::lround(d.PowerW() * (wholeWatts ? 1.0 : 10.0)));
        const std::uint32_t etotal = ScaledCounter(d.EnergyTotalKWh(), 10.0);
        switch (reg) {
        case 11:
            value = Scaled(d.PvVoltage(), 10);
            return true;
        case 12:
            value = Scaled(d.PvCurrentA(), 10);
            return true;
        case 15:
            value = Scaled(d.GridVoltage(), 10);
            return true;
        case 16:
            value = Scaled(d.AcCurrentA(), 10);
            return true;
        case 21:
            value = Scaled(d.GridFrequency(), 100);
            return true;
        case 22:
            value = High(pac);
            return true;
        case 23:
            value = Low(pac);
            return true;
        case 24:
            value = static_cast<std::uint16_t>(std::min<std::uint32_t>(ScaledCounter(d.EnergyTodayKWh(), 10.0), 65535));
            return true;
        case 25:
            value = High(etotal);
            return true;
        case 26:
            value = Low(etotal);
            return true;
        case 27:
            value = High(d.RunTodayMinutes());
            return true;
        case 28:
            value = Low(d.RunTodayMinutes());
            return true;
        case 29:
            value = High(d.RunTotalHours());
            return true;
        case 30:
            value = Low(d.RunTotalHours());
            return true;
        case 31:
            value = Scaled(d.TemperatureC(), 10);
            return true;
        case 32:
            value = m_wIndex[65];
            return true; // current zero point sits at the DCI shift
        case 35:
            value = dci;
            return true;
        case 39:
            value = High(fault);
            return true;
        case 40:
            value = Low(fault);
            return true;
        case 41:
            value = static_cast<std::uint16_t>(StateCode());
            return true;
        case 42:
            value = Scaled(d.GridVoltage() * 1.002, 10);
            return true;
        case 43:
            value = Scaled(d.IsDaylight() ? 385.0 : 0.0, 10);
            return true;
        case 44:
            value = static_cast<std::uint16_t>(m_id.nModelCode);
            return true;
        case 45:
            value = static_cast<std::uint16_t>(VersionHundredths(m_id.strVersion));
            return true;
        default:
            return false;
        }
    }
    const auto pac = static_cast<std::uint32_t>(std::lround(d.PowerW()));
    const std::uint32_t etoday = ScaledCounter(d.EnergyTodayKWh(), 10.0);
    const std::uint32_t etotal = ScaledCounter(d.EnergyTotalKWh(), 10.0);
    switch (reg) {
    case 30001:
        value = Scaled(d.PvVoltage(), 10);
        return true;
    case 30002:
        value = Scaled(d.PvCurrentA(), 10);
        return true;
    case 30007:
        value = Scaled(d.GridVoltage(), 10);
        return true;
    case 30010:
        value = Scaled(d.AcCurrentA(), 100);
        return true;
    case 30013:
        value = Scaled(d.GridFrequency(), 100);
        return true;
    case 30017:
        value = High(pac);
        return true;
    case 30018:
        value = Low(pac);
        return true;
    case 30019:
        value = High(etoday);
        return true;
    case 30020:
        value = Low(etoday);
        return true;
    case 30021:
        value = High(etotal);
        return true;
    case 30022:
        value = Low(etotal);
        return true;
    case 30023:
        value = static_cast<std::uint16_t>(std::min<std::uint32_t>(d.RunTodayMinutes(), 65535));
        return true;
    case 30024:
        value = High(d.RunTotalHours());
        return true;
    case 30025:
        value = Low(d.RunTotalHours());
        return true;
    case 30026:
        value = static_cast<std::uint16_t>(StateCode());
        return true;
    case 30027:
        value = High(fault);
        return true;
    case 30028:
        value = Low(fault);
        return true;
    case 30032:
        value = Scaled(d.TemperatureC(), 10);
        return true;
    case 30033:
        value = Scaled(d.IsDaylight() ? 385.0 : 0.0, 10);
        return true;
    case 30035:
        value = 12;
        return true;
    case 30036:
        value = 200;
        return true; // 2000 at its scale of 0.1
    case 31007:
        value = Scaled(d.GridVoltage() * 1.002, 10);
        return true;
    case 31019:
        value = dci;
        return true;
    default:
        return false;
    }
}

bool CInverterSim::WriteRegisterToIndex(int wire, int& reg) const
{
    switch (m_id.nProtocolType) {
    case 0:
        reg = wire - 40109;
        return reg >= 82 && reg <= 142;
    case 1:
        reg = wire + 82;
        return reg >= 82 && reg <= 142;
    default:
        reg = kHoldingFirst + wire;
        return wire < kHoldingCount;
    }
}

int CInverterSim::CheckWrite(int reg, std::uint16_t value) const
{
    if (m_id.nProtocolType != 2) {
        if (reg >= 82 && reg <= 84 && !IsBcd(value))
            return kIllegalValue;
        if (reg == 142 && m_id.nProtocolType == 1 && (value == 0 || value > 255))
            return kIllegalValue;
        return 0;
    }
    if (reg >= 40001 && reg <= 40006)
        return kIllegalAddress; // model, versions and maker are fixed
    if (reg >= 40007 && reg <= 40009 && !IsBcd(value))
        return kIllegalValue;
    if (reg == 40012 && (value == 0 || value > 255))
        return kIllegalValue;
    return 0;
}

void CInverterSim::StoreWord(int reg, std::uint16_t value)
{
    if (m_id.nProtocolType != 2) {
        if (reg >= 82 && reg <= 84)
            m_id.qwSerial = WithSerialWord(m_id.qwSerial, reg - 82, value);
        else if (reg == 142)
            m_id.nAddress = value & 0xFF;
        else
            m_wIndex[reg] = value;
        // Settings are written at one index and read back at another.
        if (reg >= 92 && reg <= 121)
            m_wIndex[reg - 46] = value;
        else if (reg == 140)
            m_wIndex[81] = value;
        return;
    }
    if (reg >= 40007 && reg <= 40009)
        m_id.qwSerial = WithSerialWord(m_id.qwSerial, reg - 40007, value);
    else if (reg == 40012)
        m_id.nAddress = value & 0xFF;
    else
        m_wHolding[reg - kHoldingFirst] = value;
    if (reg == kCommandRegister) {
        if (value == kCommandSelfTest)
            SelfTest();
        else if (value == kCommandClearEnergy)
            ClearEnergy();
    }
}

int CInverterSim::WriteWords(int wire, const std::uint8_t* words, int count)
{
    for (int i = 0; i < count; ++i) {
        int reg = 0;
        if (!WriteRegisterToIndex(wire + i, reg))
            return kIllegalAddress;
        if (const int code = CheckWrite(reg, static_cast<std::uint16_t>(Word(words + 2 * i))))
            return code;
    }
    // All words are good: only now store them, so a refused write changes nothing.
    for (int i = 0; i < count; ++i) {
        int reg = 0;
        WriteRegisterToIndex(wire + i, reg);
        StoreWord(reg, static_cast<std::uint16_t>(Word(words + 2 * i)));
    }
    SyncSettingsToDay();
    return 0;
}

int CInverterSim::WriteCoil(int coil, int value)
{
    if (m_id.nProtocolType == 2)
        return kIllegalFunction;
    const int selfTestCoil = m_id.nProtocolType == 0 ? 2 : 1;
    const int clearEnergyCoil = m_id.nProtocolType == 0 ? 1 : 0;
    if (coil != selfTestCoil && coil != clearEnergyCoil)
        return kIllegalAddress;
    if (value != 0xFF00 && value != 0)
        return kIllegalValue;
    if (value == 0xFF00) {
        if (coil == selfTestCoil)
            SelfTest();
        else
            ClearEnergy();
    }
    return 0;
}

void CInverterSim::SelfTest()
{
    m_day.PauseUntil(m_day.Now() + kSelfTestSeconds);
}

void CInverterSim::ClearEnergy()
{
    m_day.ClearEnergy();
}

bool CInverterSim::Chance(int percent)
{
    if (percent <= 0)
        return false;
    if (percent >= 100)
        return true;
    return static_cast<int>(m_rng() % 100) < percent;
}

void CInverterSim::ApplyFaults(std::vector<std::uint8_t>& frame, std::uint8_t fc, std::vector<SimReply>& out)
{
    if (m_faults.bSilence || Chance(m_faults.nDropPercent))
        return;
    const std::size_t h = m_id.nProtocolType == 0 ? 6 : 1;
    if (Chance(m_faults.nExceptionPercent)) {
        frame.resize(h);
        frame.push_back(static_cast<std::uint8_t>(fc | 0x80));
        frame.push_back(kDeviceFailure);
        frame.resize(frame.size() + 2);
        AppendCrc16(frame.data(), frame.size() - 2);
    }
    if (Chance(m_faults.nCutPercent))
        frame.resize(1 + m_rng() % (frame.size() - 1));
    else if (Chance(m_faults.nBadCrcPercent))
        frame.back() ^= 0x5A;
    const int delay = m_nTurnaroundMs + m_faults.nSlowMs;
    if (m_faults.nNoiseBytes > 0) {
        // Garbage on the line between request and reply. It never contains
        // the first address byte, so a receiver that hunts for the header can
        // still find the reply behind it.
        SimReply noise;
        noise.nDelayMs = delay / 2;
        while (static_cast<int>(noise.bytes.size()) < m_faults.nNoiseBytes) {
            const auto b = static_cast<std::uint8_t>(m_rng());
            if (b != frame[0])
                noise.bytes.push_back(b);
        }
        out.push_back(std::move(noise));
    }
    out.push_back({std::move(frame), delay});
}
