#pragma once
// The program's link and the simulated inverter joined in-process: what the
// link sends goes to the engine, what the engine answers goes byte by byte
// into the link's parser.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "InverterSim.h"
#include "link/InverterCom.h"
#include "support/LinkTestUtil.h" // Bytes, Hex, WithCrc
#include "platform/MessageTarget.h"
#include "platform/Messages.h"

using Values = std::vector<long>;

// All reply bytes of one Receive call, joined.
inline Bytes Joined(const std::vector<SimReply>& replies)
{
    Bytes all;
    for (const SimReply& r : replies)
        all.insert(all.end(), r.bytes.begin(), r.bytes.end());
    return all;
}

class CSimBench {
public:
    explicit CSimBench(const SimIdentity& id, double startSecondOfDay = 12 * 3600.0, double scale = 1.0)
        : sim(id, SimTime{startSecondOfDay, scale}, 0)
    {
        com.SetOwner(&queue);
    }

    // The link as detection leaves it for the simulator's protocol type.
    void Attach()
    {
        com.SetProtocolType(sim.ProtocolType());
        if (sim.ProtocolType() != 0)
            com.SetAddressByte(0, static_cast<std::uint8_t>(sim.Address()));
        else
            com.SetAddress(SerialBytesOf(sim.Serial()));
    }

    // Sends what the link last queued; returns the values the parser posted.
    Values Exchange(std::int64_t advanceMs = 500)
    {
        nowMs += advanceMs;
        const std::string frame = com.SendBufferSnapshot();
        lastRequest.assign(frame.begin(), frame.end());
        lastReply = Joined(sim.Receive(lastRequest, nowMs));
        for (std::uint8_t b : lastReply)
            com.OnReceiveByte(b);
        Values values;
        while (auto msg = queue.TryTake())
            values.push_back(msg->msg == platform::WM_REGISTER_VALUE ? static_cast<long>(msg->lParam) : -1);
        return values;
    }

    Values Read(int reg, int count)
    {
        com.ReadRegisters(reg, count);
        return Exchange();
    }

    Values Write(int reg, const std::vector<std::uint16_t>& words)
    {
        EXPECT_TRUE(com.WriteRegisters(words.data(), reg, static_cast<int>(words.size())));
        return Exchange();
    }

    static SerialBytes SerialBytesOf(std::uint64_t serial)
    {
        SerialBytes b{};
        for (int i = 5; i >= 0; --i) {
            const unsigned pair = static_cast<unsigned>(serial % 100);
            b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((pair / 10) << 4 | pair % 10);
            serial /= 100;
        }
        return b;
    }

    CInverterSim sim;
    CInverterCom com;
    platform::CMessageQueue queue;
    std::int64_t nowMs = 0;
    Bytes lastRequest;
    Bytes lastReply;
};

inline SimIdentity Identity(int protocol, int address = 1, std::uint64_t serial = 123456789012)
{
    SimIdentity id;
    id.nProtocolType = protocol;
    id.nAddress = address;
    id.qwSerial = serial;
    return id;
}
