// The engine on the line: how it frames requests, whom it answers, how it
// refuses bad requests, and what each fault does to the bytes it sends.
#include <gtest/gtest.h>

#include "SimOptions.h"
#include "support/SimTestUtil.h"

namespace {

// Type 1, slave 1: read index 142 (holding, wire address 60).
const Bytes kRead142 = WithCrc({0x01, 0x03, 0x00, 0x3C, 0x00, 0x01});
const Bytes kReply142 = WithCrc({0x01, 0x03, 0x02, 0x00, 0x01});

CInverterSim MakeSim(int type = 1)
{
    return CInverterSim(Identity(type), SimTime{}, 0);
}

TEST(SimLine, FramesRequestsFromPiecesAndAfterGarbage)
{
    CInverterSim sim = MakeSim();
    EXPECT_EQ(Joined(sim.Receive(kRead142, 0)), kReply142);

    // Byte by byte with short pauses, as a slow UART delivers it.
    std::int64_t t = 100;
    Bytes got;
    for (std::uint8_t byte : kRead142)
        got = Joined(sim.Receive(&byte, 1, t += 2));
    EXPECT_EQ(got, kReply142);

    // Noise in front of the request is skipped.
    Bytes noisy = {0x55, 0x01, 0x99, 0x03};
    noisy.insert(noisy.end(), kRead142.begin(), kRead142.end());
    EXPECT_EQ(Joined(sim.Receive(noisy, 1000)), kReply142);

    // A frame broken off by a long pause is forgotten; the next one is answered.
    EXPECT_TRUE(sim.Receive(kRead142.data(), 4, 2000).empty());
    EXPECT_EQ(Joined(sim.Receive(kRead142, 2000 + CInverterSim::kFrameGapMs + 1)), kReply142);

    // Two requests in one burst get two replies.
    Bytes twice = kRead142;
    twice.insert(twice.end(), kRead142.begin(), kRead142.end());
    EXPECT_EQ(sim.Receive(twice, 3000).size(), 2u);
}

TEST(SimLine, KeepsSilentForFramesNotForIt)
{
    CInverterSim sim = MakeSim();
    EXPECT_TRUE(sim.Receive(WithCrc({0x02, 0x03, 0x00, 0x3C, 0x00, 0x01}), 0).empty()); // another slave
    Bytes bad = kRead142;
    bad[3] ^= 0x01;
    EXPECT_TRUE(sim.Receive(bad, 100).empty()); // CRC does not match
    // Type 0 answers its own number and the wildcard, echoing the one asked.
    CInverterSim zero = MakeSim(0);
    const Bytes own = {0x12, 0x34, 0x56, 0x78, 0x90, 0x12};
    const Bytes other = {0x12, 0x34, 0x56, 0x78, 0x90, 0x13};
    const Bytes wild = {0x99, 0x99, 0x99, 0x99, 0x99, 0x99};
    for (const Bytes& addr : {own, wild, other}) {
        Bytes req = addr;
        req.insert(req.end(), {0x04, 0x9C, 0x37, 0x00, 0x03}); // index 1, 3 registers
        const Bytes reply = Joined(zero.Receive(WithCrc(req), 200));
        if (addr == other) {
            EXPECT_TRUE(reply.empty());
        } else {
            ASSERT_EQ(reply.size(), 6u + 2 + 6 + 2);
            EXPECT_TRUE(std::equal(addr.begin(), addr.end(), reply.begin()));
            EXPECT_TRUE(CheckCrc16(reply.data(), reply.size()));
        }
    }
}

TEST(SimLine, RefusesBadRequestsWithExceptionsAndChangesNothing)
{
    CInverterSim sim = MakeSim();
    auto exceptionOf = [&](const Bytes& body) {
        const Bytes reply = Joined(sim.Receive(WithCrc(body), 0));
        EXPECT_EQ(reply.size(), 5u);
        EXPECT_TRUE(CheckCrc16(reply.data(), reply.size()));
        return reply.size() == 5 && (reply[1] & 0x80) ? reply[2] : 0;
    };
    EXPECT_EQ(exceptionOf({0x01, 0x03, 0x00, 0x3D, 0x00, 0x01}), 2);                   // index 143
    EXPECT_EQ(exceptionOf({0x01, 0x04, 0x00, 0x50, 0x00, 0x02}), 2);                   // input 81..82
    EXPECT_EQ(exceptionOf({0x01, 0x03, 0x00, 0x00, 0x00, 0x00}), 3);                   // nothing to read
    EXPECT_EQ(exceptionOf({0x01, 0x01, 0x00, 0x00, 0x00, 0x01}), 1);                   // coils are not read
    EXPECT_EQ(exceptionOf({0x01, 0x05, 0x00, 0x07, 0xFF, 0x00}), 2);                   // no such command
    EXPECT_EQ(exceptionOf({0x01, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0x12, 0x3A}), 3); // serial digit A
    EXPECT_EQ(sim.Serial(), 123456789012u);
    // Address 0 inside a longer write: refused as a whole.
    EXPECT_EQ(exceptionOf({0x01, 0x10, 0x00, 0x3B, 0x00, 0x02, 0x04, 0x00, 0x07, 0x00, 0x00}), 3);
    std::uint16_t v = 0;
    ASSERT_TRUE(sim.ReadRegister(141, v));
    EXPECT_EQ(v, 1);
    EXPECT_EQ(sim.Address(), 1);
    // A byte count that disagrees with the quantity.
    EXPECT_EQ(exceptionOf({0x01, 0x10, 0x00, 0x0A, 0x00, 0x02, 0x02, 0x00, 0x07}), 3);
    // Type 2: the model and version registers are fixed.
    CInverterSim two = MakeSim(2);
    const Bytes reply = Joined(two.Receive(WithCrc({0x01, 0x10, 0x00, 0x01, 0x00, 0x01, 0x02, 0x80, 0x00}), 0));
    EXPECT_EQ(reply, WithCrc({0x01, 0x90, 0x02}));
}

TEST(SimLine, EachFaultShowsOnTheWire)
{
    {
        CInverterSim sim = MakeSim();
        sim.Faults().bSilence = true;
        EXPECT_TRUE(sim.Receive(kRead142, 0).empty());
    }
    {
        CInverterSim sim = MakeSim();
        sim.Faults().nDropPercent = 50;
        int answered = 0;
        for (int i = 0; i < 400; ++i)
            answered += sim.Receive(kRead142, i * 100).empty() ? 0 : 1;
        EXPECT_GT(answered, 120);
        EXPECT_LT(answered, 280);
    }
    {
        CInverterSim sim = MakeSim();
        sim.Faults().nBadCrcPercent = 100;
        const Bytes reply = Joined(sim.Receive(kRead142, 0));
        ASSERT_EQ(reply.size(), kReply142.size());
        EXPECT_TRUE(std::equal(reply.begin(), reply.end() - 2, kReply142.begin()));
        EXPECT_FALSE(CheckCrc16(reply.data(), reply.size()));
    }
    {
        CInverterSim sim = MakeSim();
        sim.Faults().nCutPercent = 100;
        for (int i = 0; i < 20; ++i) {
            const Bytes reply = Joined(sim.Receive(kRead142, i * 100));
            ASSERT_GE(reply.size(), 1u);
            ASSERT_LT(reply.size(), kReply142.size());
            EXPECT_TRUE(std::equal(reply.begin(), reply.end(), kReply142.begin()));
        }
    }
    {
        CInverterSim sim = MakeSim();
        sim.Faults().nExceptionPercent = 100;
        EXPECT_EQ(Joined(sim.Receive(kRead142, 0)), WithCrc({0x01, 0x83, 0x04}));
    }
    {
        CInverterSim sim = MakeSim();
        sim.SetTurnaroundMs(7);
        sim.Faults().nNoiseBytes = 30;
        sim.Faults().nSlowMs = 2500;
        const std::vector<SimReply> out = sim.Receive(kRead142, 0);
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0].bytes.size(), 30u);
        EXPECT_EQ(std::count(out[0].bytes.begin(), out[0].bytes.end(), 0x01), 0); // never the address byte
        EXPECT_LE(out[0].nDelayMs, out[1].nDelayMs);
        EXPECT_EQ(out[1].bytes, kReply142);
        EXPECT_EQ(out[1].nDelayMs, 2507);
    }
    {
        // Fault bits and a forced state code.
        CInverterSim sim = MakeSim(2);
        std::string answer;
        ASSERT_TRUE(ApplySimCommand("fault-word 0x80000003", sim.Faults(), answer));
        ASSERT_TRUE(ApplySimCommand("state 4", sim.Faults(), answer));
        const Bytes reply = Joined(sim.Receive(WithCrc({0x01, 0x04, 0x00, 0x19, 0x00, 0x03}), 0)); // 30026..30028
        EXPECT_EQ(reply, WithCrc({0x01, 0x04, 0x06, 0x00, 0x04, 0x80, 0x00, 0x00, 0x03}));
    }
}

TEST(SimLine, OptionsAndConsoleCommands)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(
        ParseSimOptions({"--protocol", "0", "--serial=000011112222", "--model-code", "0x5000", "--speed", "60",
                         "--start", "05:30", "--silence", "--drop", "20", "--fault-word", "0x10", "--seed", "9"},
                        o, error))
        << error;
    EXPECT_EQ(o.identity.nProtocolType, 0);
    EXPECT_EQ(o.identity.qwSerial, 11112222u);
    EXPECT_EQ(o.identity.nModelCode, 0x5000);
    EXPECT_EQ(o.time.dScale, 60.0);
    EXPECT_EQ(o.time.dStartSecondOfDay, 5.5 * 3600);
    EXPECT_TRUE(o.faults.bSilence);
    EXPECT_EQ(o.faults.nDropPercent, 20);
    EXPECT_EQ(o.faults.dwFaultWord, 0x10u);
    EXPECT_EQ(o.identity.dwSeed, 9u);
    // Each mistake is named, nothing half-applied matters since the program stops.
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--protocol", "3"},
                                                {"--address", "0"},
                                                {"--serial", "1234567890123"},
                                                {"--serial", "12a"},
                                                {"--drop", "101"},
                                                {"--start", "24:00"},
                                                {"--speed", "0"},
                                                {"--version", "x"},
                                                {"--bogus", "1"},
                                                {"--drop"},
                                                {"stray"},
                                                {"--protocol", "1", "--model-code", "0x10000"}}) {
        SimOptions bo;
        EXPECT_FALSE(ParseSimOptions(bad, bo, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }

    SimFaults f;
    std::string answer;
    EXPECT_TRUE(ApplySimCommand("cut 40", f, answer));
    EXPECT_EQ(f.nCutPercent, 40);
    EXPECT_EQ(answer.rfind("ok ", 0), 0u);
    EXPECT_TRUE(ApplySimCommand("silence", f, answer));
    EXPECT_TRUE(f.bSilence);
    EXPECT_TRUE(ApplySimCommand("silence off", f, answer));
    EXPECT_FALSE(f.bSilence);
    EXPECT_FALSE(ApplySimCommand("drop lots", f, answer));
    EXPECT_EQ(answer.rfind("error", 0), 0u);
    EXPECT_FALSE(ApplySimCommand("explode", f, answer));
    EXPECT_FALSE(ApplySimCommand("slow", f, answer));
    EXPECT_TRUE(ApplySimCommand("clear", f, answer));
    EXPECT_EQ(f.nCutPercent, 0);
    EXPECT_TRUE(ApplySimCommand("status", f, answer));
    EXPECT_NE(answer.find("cut 0"), std::string::npos);
}

} // namespace
