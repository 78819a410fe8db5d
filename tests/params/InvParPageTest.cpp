// The parameter page without a window: on a fake clock, its requests
// answered in-process by the simulator engine, frames recorded byte for
// byte. Expected words are written out by hand from the inverter's
// settings, the workbook's columns and the values typed.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "PageBench.h"
#include "model/StateTexts.h"

namespace {

using namespace pagebench;
using P = CInvParPage;

// The page alone, its values handed in one by one as a reply would number them.
class CPageUnit {
public:
    explicit CPageUnit(int type, const std::string& version = "")
    {
        link.SetProtocolType(type);
        page.onFieldChanged = [this](int id) { changed.push_back(id); };
        page.Open(&link, version);
    }
    void Value(int reg, std::uint16_t word)
    {
        link.ReadRegisters(reg, 1);
        std::uint8_t buffer[CSerialPort::kSendBufferSize];
        link.TakeSendBuffer(buffer, sizeof buffer);
        page.RestartRequests();
        page.OnRegisterValue(0, word);
    }
    void Name(int first, const std::string& text)
    {
        const auto words = StandardNameWords(text);
        for (int k = 0; k < 6; ++k)
            Value(first + k, words[static_cast<std::size_t>(k)]);
    }
    const std::string& Text(int id) const { return page.Field(id).strText; }

    CInverterCom link;
    CInvParPage page{Workbook()};
    std::vector<int> changed;
};

} // namespace

TEST(InvParPage, TypeZeroWritesTheChosenStandardInFourStepsByteForByte)
{
    CPageBench bench(0);
    bench.Open();
    bench.RunFirstCycle();
    // The read cycle with the early version's shorter settings block.
    const std::vector<std::array<int, 3>> reads = {
        {4, 40001, 24}, {4, 40025, 24}, {3, 40229, 21}, {4, 40049, 23}, {4, 39991, 3}};
    std::vector<std::array<int, 3>> sent = bench.Reads();
    ASSERT_GE(sent.size(), 5u);
    sent.resize(5);
    EXPECT_EQ(sent, reads);
    EXPECT_EQ(bench.page.Field(P::kIdStandardCombo).nSelection, 0) << "AS4777 read";

    EXPECT_FALSE(bench.page.OnStandardSelected(2)) << "VDE-NEW";
    EXPECT_EQ(bench.Text(1102), "184");
    bench.page.SetFieldText(1135, "500");  // T-VacLow
    bench.page.SetFieldText(1146, "-2.5"); // Kpv_Offset_1
    const std::size_t from = bench.frames.size();
    ASSERT_FALSE(bench.page.OnSetAllPars());
    EXPECT_FALSE(bench.page.Field(P::kIdSetAllPars).bEnabled);
    bench.RunCommand();

    const std::vector<Bytes> writes = bench.Writes(from);
    ASSERT_EQ(writes.size(), 4u);
    const Words settings = {1500, 60, 1840, 1840, 50, 10, 2530, 2645, 60000, 10, 4750,  4750,
                            10,   10, 5150, 5150, 10, 10, 1000, 2000, 0,     3,  0x5644};
    EXPECT_EQ(writes[0], WriteFrame(kSerialHeader, 40201, settings));
    EXPECT_EQ(writes[1], WriteFrame(kSerialHeader, 40224, {0x4520, 0x2020, 0x2020, 0x2020, 0x2020}));
    Words calibration = {0xFFE7, 1000};
    for (int i = 0; i < 7; ++i)
        calibration.insert(calibration.end(), {0, 1000});
    calibration.insert(calibration.end(), {0, 2, 1000}); // island on, code of VDE-NEW, full power
    ASSERT_EQ(calibration.size(), 19u);
    EXPECT_EQ(writes[2], WriteFrame(kSerialHeader, 40231, calibration));
    EXPECT_EQ(writes[3], WriteFrame(kSerialHeader, 40191, {0x1234, 0x5678, 0x9012}));

    // The inverter now holds the page's variables.
    for (std::size_t i = 0; i < settings.size(); ++i)
        EXPECT_EQ(bench.SimRegister(92 + static_cast<int>(i)), settings[i]) << 92 + i;
    for (std::size_t i = 0; i < calibration.size(); ++i)
        EXPECT_EQ(bench.SimRegister(122 + static_cast<int>(i)), calibration[i]) << 122 + i;
    EXPECT_EQ(bench.nTimeOuts, 0);
    EXPECT_TRUE(bench.page.Field(P::kIdSetAllPars).bEnabled);
}

TEST(InvParPage, TypeOneWritesTwentyOneRegistersThenFollowsTheNewAddress)
{
    CPageBench bench(1);
    bench.Open();
    bench.RunFirstCycle();
    EXPECT_EQ(bench.Reads()[2], (std::array<int, 3>{3, 38, 23})) << "the whole settings block";
    EXPECT_EQ(bench.Text(1183), "7");
    bench.page.SetFieldText(1183, "9");
    const std::size_t from = bench.frames.size();
    ASSERT_FALSE(bench.page.OnSetAllPars());
    bench.RunCommand();

    const std::vector<Bytes> writes = bench.Writes(from);
    ASSERT_EQ(writes.size(), 4u);
    Words calibration;
    for (int i = 0; i < 8; ++i)
        calibration.insert(calibration.end(), {0, 1000});
    calibration.insert(calibration.end(), {0, 0, 1000, 1, 9}); // island, code, full power, type 1, address
    EXPECT_EQ(writes[2], WriteFrame({7}, 40, calibration));
    EXPECT_EQ(writes[3], WriteFrame({9}, 0, {0x1234, 0x5678, 0x9012})) << "at the new address";
    EXPECT_EQ(bench.link.AddressByte(0), 9);
    EXPECT_EQ(bench.sim->Address(), 9);

    // Reads go on at the new address; the island box (checked: test on)
    // cleared writes 1 under this numbering.
    const std::size_t before = bench.frames.size();
    bench.RunUntil([&] { return bench.Reads(before).size() >= 2; });
    EXPECT_EQ(bench.nTimeOuts, 0);
    ASSERT_TRUE(bench.page.Field(P::kIdIsland).bChecked);
    const std::size_t island = bench.frames.size();
    bench.page.OnSwitchClicked(P::kIdIsland, false);
    bench.RunCommand();
    ASSERT_EQ(bench.Writes(island).size(), 1u);
    EXPECT_EQ(bench.Writes(island)[0], WriteFrame({9}, 56, {1}));
    EXPECT_EQ(bench.SimRegister(138), 1);
}

TEST(InvParPage, TypeTwoWritesElevenStepsByteForByteAndMovesAfterStepEight)
{
    CPageBench bench(2, -1, 111122223333);
    // Registers no page variable owns, and a standard outside the list.
    bench.SimWrite(40102, {0x1111, 0x1112, 0x1113});
    bench.SimWrite(41063, {0x2222, 0x2223});
    bench.SimWrite(40010, {0x3333});
    const auto name = StandardNameWords("CUSTOM");
    bench.SimWrite(41101, Words(name.begin(), name.end()));
    bench.Open();
    bench.RunFirstCycle();
    EXPECT_EQ(bench.Reads().size(), 14u) << "the first cycle ends with the last block";
    EXPECT_EQ(bench.Reads()[13], (std::array<int, 3>{3, 501, 6}));
    EXPECT_EQ(bench.page.Field(P::kIdStandardCombo).nSelection, -1);
    EXPECT_EQ(bench.Text(1111), "111122223333");

    bench.page.SetFieldText(1102, "205.5");
    bench.page.SetFieldText(1111, "123456789012");
    bench.page.SetFieldText(1183, "12");
    const std::size_t from = bench.frames.size();
    ASSERT_FALSE(bench.page.OnSetAllPars());
    bench.RunCommand();

    const std::vector<std::pair<int, Words>> steps = {
        {40101, {1500, 0x1111, 0x1112, 0x1113, 60}},
        {40201, {0, 2055, 1800, 50, 10, 2700, 2900, 50, 10, 4800, 4500, 50, 10, 5200, 5500, 50, 10, 3000}},
        {40305, {1}},
        {40403, {1000}},
        {40011, {0x9999}},
        {41007, {1000, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 0}},
        {41047, {1000, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 0, 0x2222, 0x2223, 2000}},
        {41101, {0x4355, 0x5354, 0x4F4D, 0x2020, 0x2020, 0x2020}},
        {40007, {0x1234, 0x5678, 0x9012, 0x3333, 0x9999, 12}},
        {40405, {83}},
        {40502, {5050, 4950, 10, 10, 5010, 4990}},
    };
    const std::vector<Bytes> writes = bench.Writes(from);
    ASSERT_EQ(writes.size(), steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::uint8_t address = i <= 8 ? 7 : 12;
        EXPECT_EQ(writes[i], WriteFrame({address}, steps[i].first - 40001, steps[i].second)) << "step " << i;
        for (std::size_t k = 0; k < steps[i].second.size(); ++k)
            EXPECT_EQ(bench.SimRegister(steps[i].first + static_cast<int>(k)), steps[i].second[k])
                << steps[i].first + k;
    }
    EXPECT_EQ(bench.sim->Serial(), 123456789012u);
    EXPECT_EQ(bench.link.AddressByte(0), 12);
    EXPECT_EQ(bench.nTimeOuts, 0);
}

TEST(InvParPage, LargeModelShortensTheReadsAndWritesTheCommandWordForSpiSteps)
{
    CPageBench bench(2, 0x7000); // 4.6 kW
    bench.Open();
    bench.RunFirstCycle();
    EXPECT_EQ(bench.page.ModelText(), "4.6K");
    EXPECT_TRUE(bench.page.IsLargeModel());
    EXPECT_EQ(bench.Reads().size(), 13u) << "the first cycle ends at 41109";
    EXPECT_EQ(bench.Reads()[8], (std::array<int, 3>{3, 400, 4}));
    for (int id : CInvParPage::LargeModelUnusedFields())
        EXPECT_FALSE(bench.page.Field(id).bEnabled) << id;
    bench.RunUntil([&] { return bench.Reads().size() >= 14; });
    EXPECT_EQ(bench.Reads()[13], (std::array<int, 3>{3, 100, 1}));

    const std::size_t from = bench.frames.size();
    ASSERT_FALSE(bench.page.OnSetAllPars());
    bench.RunCommand();
    const std::vector<Bytes> writes = bench.Writes(from);
    ASSERT_EQ(writes.size(), 11u);
    EXPECT_EQ(writes[9], WriteFrame({7}, 10, {0x9999}));
    EXPECT_EQ(writes[10], WriteFrame({7}, 10, {0x9999}));
}

TEST(InvParPage, SwitchesUnlockOnceAndHoldTheClickUntilWritten)
{
    CPageBench bench(2);
    bench.Open();
    bench.RunFirstCycle();
    // The block holding the switches goes out again; its answer is held back.
    bench.holdWire = 1100;
    ASSERT_TRUE(bench.RunUntil([&] { return !bench.held.empty(); }));
    ASSERT_TRUE(bench.page.Field(P::kIdGfci).bChecked);
    const std::size_t from = bench.frames.size();
    bench.page.OnSwitchClicked(P::kIdGfci, false);
    bench.Reply(bench.held); // reads GFCI on
    bench.Pump();
    EXPECT_FALSE(bench.page.Field(P::kIdGfci).bChecked) << "the read does not undo the click";
    bench.RunCommand();
    std::vector<Bytes> writes = bench.Writes(from);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], WriteFrame({7}, 10, {0x9999}));
    EXPECT_EQ(writes[1], WriteFrame({7}, 1106, {0}));
    EXPECT_EQ(bench.SimRegister(41107), 0);

    const std::size_t second = bench.frames.size();
    bench.page.OnSwitchClicked(P::kIdGfci, true);
    bench.RunCommand();
    writes = bench.Writes(second);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], WriteFrame({7}, 1106, {1}));

    // Self test and clear energy: their command words, then reading again.
    const std::size_t commands = bench.frames.size();
    bench.page.OnSelfTest();
    bench.RunCommand();
    bench.page.OnClearEnergy();
    bench.RunCommand();
    writes = bench.Writes(commands);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], WriteFrame({7}, 0x0131, {0x4000}));
    EXPECT_EQ(writes[1], WriteFrame({7}, 0x0131, {0x8000}));
    EXPECT_TRUE(bench.page.Field(P::kIdSelfTest).bEnabled);
}

TEST(InvParPage, FirstCycleChoosesTheStandardByCodeAndByName)
{
    struct Case {
        int code;
        const char* name;
        int selection;
    };
    for (const Case& c : {Case{2, "VDE", 2}, Case{1, "VDE", 1}, Case{0, "VDE", -1}, Case{0, "ETL-240     ", 7},
                          Case{0, "Unknown", -1}}) {
        CPageUnit unit(2);
        unit.Value(40201, static_cast<std::uint16_t>(c.code));
        unit.Name(41101, c.name);
        EXPECT_EQ(unit.page.Field(P::kIdStandardCombo).nSelection, c.selection) << c.name << " " << c.code;
    }
    CPageUnit unit(2);
    unit.Name(41101, "AS4777");
    unit.Name(41101, "Elsewhere");
    EXPECT_EQ(unit.page.Field(P::kIdStandardCombo).nSelection, 0) << "unchanged";
}

TEST(InvParPage, ValuesShowWithTheirExceptionsAndOnlyTheFirstCycleFillsSetValues)
{
    CPageUnit unit(0, "V8.05");
    EXPECT_FALSE(unit.page.Field(1022).bVisible);
    EXPECT_FALSE(unit.page.Field(P::kIdModbus).bVisible);
    unit.Value(48, 2030);
    EXPECT_EQ(unit.Text(1088), "203.0");
    EXPECT_EQ(unit.Text(1102), "203.0");
    unit.Value(77, 30);
    EXPECT_EQ(unit.Text(1082), "70");
    EXPECT_EQ(unit.Text(1083), "-5");
    unit.Value(122, 65511);
    EXPECT_EQ(unit.Text(1124), "-2.5");
    unit.Value(35, 65535);
    EXPECT_EQ(unit.Text(1080), "-1");
    unit.Value(22, 1);
    unit.Value(23, 5);
    EXPECT_EQ(unit.Text(1073), "65541") << "whole watts for this version";
    unit.Value(44, 46);
    EXPECT_EQ(unit.Text(1084), "4.6");
    EXPECT_TRUE(unit.page.IsLargeModel());
    unit.Value(41, 3);
    EXPECT_EQ(unit.Text(P::kIdRunningState), "Fault");
    EXPECT_EQ(unit.page.Field(P::kIdStateLamp).nIcon, kIconLampRed);
    unit.Value(39, 0x0020);
    unit.Value(40, 0x0001);
    EXPECT_EQ(unit.page.Field(P::kIdFaultList).lines, (std::vector<std::string>{"2.5V Ref Fault", "Disconnect Grid"}));
    unit.Value(74, 0);
    EXPECT_FALSE(unit.page.Field(P::kIdGfci).bChecked);
    EXPECT_TRUE(unit.page.Field(P::kIdGfci).bEnabled);

    unit.Value(1, 0x1234);
    unit.Value(2, 0x5678);
    EXPECT_FALSE(unit.page.IsFirstReadDone());
    unit.Value(3, 0x9012);
    EXPECT_TRUE(unit.page.IsFirstReadDone());
    EXPECT_EQ(unit.Text(1111), "123456789012");
    EXPECT_EQ(unit.page.Variables().qwSerial, 123456789012u);
    EXPECT_TRUE(unit.page.Field(P::kIdSetAllPars).bEnabled);

    unit.Value(48, 2100);
    EXPECT_EQ(unit.Text(1088), "210.0");
    EXPECT_EQ(unit.Text(1102), "203.0");
    unit.changed.clear();
    unit.Value(90, 7); // no field of the page
    EXPECT_TRUE(unit.changed.empty());

    CPageUnit type2(2);
    type2.Value(40003, 0x0805);
    EXPECT_EQ(type2.Text(1085), "8.05");
    type2.Value(40001, 0);
    type2.Value(40002, 0x4000);
    EXPECT_EQ(type2.Text(1084), "3K");
    EXPECT_FALSE(type2.page.IsLargeModel());
    type2.Value(30026, 128);
    EXPECT_EQ(type2.Text(P::kIdRunningState), "Fault");
    for (int id : CInvParPage::UnusedFields(2))
        EXPECT_FALSE(type2.page.Field(id).bEnabled) << id;
}

TEST(InvParPage, BoundsRefuseTheFirstOffendingFieldWithItsPromptAndSendNothing)
{
    CPageBench bench(1);
    bench.Open();
    bench.RunFirstCycle();
    ASSERT_TRUE(bench.prompts.empty());
    const std::string kInt = "请输入一个整数。";
    const std::string kReal = "请输入一个数字。";
    const auto ints = [](const char* lo, const char* hi) {
        return std::string("请输入一个在 ") + lo + " 和 " + hi + " 之间的整数。";
    };
    const auto reals = [](const char* lo, const char* hi) {
        return std::string("请输入一个在 ") + lo + " 和 " + hi + " 之间的数字。";
    };
    struct Case {
        int field;
        const char* text;
        std::string prompt;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {1100, "149", ints("150", "300")}, {1100, "301", ints("150", "300")}, {1100, "abc", kReal},
        {1101, "29", ints("30", "6000")}, {1101, "6001", ints("30", "6000")}, {1101, "12a", kInt}, {1101, "", kInt},
        {1101, "-5", ints("30", "6000")}, {1102, "179.9", ints("180", "277")}, {1102, "278", ints("180", "277")},
        {1102, "inf", kReal}, {1102, "nan", kReal}, {1134, "169", ints("170", "277")},
        {1134, "278", ints("170", "277")}, {1135, "9", ints("10", "600000")}, {1136, "600001", ints("10", "600000")},
        {1138, "9", ints("10", "600000")}, {1139, "600001", ints("10", "600000")}, {1141, "9", ints("10", "600000")},
        {1142, "600001", ints("10", "600000")}, {1144, "9", ints("10", "600000")},
        {1145, "600001", ints("10", "600000")}, {1103, "207", ints("208", "310")}, {1103, "311", ints("208", "310")},
        {1137, "269", ints("270", "310")}, {1137, "311", ints("270", "310")}, {1104, "44.99", reals("45", "60")},
        {1104, "60.01", reals("45", "60")}, {1140, "44.99", reals("45", "60")}, {1140, "60.01", reals("45", "60")},
        {1105, "49.99", reals("50", "65")}, {1105, "65.01", reals("50", "65")},
        {1143, "655.36", reals("0", "655.35")}, {1143, "1e39", kReal}, {1106, "99", ints("100", "5000")},
        {1106, "5001", ints("100", "5000")}, {1107, "1919", ints("1920", "2080")},
        {1107, "2081", ints("1920", "2080")}, {1108, "-1", ints("0", "3")}, {1108, "4", ints("0", "3")},
        {1109, "-1", ints("0", "6")}, {1109, "7", ints("0", "6")}, {1179, "-0.1", reals("0", "100")},
        {1179, "100.1", reals("0", "100")}, {1191, "0.009", reals("0.01", "10")},
        {1191, "10.01", reals("0.01", "10")}, {1193, "49.9", reals("50", "65")}, {1195, "60.1", reals("45", "60")},
        {1197, "9", ints("10", "630000")}, {1199, "630001", ints("10", "630000")},
        {1201, "61.6", reals("50", "61.5")}, {1203, "47.4", reals("47.5", "60")}, {1183, "256", ints("0", "255")},
        {1183, "-1", ints("0", "255")}, {1146, "-30.1", reals("-30", "30")}, {1147, "79.9", reals("80", "120")},
        {1148, "30.1", reals("-30", "30")}, {1149, "120.1", reals("80", "120")},
        {1150, "3276.8", reals("-3276.8", "3276.7")}, {1151, "-1", reals("0", "6553.5")},
        {1163, "-30.5", reals("-30", "30")}, {1164, "121", reals("80", "120")}, {1167, "200.5", reals("-200", "200")},
        {1168, "79", reals("80", "120")}, {1171, "31", reals("-30", "30")}, {1172, "x", kReal},
        {1111, "1000000000000", CInvParPage::kSerialInvalidText}, {1111, "12345abc", CInvParPage::kSerialInvalidText},
        {1111, "", CInvParPage::kSerialInvalidText}, {1111, "KA1X100001", CInvParPage::kSerialInvalidText},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::string kept = bench.Text(c.field);
        bench.page.SetFieldText(c.field, c.text);
        const std::optional<SPagePrompt> prompt = bench.page.OnSetAllPars();
        EXPECT_EQ(prompt, (SPagePrompt{c.field, c.prompt})) << c.field << " '" << c.text << "'";
        EXPECT_EQ(bench.page.NextMode(), kModeCyclicRead) << c.field << " nothing starts";
        bench.page.SetFieldText(c.field, kept);
    }
    // Only the first offending field is named.
    bench.page.SetFieldText(1101, "1");
    bench.page.SetFieldText(1100, "1");
    EXPECT_EQ(bench.page.OnSetAllPars()->nField, 1100);
    bench.page.SetFieldText(1100, "150");
    bench.page.SetFieldText(1101, "60");
    // Nothing refused went out.
    EXPECT_TRUE(bench.Writes(0).empty());

    bench.page.SetFieldText(1111, "999999999999");
    EXPECT_FALSE(bench.page.OnSetAllPars());
    EXPECT_EQ(bench.page.NextMode(), kModeWriteSequence);
    EXPECT_EQ(bench.page.Variables().qwSerial, 999999999999u);
}

TEST(InvParPage, SerialLabelsAreDecodedOnEnter)
{
    CPageUnit unit(1);
    unit.page.SetFieldText(P::kIdSerialSet, "KA1X115001"); // code 11, 15 January 2011, a Saturday
    unit.page.OnEnter();
    EXPECT_EQ(unit.Text(P::kIdSerialSet), "101111026001");
    EXPECT_EQ(unit.page.Variables().qwSerial, 101111026001u);
    unit.page.SetFieldText(P::kIdSerialSet, "12");
    unit.page.OnEnter();
    EXPECT_EQ(unit.page.Variables().qwSerial, 101111026001u) << "only labels";
}

// The choice shows the variables again; the serial number typed (a label
// here) is not one of them until it is processed, and must survive.
TEST(InvParPage, ASerialTypedBeforeAStandardIsChosenIsTheOneWritten)
{
    CPageBench bench(1);
    bench.Open();
    bench.RunFirstCycle();
    ASSERT_EQ(bench.Text(P::kIdSerialSet), "123456789012");
    bench.page.SetFieldText(P::kIdSerialSet, "KA1X115001");
    EXPECT_FALSE(bench.page.OnStandardSelected(2));
    EXPECT_EQ(bench.Text(P::kIdSerialSet), "KA1X115001");
    const std::size_t from = bench.frames.size();
    ASSERT_FALSE(bench.page.OnSetAllPars());
    bench.RunCommand();
    const std::vector<Bytes> writes = bench.Writes(from);
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[3], WriteFrame({7}, 0, {0x1011, 0x1102, 0x6001})) << "the label decoded";
    EXPECT_EQ(bench.Text(P::kIdSerialSet), "101111026001");
}

TEST(InvParPage, ChoosingAStandardTakesValidFieldsAndPromptsForTheFirstInvalidOne)
{
    CPageUnit unit(2);
    unit.page.EnableCommands(true);
    unit.page.SetFieldText(1100, "x");                                         // Vpv-start
    unit.page.SetFieldText(1147, "110");                                       // Kpv_Gain_1, no workbook value
    const std::optional<SPagePrompt> prompt = unit.page.OnStandardSelected(7); // ETL-240
    EXPECT_EQ(prompt, (SPagePrompt{1100, "请输入一个数字。"}));
    EXPECT_EQ(unit.page.Variables().calibration[1], 110);
    EXPECT_EQ(unit.page.Variables().strStandardName, "ETL-240");
    EXPECT_EQ(unit.page.Variables().wStandardCode, 7);
    EXPECT_EQ(unit.page.Variables().settings[kVacLow], static_cast<float>(211.2));
    EXPECT_EQ(unit.page.Variables().settings[kTStart], 300);
    EXPECT_EQ(unit.Text(1100), "150") << "the field shows its variable";
    EXPECT_EQ(unit.Text(1102), "211.2");
    EXPECT_EQ(unit.page.Field(P::kIdStandardCombo).nSelection, 7);
}

TEST(InvParPage, AStandardWithoutItsCodeInTheWorkbookIsRefused)
{
    // The shipped sheet without its STANDARD_CODE row.
    std::ifstream in(testfiles::SourceCsv("tester-parset.csv"));
    std::string parset, line;
    while (std::getline(in, line))
        if (line.rfind("STANDARD_CODE", 0) != 0)
            parset += line + "\n";
    std::ifstream models(testfiles::SourceCsv("tester-modelcode.csv"));
    std::stringstream modelCsv;
    modelCsv << models.rdbuf();
    testfiles::CTempDir dir;
    ConfigWorkbook workbook;
    ASSERT_TRUE(workbook.OpenWorkbook(testfiles::MakeWorkbook(dir, parset, modelCsv.str()).string()));
    workbook.ReadParameterSheet();

    CInverterCom link;
    link.SetProtocolType(2);
    CInvParPage page(workbook);
    page.Open(&link, "");
    page.EnableCommands(true);
    EXPECT_EQ(page.OnStandardSelected(2), (SPagePrompt{P::kIdStandardCombo, CInvParPage::kNoStandardCodeText}));
    EXPECT_EQ(page.Field(P::kIdStandardCombo).nSelection, -1);
    EXPECT_EQ(page.Variables().strStandardName, "AS4777");
    EXPECT_EQ(page.Variables().settings[kVacLow], 203);
}

TEST(InvParPage, TheFirstCyclePromptComesAfterTheValueWasCounted)
{
    CPageBench bench(0);
    bench.SimWrite(94, {3000}); // VacLow 300.0 V, above its bound
    int counted = -1;
    bench.page.onPrompt = [&](const SPagePrompt& p) {
        bench.prompts.push_back(p);
        counted = bench.page.ValueCount();
    };
    bench.Open();
    bench.RunFirstCycle();
    ASSERT_EQ(bench.prompts.size(), 1u);
    EXPECT_EQ(bench.prompts[0], (SPagePrompt{1102, "请输入一个在 180 和 277 之间的整数。"}));
    EXPECT_EQ(counted, 3) << "the serial number's third value";
    EXPECT_EQ(bench.link.LinkState(), kLinkIdle);
    EXPECT_EQ(bench.page.Variables().settings[kVacLow], 203) << "kept";
}

TEST(InvParPage, ThePollThreadSendsWhatTheOperatorCommittedWhileFieldsChange)
{
    CPageBench bench(1);
    bench.Open();
    std::atomic<bool> stop{false};
    std::thread poll([&] {
        while (!stop.load()) {
            bench.page.OnTick(); // SendRequest from here, as the poll thread does
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto serve = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 20000 && !done(); ++i) {
            bench.Answer();
            bench.Pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    };
    ASSERT_TRUE(serve([&] { return bench.page.IsFirstReadDone(); }));
    const std::size_t from = bench.frames.size();
    bench.page.SetFieldText(1183, "9");
    ASSERT_FALSE(bench.page.OnSetAllPars());
    // Edits after the commit change nothing that is sent.
    bench.page.SetFieldText(1183, "11");
    bench.page.SetFieldText(1102, "250");
    EXPECT_TRUE(serve([&] { return bench.Writes(from).size() == 4 && bench.page.Mode() == kModeCyclicRead; }));
    stop.store(true);
    poll.join();
    const std::vector<Bytes> writes = bench.Writes(from);
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0][11], 0x07) << "VacLow 203.0 as read";
    EXPECT_EQ(writes[0][12], 0xEE);
    EXPECT_EQ(writes[2].size(), 1u + 6 + 42 + 2);
    EXPECT_EQ(writes[2][7 + 2 * 20 + 1], 9) << "the address committed";
    EXPECT_EQ(bench.sim->Address(), 9);
}
