#pragma once
// Small helpers shared by the link tests: frames written as hex text.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "link/Crc16.h"
#include "link/InverterCom.h"
#include "platform/MessageTarget.h"
#include "platform/Messages.h"

using Bytes = std::vector<std::uint8_t>;

// "01 03 00 0A" -> {0x01, 0x03, 0x00, 0x0A}
inline Bytes Hex(const std::string& text)
{
    Bytes bytes;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    return bytes;
}

inline Bytes WithCrc(Bytes body)
{
    const std::uint16_t crc = Crc16(body.data(), body.size());
    body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    return body;
}

inline Bytes Sent(const CInverterCom& com)
{
    const std::string frame = com.SendBufferSnapshot();
    return Bytes(frame.begin(), frame.end());
}

inline void Feed(CInverterCom& com, const Bytes& bytes)
{
    for (std::uint8_t b : bytes)
        com.OnReceiveByte(b);
}

// Register values posted so far (the queue is emptied).
inline std::vector<long> TakeValues(platform::CMessageQueue& queue)
{
    std::vector<long> values;
    while (auto msg = queue.TryTake()) {
        if (msg->msg == platform::WM_REGISTER_VALUE)
            values.push_back(static_cast<long>(msg->lParam));
        else
            values.push_back(-1);
    }
    return values;
}

// Waits for `count` register values (real-time tests over a device).
inline std::vector<long> WaitValues(platform::CMessageQueue& queue, std::size_t count, unsigned timeoutMs = 2000)
{
    std::vector<long> values;
    while (values.size() < count) {
        auto msg = queue.Take(timeoutMs);
        if (!msg)
            break;
        values.push_back(msg->msg == platform::WM_REGISTER_VALUE ? static_cast<long>(msg->lParam) : -1);
    }
    return values;
}
