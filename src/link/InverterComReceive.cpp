#include "link/Crc16.h"
#include "link/InverterCom.h"
#include "platform/CommLog.h"
#include "platform/Messages.h"

namespace {
constexpr int kHunting = 0;
constexpr int kFunction = 1;
constexpr int kData = 2;
} // namespace

void CInverterCom::ResetReceiver()
{
    std::lock_guard<std::mutex> guard(m_recvLock);
    m_rx.nState = kHunting;
    m_rx.nPos = 0;
}

int CInverterCom::ReceiveState() const
{
    std::lock_guard<std::mutex> guard(m_recvLock);
    return m_rx.nState;
}

// A byte-at-a-time state machine: address header, function code (and byte
// count), then data and CRC. A good frame posts one WM_REGISTER_VALUE per
// 16-bit word to the owner; anything else is dropped without a word.
void CInverterCom::OnReceiveByte(std::uint8_t b)
{
    std::lock_guard<std::mutex> guard(m_recvLock);
    SReceiver& rx = m_rx;
    switch (rx.nState) {
    case kHunting: {
        const int header = HeaderLength();
        if (b == m_byAddress[rx.nPos].load()) {
            rx.byBuf[static_cast<std::size_t>(rx.nPos++)] = b;
            if (rx.nPos >= header) {
                // The header length holds for the whole frame, whatever changes meanwhile.
                rx.nFrameHeader = header;
                rx.nState = kFunction;
                rx.nPos = 0;
            }
        } else if (b == m_byAddress[0].load()) {
            // b opens a new header.
            rx.byBuf[0] = b;
            rx.nPos = 1;
        } else {
            rx.nPos = 0;
        }
        return;
    }

    case kFunction: {
        const int header = rx.nFrameHeader;
        rx.byBuf[static_cast<std::size_t>(header + rx.nPos++)] = b;
        if (rx.nPos == 1)
            rx.nFuncCode = b;
        if (rx.nFuncCode == 3 || rx.nFuncCode == 4) {
            if (rx.nPos == 2) {
                // Header, function code, byte count, data and CRC must fit the buffer.
                if (static_cast<std::size_t>(header + 2 + b + 2) > kReceiveBufferSize) {
                    rx.nState = kHunting;
                    rx.nPos = 0;
                    return;
                }
                rx.nExtraLen = 2;
                rx.nDataLen = b;
                rx.nState = kData;
            }
        } else if (rx.nFuncCode == 5 || rx.nFuncCode == 16) {
            rx.nExtraLen = 1;
            rx.nDataLen = 4;
            rx.nState = kData;
        } else {
            rx.nState = kHunting;
            rx.nPos = 0;
        }
        return;
    }

    default:
        break;
    }

    rx.byBuf[static_cast<std::size_t>(rx.nFrameHeader + rx.nPos++)] = b;
    if (rx.nPos < rx.nExtraLen + rx.nDataLen + 2)
        return;
    const std::size_t frameLength = static_cast<std::size_t>(rx.nFrameHeader + rx.nPos);
    rx.nState = kHunting;
    rx.nPos = 0;
    const bool bGood = CheckCrc16(rx.byBuf.data(), frameLength);
    if (platform::CommLogEnabled())
        platform::CommLog("rx", platform::HexBytes(rx.byBuf.data(), frameLength) + (bGood ? "" : " (bad CRC)"));
    if (bGood)
        OnFrame(rx);
}

// A frame whose CRC holds: learn what it teaches, then post its words.
void CInverterCom::OnFrame(const SReceiver& rx)
{
    const std::uint8_t* data = rx.byBuf.data() + rx.nFrameHeader + rx.nExtraLen;
    const SProtocolFacts& facts = Facts();
    if (m_bProbePending.load() && facts.bProbeTeachesAddress)
        m_byAddress[0].store(data[1]);

    if (!m_bSerialKnown.load() && rx.nDataLen == 6) {
        for (int i = 0; i < 6; ++i) {
            m_bySerial[i].store(data[i]);
            if (facts.bAddressedBySerial)
                m_byAddress[i].store(data[i]);
        }
        m_bSerialKnown.store(true);
    }

    if (rx.nDataLen < 2)
        return;
    m_dwLastReplyTick.store(platform::GetTickCount());
    platform::IMessageTarget* pOwner = Owner();
    if (pOwner == nullptr)
        return;
    const platform::WPARAM tag = static_cast<platform::WPARAM>(m_nTag.load());
    for (int i = 0; i + 1 < rx.nDataLen; i += 2)
        pOwner->Post(platform::WM_REGISTER_VALUE, tag, static_cast<platform::LPARAM>(data[i] * 256 + data[i + 1]));
}
