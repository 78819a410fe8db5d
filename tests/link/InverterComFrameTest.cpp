#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "support/LinkTestUtil.h"
#include "platform/Tick.h"

namespace {

class FrameTest : public ::testing::Test {
protected:
    void UseType(int type, std::uint8_t slave = 0x01)
    {
        com.SetProtocolType(type);
        if (type != 0)
            com.SetAddressByte(0, slave);
    }
    platform::CFakeTicks ticks{5000};
    CInverterCom com;
};

TEST_F(FrameTest, ConstructorDefaults)
{
    EXPECT_EQ(com.ProtocolType(), 0);
    EXPECT_EQ(FormatSerialNumber(com.Address()), "999999999999");
    EXPECT_EQ(FormatSerialNumber(com.Serial()), "000000000000");
    EXPECT_EQ(com.HeaderLength(), 6);
    EXPECT_TRUE(com.IsSerialKnown());
    EXPECT_FALSE(com.IsProbePending());
    EXPECT_EQ(com.Tag(), 0);
    EXPECT_EQ(com.LinkState(), kLinkIdle);
    EXPECT_EQ(com.ExpectedValues(), 0);
    EXPECT_EQ(com.ReplyTimeout(), 200);
    EXPECT_EQ(com.LastRegister(), 0);
    EXPECT_EQ(com.LastRequestTick(), 0u);
    EXPECT_EQ(com.LastReplyTick(), 0u);
    EXPECT_EQ(com.ReceiveState(), 0);
}

TEST_F(FrameTest, ReadsInTypeZero)
{
    com.ReadRegisters(1, 3);
    EXPECT_EQ(Sent(com), Hex("99 99 99 99 99 99 04 9C 37 00 03 36 E7"));
    EXPECT_EQ(com.LinkState(), kLinkRead);
    EXPECT_EQ(com.ExpectedValues(), 3);
    EXPECT_EQ(com.ReplyTimeout(), 400);
    EXPECT_EQ(com.LastRegister(), 1);
    EXPECT_EQ(com.LastRequestTick(), 5000u);

    com.ReadRegisters(81, 1); // last input index
    EXPECT_EQ(Sent(com), WithCrc(Hex("99 99 99 99 99 99 04 9C 87 00 01")));
    com.ReadRegisters(82, 10); // settings from 82 on
    EXPECT_EQ(Sent(com), WithCrc(Hex("99 99 99 99 99 99 03 9C FF 00 0A")));
}

TEST_F(FrameTest, ReadsInTypeOne)
{
    UseType(1, 0xFF);
    com.ReadRegisters(142, 1);
    EXPECT_EQ(Sent(com), Hex("FF 03 00 3C 00 01 51 D8"));
    com.ReadRegisters(11, 31);
    EXPECT_EQ(Sent(com), Hex("FF 04 00 0A 00 1F 84 1E"));
    com.ReadRegisters(143, 2);
    EXPECT_EQ(Sent(com), WithCrc(Hex("FF 04 00 8F 00 02")));

    UseType(1, 0x01);
    com.ReadRegisters(82, 10);
    EXPECT_EQ(Sent(com), Hex("01 03 00 00 00 0A C5 CD"));
    EXPECT_EQ(com.ExpectedValues(), 10);
}

TEST_F(FrameTest, ReadsInTypeTwoFollowTheBlockTable)
{
    UseType(2, 0x01);
    com.ReadRegisters(40012, 1);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 03 00 0B 00 01")));
    com.ReadRegisters(30021, 17);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 04 00 14 00 11")));
    com.ReadRegisters(31001, 20); // last input block
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 04 03 E8 00 14")));
    com.ReadRegisters(40001, 2); // first holding block
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 03 00 00 00 02")));
    com.ReadRegisters(43001, 28); // last holding block
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 03 0B B8 00 1C")));
    com.ReadRegisters(43029, 1); // beyond every block: the register itself
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 04 A8 15 00 01")));
    EXPECT_EQ(com.LastRegister(), 43029);
}

TEST_F(FrameTest, QuantityKeepsItsLowEightBits)
{
    UseType(1);
    com.ReadRegisters(1, 300);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 04 00 00 00 2C")));
    EXPECT_EQ(com.ExpectedValues(), 300);
}

TEST_F(FrameTest, WriteLayoutsAndBookkeeping)
{
    const std::uint16_t words[] = {0x0102, 0xA0B0};
    ASSERT_TRUE(com.WriteRegisters(words, 100, 2));
    EXPECT_EQ(Sent(com), WithCrc(Hex("99 99 99 99 99 99 10 9D 11 00 02 04 01 02 A0 B0")));
    EXPECT_EQ(com.LinkState(), kLinkWrite);
    EXPECT_EQ(com.ExpectedValues(), 2);
    EXPECT_EQ(com.ReplyTimeout(), 1500);
    EXPECT_EQ(com.LastRegister(), -1);

    UseType(1, 0x07);
    ASSERT_TRUE(com.WriteRegisters(words, 100, 2));
    EXPECT_EQ(Sent(com), WithCrc(Hex("07 10 00 12 00 02 04 01 02 A0 B0")));

    UseType(2, 0x07);
    ASSERT_TRUE(com.WriteRegisters(words, 41001, 1));
    EXPECT_EQ(Sent(com), WithCrc(Hex("07 10 03 E8 00 01 02 01 02")));
}

TEST_F(FrameTest, OversizeOrEmptyWriteSendsNothing)
{
    std::uint16_t words[94];
    for (int i = 0; i < 94; ++i)
        words[i] = static_cast<std::uint16_t>(0x1100 + i);

    // 93 words make exactly the 200-byte type-0 frame.
    ASSERT_TRUE(com.WriteRegisters(words, 82, 93));
    const Bytes full = Sent(com);
    ASSERT_EQ(full.size(), 200u);
    EXPECT_TRUE(CheckCrc16(full.data(), full.size()));
    EXPECT_EQ(full[10], 93);
    EXPECT_EQ(full[11], 186);

    com.ReadRegisters(1, 3);
    const Bytes before = Sent(com);
    ticks.Advance(100);
    EXPECT_FALSE(com.WriteRegisters(words, 82, 94));
    EXPECT_FALSE(com.WriteRegisters(words, 82, 0));
    EXPECT_FALSE(com.WriteRegisters(nullptr, 82, 1));
    EXPECT_EQ(Sent(com), before);
    EXPECT_EQ(com.LinkState(), kLinkRead);
    EXPECT_EQ(com.LastRegister(), 1);
    EXPECT_EQ(com.LastRequestTick(), 5000u);
}

TEST_F(FrameTest, SerialNumberWriteGoesToTheOldAddressThenAdoptsTheNumber)
{
    com.WriteSerialNumber(123456789012ULL);
    EXPECT_EQ(Sent(com), WithCrc(Hex("99 99 99 99 99 99 10 9C FF 00 03 06 12 34 56 78 90 12")));
    EXPECT_EQ(FormatSerialNumber(com.Serial()), "123456789012");
    EXPECT_EQ(FormatSerialNumber(com.Address()), "123456789012");
    com.ReadRegisters(45, 1);
    EXPECT_EQ(Sent(com), WithCrc(Hex("12 34 56 78 90 12 04 9C 63 00 01")));

    UseType(1, 0x01);
    com.WriteSerialNumber(1);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 10 00 00 00 03 06 00 00 00 00 00 01")));
    EXPECT_EQ(FormatSerialNumber(com.Serial()), "000000000001");
    EXPECT_EQ(com.AddressByte(0), 0x01); // the slave address stays

    UseType(2, 0x01);
    com.WriteSerialNumber(987654321098ULL);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 10 00 06 00 03 06 98 76 54 32 10 98")));
}

TEST_F(FrameTest, SerialNumberAndVersionReads)
{
    com.SetAddress({0x12, 0x34, 0x56, 0x78, 0x90, 0x12});
    com.ReadSerialNumber(); // type 0 goes back to the wildcard
    EXPECT_FALSE(com.IsSerialKnown());
    EXPECT_EQ(Sent(com), Hex("99 99 99 99 99 99 04 9C 37 00 03 36 E7"));
    com.ReadSoftwareVersion();
    EXPECT_EQ(Sent(com), WithCrc(Hex("99 99 99 99 99 99 04 9C 63 00 01")));

    UseType(1, 0x05);
    com.SetSerialKnown(true);
    com.ReadSerialNumber();
    EXPECT_FALSE(com.IsSerialKnown());
    EXPECT_EQ(Sent(com), WithCrc(Hex("05 04 00 00 00 03")));
    com.ReadSoftwareVersion();
    EXPECT_EQ(Sent(com), WithCrc(Hex("05 04 00 2C 00 01")));

    UseType(2, 0x05);
    com.ReadSerialNumber();
    EXPECT_EQ(Sent(com), WithCrc(Hex("05 03 00 06 00 03")));
    EXPECT_EQ(com.ExpectedValues(), 3);
    com.ReadSoftwareVersion();
    EXPECT_EQ(Sent(com), WithCrc(Hex("05 03 00 02 00 02")));
    EXPECT_EQ(com.AddressByte(0), 0x05);
}

TEST_F(FrameTest, SelfTestAndClearEnergyInAllTypes)
{
    com.SendSelfTest();
    EXPECT_EQ(Sent(com), Hex("99 99 99 99 99 99 05 00 02 FF 00 34 88"));
    EXPECT_EQ(com.LinkState(), kLinkSelfTest);
    EXPECT_EQ(com.ExpectedValues(), 2);
    EXPECT_EQ(com.ReplyTimeout(), 400);
    com.SendClearEnergy();
    EXPECT_EQ(Sent(com), Hex("99 99 99 99 99 99 05 00 01 FF 00 C4 88"));
    EXPECT_EQ(com.LinkState(), kLinkWrite);
    EXPECT_EQ(com.ReplyTimeout(), 400);

    UseType(1);
    com.SendSelfTest();
    EXPECT_EQ(Sent(com), Hex("01 05 00 01 FF 00 DD FA"));
    com.SendClearEnergy();
    EXPECT_EQ(Sent(com), Hex("01 05 00 00 FF 00 8C 3A"));

    UseType(2);
    com.SendSelfTest();
    EXPECT_EQ(Sent(com), Hex("01 10 01 31 00 01 02 40 00 83 71"));
    com.SendClearEnergy();
    EXPECT_EQ(Sent(com), Hex("01 10 01 31 00 01 02 80 00 D3 71"));
}

TEST_F(FrameTest, ProtectionSwitches)
{
    com.WriteGfciFunction(true);
    EXPECT_EQ(Sent(com), WithCrc(Hex("99 99 99 99 99 99 10 9D 25 00 01 02 00 01")));
    com.WriteIslandTestSwitch(true);
    EXPECT_EQ(Sent(com), WithCrc(Hex("99 99 99 99 99 99 10 9D 37 00 01 02 00 01")));

    UseType(1);
    com.WriteGfciFunction(false);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 10 00 26 00 01 02 00 00")));
    com.WriteIsoFunction(true);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 10 00 27 00 01 02 00 01")));
    com.WriteIslandTestSwitch(true);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 10 00 38 00 01 02 00 01")));
    EXPECT_EQ(com.LinkState(), kLinkWrite);

    UseType(2);
    com.WriteGfciFunction(true);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 10 04 52 00 01 02 00 01")));
    com.WriteIsoFunction(false);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 10 04 53 00 01 02 00 00")));
    // Inverted in type 2: on is 0.
    com.WriteIslandTestSwitch(true);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 10 04 54 00 01 02 00 00")));
    com.WriteIslandTestSwitch(false);
    EXPECT_EQ(Sent(com), WithCrc(Hex("01 10 04 54 00 01 02 00 01")));
}

TEST(ValueCodecs, SerialBcdAndRatings)
{
    EXPECT_EQ(FormatSerialNumber(SerialBytes{0x12, 0x34, 0x56, 0x78, 0x90, 0x12}), "123456789012");
    EXPECT_EQ(FormatBcdWord(0x1234), "1234");
    EXPECT_EQ(FormatBcdWord(0x0805), "0805");
    EXPECT_EQ(FormatBcdWord(0x00AF), "00:?"); // '0' + nibble, whatever the nibble
    EXPECT_EQ(ToBcdWord(0), 0x0000);
    EXPECT_EQ(ToBcdWord(1234), 0x1234);
    EXPECT_EQ(ToBcdWord(9999), 0x9999);
    EXPECT_EQ(ToBcdWord(12345), 0x2345);

    EXPECT_EQ(RatedPowerFromModelCode(0x0FFF), 1500);
    EXPECT_EQ(RatedPowerFromModelCode(0x7000), 4600);
    EXPECT_EQ(RatedPowerFromModelCode(0x8ABC), 5000);
    EXPECT_EQ(RatedPowerText(0x2000), "2.5K");
    EXPECT_EQ(RatedPowerText(0x3123), "2.8K");
    EXPECT_EQ(RatedPowerText(0x8000), "5K");
    // No rating for the top nibbles 9 to 15: unknown, not a tiny wattage.
    EXPECT_EQ(RatedPowerFromModelCode(0x9000), 0);
    EXPECT_EQ(RatedPowerFromModelCode(0xF000), 0);
    EXPECT_EQ(RatedPowerText(0xA000), "");
}

TEST(ReplyTimeout, RepliedTimedOutAndReady)
{
    platform::CFakeTicks ticks(0xFFFFFF00u); // across the 32-bit wrap
    CInverterCom com;
    com.SetProtocolType(1);
    com.SetLastReplyTick(ticks.Now() - 1000); // an earlier reply
    com.ReadRegisters(11, 31);
    ticks.Advance(300);
    SReplyCheck check = com.CheckReplyTimeout();
    EXPECT_FALSE(check.bReplied);
    EXPECT_FALSE(check.bTimedOut);
    EXPECT_FALSE(check.bReady);

    com.SetLastReplyTick(ticks.Now());
    ticks.Advance(400);
    check = com.CheckReplyTimeout();
    EXPECT_TRUE(check.bReplied);
    EXPECT_FALSE(check.bReady); // 400 ms is not yet more than 400
    ticks.Advance(1);
    EXPECT_TRUE(com.CheckReplyTimeout().bReady);

    com.ReadRegisters(11, 31);
    ticks.Advance(2001);
    check = com.CheckReplyTimeout();
    EXPECT_FALSE(check.bReplied);
    EXPECT_TRUE(check.bTimedOut);
    EXPECT_TRUE(check.bReady);
}

// Builders on two threads against a port thread copying the buffer out:
// every frame taken must be one whole frame, never a mix of two.
class CFrameTaker : public CInverterCom {
public:
    using CSerialPort::TakeSendBuffer;
};

TEST(SendBufferGuard, ConcurrentBuildersNeverTearAFrame)
{
    CFrameTaker com;
    com.SetProtocolType(1);
    com.SetAddressByte(0, 1);

    std::set<Bytes> valid;
    com.ReadRegisters(11, 31);
    valid.insert(Sent(com));
    std::uint16_t words[40];
    for (int i = 0; i < 40; ++i)
        words[i] = static_cast<std::uint16_t>(0xABCD + i);
    EXPECT_TRUE(com.WriteRegisters(words, 82, 40));
    valid.insert(Sent(com));

    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            std::uint8_t frame[CSerialPort::kSendBufferSize];
            const std::size_t n = com.TakeSendBuffer(frame, sizeof frame);
            if (n != 0) {
                EXPECT_EQ(valid.count(Bytes(frame, frame + n)), 1u);
            }
        }
    });
    std::thread a([&] {
        for (int i = 0; i < 3000; ++i)
            com.ReadRegisters(11, 31);
    });
    std::thread b([&] {
        for (int i = 0; i < 3000; ++i)
            EXPECT_TRUE(com.WriteRegisters(words, 82, 40));
    });
    a.join();
    b.join();
    stop = true;
    reader.join();
}

} // namespace
