#include <gtest/gtest.h>

#include "support/LinkTestUtil.h"
#include "platform/Tick.h"

namespace {

using Values = std::vector<long>;

class ReceiveTest : public ::testing::Test {
protected:
    ReceiveTest() { com.SetOwner(&queue); }
    void UseType(int type, std::uint8_t slave = 0x01)
    {
        com.SetProtocolType(type);
        if (type != 0)
            com.SetAddressByte(0, slave);
    }
    platform::CFakeTicks ticks{777};
    platform::CMessageQueue queue;
    CInverterCom com;
};

TEST_F(ReceiveTest, ReadReplyLearnsTheSerialNumberInTypeOne)
{
    UseType(1);
    com.SetSerialKnown(false);
    com.SetTag(0);
    Feed(com, Hex("01 03 06 12 34 56 78 90 12 EE 5F"));
    EXPECT_EQ(TakeValues(queue), (Values{0x1234, 0x5678, 0x9012}));
    EXPECT_TRUE(com.IsSerialKnown());
    EXPECT_EQ(FormatSerialNumber(com.Serial()), "123456789012");
    EXPECT_EQ(com.AddressByte(0), 0x01);
    EXPECT_EQ(com.LastReplyTick(), 777u);
    EXPECT_EQ(com.ReceiveState(), 0);
}

TEST_F(ReceiveTest, TypeZeroReplyAlsoReplacesTheAddress)
{
    com.SetAddress({0x12, 0x34, 0x56, 0x78, 0x90, 0x12});
    com.SetSerialKnown(false);
    Feed(com, Hex("12 34 56 78 90 12 03 06 12 34 56 78 90 12 85 EC"));
    EXPECT_EQ(TakeValues(queue), (Values{0x1234, 0x5678, 0x9012}));
    EXPECT_EQ(FormatSerialNumber(com.Address()), "123456789012");

    // With the wildcard address the inverter's number becomes the address.
    com.ReadSerialNumber();
    Feed(com, WithCrc(Hex("99 99 99 99 99 99 04 06 00 00 11 22 33 44")));
    EXPECT_EQ(TakeValues(queue), (Values{0x0000, 0x1122, 0x3344}));
    EXPECT_EQ(FormatSerialNumber(com.Address()), "000011223344");
    EXPECT_EQ(FormatSerialNumber(com.Serial()), "000011223344");
}

TEST_F(ReceiveTest, LearnsNothingOnceTheSerialIsKnown)
{
    UseType(1);
    Feed(com, Hex("01 03 02 00 05 78 47"));
    EXPECT_EQ(TakeValues(queue), (Values{5}));
    EXPECT_EQ(FormatSerialNumber(com.Serial()), "000000000000");
    EXPECT_EQ(com.AddressByte(0), 0x01);

    Feed(com, WithCrc(Hex("01 04 06 AA BB CC DD EE FF")));
    EXPECT_EQ(TakeValues(queue), (Values{0xAABB, 0xCCDD, 0xEEFF}));
    EXPECT_EQ(FormatSerialNumber(com.Serial()), "000000000000");
}

TEST_F(ReceiveTest, WriteAndCoilEchoesPostAddressAndQuantity)
{
    UseType(1);
    com.SetTag(3);
    Feed(com, Hex("01 10 00 0A 00 03 A0 0A"));
    Feed(com, Hex("01 05 00 01 FF 00 DD FA"));
    std::vector<platform::PostedMessage> got;
    while (auto m = queue.TryTake())
        got.push_back(*m);
    const std::vector<platform::PostedMessage> want{{platform::WM_REGISTER_VALUE, 3, 10},
                                                    {platform::WM_REGISTER_VALUE, 3, 3},
                                                    {platform::WM_REGISTER_VALUE, 3, 1},
                                                    {platform::WM_REGISTER_VALUE, 3, 0xFF00}};
    EXPECT_EQ(got, want);
}

TEST_F(ReceiveTest, NoiseAndBrokenHeadersAreSkipped)
{
    UseType(1);
    // A slave-address byte inside noise opens a header; the 0x77 after it
    // is no known function code and drops it again.
    Feed(com, Hex("55 01 77 00 FF"));
    Feed(com, Hex("01 03 02 00 05 78 47"));
    EXPECT_EQ(TakeValues(queue), (Values{5}));

    // Type 0: a header broken after three bytes restarts at the next byte
    // equal to the first address byte.
    UseType(0);
    com.SetAddress({0x12, 0x34, 0x56, 0x78, 0x90, 0x12});
    Feed(com, Hex("00 12 34 56 12 34 56 78 90 12 03 06 12 34 56 78 90 12 85 EC"));
    EXPECT_EQ(TakeValues(queue), (Values{0x1234, 0x5678, 0x9012}));
}

TEST_F(ReceiveTest, ExceptionsBadCrcAndOtherFunctionsPostNothing)
{
    UseType(1);
    com.SetSerialKnown(false);
    Feed(com, Hex("01 83 02 C0 F1"));            // exception reply
    Feed(com, WithCrc(Hex("01 06 00 01 00 03"))); // a function the link never asks for
    Bytes altered = Hex("01 03 06 12 34 56 78 90 12 EE 5F");
    altered[5] ^= 0x01;
    Feed(com, altered);
    EXPECT_TRUE(TakeValues(queue).empty());
    EXPECT_EQ(com.LastReplyTick(), 0u);
    EXPECT_FALSE(com.IsSerialKnown()); // a bad frame teaches nothing

    Feed(com, Hex("01 03 02 00 05 78 47"));
    EXPECT_EQ(TakeValues(queue), (Values{5}));
}

TEST_F(ReceiveTest, OversizeByteCountIsDroppedAndTheNextFrameParses)
{
    // Type 0: 6 + 2 + 250 + 2 bytes would overrun the 256-byte buffer.
    Bytes frame = Hex("99 99 99 99 99 99 03 FA");
    frame.resize(frame.size() + 252, 0x5A);
    Feed(com, frame);
    Feed(com, WithCrc(Hex("99 99 99 99 99 99 03 02 12 34")));
    EXPECT_EQ(TakeValues(queue), (Values{0x1234}));

    // Type 1: the largest byte count that fits (1 + 2 + 251 + 2 = 256) is read.
    UseType(1);
    Bytes big = Hex("01 03 FB");
    for (int i = 0; i < 251; ++i)
        big.push_back(static_cast<std::uint8_t>(i));
    Feed(com, WithCrc(big));
    const Values values = TakeValues(queue);
    ASSERT_EQ(values.size(), 125u);
    EXPECT_EQ(values.front(), 0x0001);
    EXPECT_EQ(values.back(), 248 * 256 + 249);

    Bytes over = Hex("01 04 FF");
    over.resize(over.size() + 257, 0x00);
    Feed(com, over);
    Feed(com, Hex("01 03 02 00 05 78 47"));
    EXPECT_EQ(TakeValues(queue), (Values{5}));
}

TEST_F(ReceiveTest, ProbeReplyAdoptsTheSlaveAddress)
{
    UseType(1, 0xFF);
    com.SetProbePending(true);
    Feed(com, Hex("FF 03 02 00 05 51 93"));
    EXPECT_EQ(TakeValues(queue), (Values{5}));
    EXPECT_EQ(com.AddressByte(0), 0x05);

    // Type 2 learns too; type 0 has no slave address to learn.
    UseType(2, 0x00);
    Feed(com, WithCrc(Hex("00 03 02 00 09")));
    EXPECT_EQ(com.AddressByte(0), 0x09);
    UseType(0);
    com.SetAddress({0x99, 0x99, 0x99, 0x99, 0x99, 0x99});
    Feed(com, WithCrc(Hex("99 99 99 99 99 99 03 02 00 07")));
    EXPECT_EQ(TakeValues(queue), (Values{9, 7}));
    EXPECT_EQ(FormatSerialNumber(com.Address()), "999999999999");
}

TEST_F(ReceiveTest, ResetAbandonsAHalfReadFrame)
{
    UseType(1);
    Feed(com, Hex("01 03 06 12 34"));
    EXPECT_EQ(com.ReceiveState(), 2);
    com.ResetReceiver();
    EXPECT_EQ(com.ReceiveState(), 0);
    Feed(com, Hex("01 03 02 00 05 78 47"));
    EXPECT_EQ(TakeValues(queue), (Values{5}));
}

TEST_F(ReceiveTest, HeaderLengthChangeMidFrameStaysInsideTheBuffer)
{
    UseType(1);
    Bytes frame = Hex("01 03 FB");
    Feed(com, frame);
    com.SetProtocolType(0); // detection switching types while a frame is half read
    for (int i = 0; i < 253; ++i)
        com.OnReceiveByte(0xEE);
    EXPECT_EQ(com.ReceiveState(), 0);
    EXPECT_TRUE(TakeValues(queue).empty());
}

} // namespace
