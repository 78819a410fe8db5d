#include "link/Crc16.h"
#include "link/InverterCom.h"
#include "platform/Messages.h"

namespace {
constexpr int kHunting = 0;
constexpr int kFunction = 1;
constexpr int kData = 2;
} // namespace

void CInverterCom::ResetReceiver()
{
    std::lock_guard<std::mutex> guard(m_recvLock);
    m_nRecvState.store(kHunting);
    m_nRecvPos = 0;
}

// A byte-at-a-time state machine: address header, function code (and byte
// count), then data and CRC. A good frame posts one WM_REGISTER_VALUE per
// 16-bit word to the owner; anything else is dropped without a word.
void CInverterCom::OnReceiveByte(std::uint8_t b)
{
    std::lock_guard<std::mutex> guard(m_recvLock);
    switch (m_nRecvState.load()) {
    case kHunting: {
        const int header = HeaderLength();
        if (b == m_byAddress[m_nRecvPos].load()) {
            m_byRecvBuf[m_nRecvPos++] = b;
            if (m_nRecvPos >= header) {
                // The header length holds for the whole frame, whatever changes meanwhile.
                m_nFrameHeader = header;
                m_nRecvState.store(kFunction);
                m_nRecvPos = 0;
            }
        } else if (b == m_byAddress[0].load()) {
            // b opens a new header.
            m_byRecvBuf[0] = b;
            m_nRecvPos = 1;
        } else {
            m_nRecvPos = 0;
        }
        return;
    }

    case kFunction: {
        const int header = m_nFrameHeader;
        m_byRecvBuf[header + m_nRecvPos++] = b;
        if (m_nRecvPos == 1)
            m_nFuncCode = b;
        if (m_nFuncCode == 3 || m_nFuncCode == 4) {
            if (m_nRecvPos == 2) {
                // Header, function code, byte count, data and CRC must fit the buffer.
                if (static_cast<std::size_t>(header + 2 + b + 2) > kReceiveBufferSize) {
                    m_nRecvState.store(kHunting);
                    m_nRecvPos = 0;
                    return;
                }
                m_nExtraLen = 2;
                m_nDataLen = b;
                m_nRecvState.store(kData);
            }
        } else if (m_nFuncCode == 5 || m_nFuncCode == 16) {
            m_nExtraLen = 1;
            m_nDataLen = 4;
            m_nRecvState.store(kData);
        } else {
            m_nRecvState.store(kHunting);
            m_nRecvPos = 0;
        }
        return;
    }

    default:
        break;
    }

    const int header = m_nFrameHeader;
    m_byRecvBuf[header + m_nRecvPos++] = b;
    if (m_nRecvPos < m_nExtraLen + m_nDataLen + 2)
        return;

    const std::size_t frameLength = static_cast<std::size_t>(header + m_nRecvPos);
    m_nRecvState.store(kHunting);
    m_nRecvPos = 0;
    if (!CheckCrc16(m_byRecvBuf.data(), frameLength))
        return;

    const std::uint8_t* data = m_byRecvBuf.data() + header + m_nExtraLen;
    const int type = m_nProtocolType.load();
    if (m_bProbePending.load() && (type == 1 || type == 2))
        m_byAddress[0].store(data[1]);

    if (!m_bSerialKnown.load() && m_nDataLen == 6) {
        for (int i = 0; i < 6; ++i) {
            m_bySerial[i].store(data[i]);
            if (type == 0)
                m_byAddress[i].store(data[i]);
        }
        m_bSerialKnown.store(true);
    }

    if (m_nDataLen >= 2) {
        m_dwLastReplyTick.store(platform::GetTickCount());
        platform::IMessageTarget* pOwner = Owner();
        if (pOwner == nullptr)
            return;
        const platform::WPARAM tag = static_cast<platform::WPARAM>(m_nTag.load());
        for (int i = 0; i + 1 < m_nDataLen; i += 2)
            pOwner->Post(platform::WM_REGISTER_VALUE, tag, static_cast<platform::LPARAM>(data[i] * 256 + data[i + 1]));
    }
}
