#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "config/ConfigWorkbook.h"
#include "params/ParameterCatalogue.h"

namespace {

const int kTypes01[] = {0, 1};

// Checks `count` consecutive registers from `first` against `scale`.
void ExpectScale(int protocolType, int first, int count, float scale, const char* label)
{
    for (int r = first; r < first + count; ++r) {
        EXPECT_EQ(GetRegisterScale(protocolType, r), scale) << label << " register " << r << " type " << protocolType;
    }
}

std::vector<double> Defaults()
{
    std::vector<double> values;
    for (const SSettableParameter& p : SettableParameters())
        values.push_back(p.defaultValue);
    return values;
}

double Source(const SSettableParameter& p, const std::vector<double>& values)
{
    return p.minimumFrom == kSettingCount ? 0 : values[static_cast<std::size_t>(p.minimumFrom)];
}

std::string WorkbookPath()
{
    return std::string(ZELVAN_SOURCE_DIR) + "/assets/datacfg-sp.xls";
}

} // namespace

TEST(ParameterCatalogue, ScalesAgreeWithTheRegisterTables)
{
    const auto settable = SettableParameters();
    ASSERT_EQ(settable.size(), static_cast<std::size_t>(kSettingCount));
    for (std::size_t i = 0; i < settable.size(); ++i) {
        const SSettableParameter& p = settable[i];
        ASSERT_EQ(p.setting, static_cast<ESetting>(i)) << p.label; // indexed by ESetting
        for (int type : kTypes01) {
            if (p.readIndex != kNoRegister)
                ExpectScale(type, p.readIndex, p.registerCount, p.scale01, p.label);
            if (p.writeIndex != kNoRegister)
                ExpectScale(type, p.writeIndex, p.registerCount, p.scale01, p.label);
        }
        if (p.register2 != kNoRegister)
            ExpectScale(2, p.register2, p.registerCount, p.scale2, p.label);
    }
    for (const SCalibrationParameter& c : CalibrationParameters()) {
        for (int type : kTypes01)
            ExpectScale(type, c.index01, 1, kCalibrationScale01, c.label);
        if (c.register2 != kNoRegister) {
            ExpectScale(2, c.register2, 1, c.scale2, c.label);
            EXPECT_EQ(c.isOffset, c.scale2 < 0) << c.label; // offsets are the signed registers
        }
    }
    for (const SShownValue& s : ShownValues()) {
        if (s.kind != EShownKind::kScaled)
            continue;
        for (int type : kTypes01) {
            if (s.index01 != kNoRegister)
                ExpectScale(type, s.index01, 1, s.scale01, s.label);
            if (s.highIndex01 != kNoRegister)
                ExpectScale(type, s.highIndex01, 1, s.scale01, s.label);
        }
        if (s.register2 != kNoRegister)
            ExpectScale(2, s.register2, 1, s.scale2, s.label);
        if (s.highRegister2 != kNoRegister)
            ExpectScale(2, s.highRegister2, 1, s.scale2, s.label);
    }
}

TEST(ParameterCatalogue, FieldsAndRegistersAreUnique)
{
    std::set<int> fields;
    std::set<int> registers01;
    std::set<int> registers2;
    auto addField = [&](int id, const char* label) {
        if (id != 0 && id != 1096) { // the standard combo serves name and code
            EXPECT_TRUE(fields.insert(id).second) << label << " field " << id;
        }
    };
    for (const SSettableParameter& p : SettableParameters()) {
        addField(p.currentField, p.label);
        addField(p.setField, p.label);
        for (int k = 0; k < p.registerCount && p.register2 != kNoRegister; ++k) {
            EXPECT_TRUE(registers2.insert(p.register2 + k).second) << p.label;
        }
        // Read index = write index for these three; each is counted once.
        if (p.readIndex != kNoRegister && p.setting != kStandardCode && p.setting != kIslandTestSwitch &&
            p.setting != kModbusAddress) {
            for (int k = 0; k < p.registerCount; ++k) {
                EXPECT_TRUE(registers01.insert(p.readIndex + k).second) << p.label;
            }
        }
    }
    for (const SCalibrationParameter& c : CalibrationParameters()) {
        addField(c.currentField, c.label);
        addField(c.setField, c.label);
        EXPECT_TRUE(registers01.insert(c.index01).second) << c.label;
        if (c.register2 != kNoRegister) {
            EXPECT_TRUE(registers2.insert(c.register2).second) << c.label;
        }
    }
    for (const SShownValue& s : ShownValues())
        addField(s.field, s.label);
    EXPECT_EQ(CalibrationParameters().size(), 16u);
}

TEST(ParameterCatalogue, DefaultsAndBoundsFitTheirRegisters)
{
    const std::vector<double> defaults = Defaults();
    for (const SSettableParameter& p : SettableParameters()) {
        SCOPED_TRACE(p.label);
        if (p.hasDefault) {
            EXPECT_TRUE(IsWithinBounds(p, p.defaultValue, Source(p, defaults)));
        }
        const float scales[] = {p.scale01, p.scale2};
        for (float scale : scales) {
            if (scale == 0)
                continue;
            if (p.hasDefault) {
                EXPECT_TRUE(FitsRegister(p, p.defaultValue, scale));
            }
            if (p.boundRule != EBoundRule::kNone) {
                EXPECT_TRUE(FitsRegister(p, p.maximum, scale));
                if (p.minimum > std::numeric_limits<double>::lowest()) {
                    EXPECT_TRUE(FitsRegister(p, p.minimum, scale));
                }
            }
        }
    }
    for (const SCalibrationParameter& c : CalibrationParameters()) {
        SCOPED_TRACE(c.label);
        EXPECT_TRUE(IsWithinBounds(c, c.defaultValue));
        const double low = c.hasBounds ? c.minimum : c.defaultValue;
        const double high = c.hasBounds ? c.maximum : c.defaultValue;
        for (double v : {low, high}) {
            const double raw = v * kCalibrationScale01;
            if (c.isOffset) {
                EXPECT_TRUE(raw >= -32768 && raw <= 32767);
            } else {
                EXPECT_TRUE(raw >= 0 && raw <= 65535);
            }
        }
    }
}

TEST(ParameterCatalogue, BoundRules)
{
    const auto settable = SettableParameters();
    const SSettableParameter& vacLow = settable[kVacLow];
    const SSettableParameter& vacHigh = settable[kVacHigh];
    const SSettableParameter& facHigh = settable[kFacHigh];
    // Voltages: the integer part, as unsigned, against integer bounds; a
    // bound taken from another voltage is its integer part.
    EXPECT_TRUE(IsWithinBounds(vacLow, 277.9, 180));
    EXPECT_FALSE(IsWithinBounds(vacLow, 278, 180));
    EXPECT_TRUE(IsWithinBounds(vacLow, 180.2, 180.7));
    EXPECT_FALSE(IsWithinBounds(vacLow, 179.9, 180.7));
    EXPECT_FALSE(IsWithinBounds(vacLow, -5, 180));
    EXPECT_TRUE(IsWithinBounds(vacHigh, 208, 203)); // the larger of 208 and VacLow
    EXPECT_FALSE(IsWithinBounds(vacHigh, 207, 203));
    EXPECT_FALSE(IsWithinBounds(vacHigh, 250, 260.5));
    // Floats: High frequency is at least the larger of Low-frequency and 50.
    EXPECT_FALSE(IsWithinBounds(facHigh, 50.5, 51));
    EXPECT_TRUE(IsWithinBounds(facHigh, 51, 51));
    EXPECT_TRUE(IsWithinBounds(facHigh, 50, 48));
    EXPECT_TRUE(IsWithinBounds(settable[kFacHigher], 1000)); // no bounds
    EXPECT_TRUE(IsWithinBounds(settable[kPowerReductionRate], 0.01));
    EXPECT_FALSE(IsWithinBounds(settable[kPowerReductionRate], 0.009));
    // Integers: unsigned times, signed language and address.
    EXPECT_TRUE(IsWithinBounds(settable[kTVacLow], 600000));
    EXPECT_FALSE(IsWithinBounds(settable[kTVacLow], 600001));
    EXPECT_FALSE(IsWithinBounds(settable[kTStart], 1e10));
    EXPECT_FALSE(IsWithinBounds(settable[kTStart], -1)); // wraps to a huge unsigned
    EXPECT_FALSE(IsWithinBounds(settable[kLanguage], -1));
    EXPECT_TRUE(IsWithinBounds(settable[kModbusAddress], 255));
    EXPECT_FALSE(IsWithinBounds(settable[kModbusAddress], 256));
    // Nothing that is not a number passes, whatever the rule.
    for (const SSettableParameter& p : settable) {
        EXPECT_FALSE(IsWithinBounds(p, std::numeric_limits<double>::quiet_NaN())) << p.label;
    }
    EXPECT_FALSE(IsWithinBounds(CalibrationParameters()[0], std::numeric_limits<double>::infinity()));
    EXPECT_TRUE(IsWithinBounds(CalibrationParameters()[0], -30));
    EXPECT_FALSE(IsWithinBounds(CalibrationParameters()[0], -30.5));
}

TEST(ParameterCatalogue, TextValuedSettings)
{
    // Standard name: the VDE variants are written as "VDE", padded to 12.
    const std::array<std::uint16_t, 6> vde = {0x5644, 0x4520, 0x2020, 0x2020, 0x2020, 0x2020};
    EXPECT_EQ(StandardNameWords("VDE-NEW"), vde);
    EXPECT_EQ(StandardNameWords("VDE-OLD"), vde);
    EXPECT_EQ(StandardNameText(StandardNameWords("CEI 0-21")), "CEI 0-21    ");
    EXPECT_EQ(StandardNameText(StandardNameWords("ABCDEFGHIJKLMN")), "ABCDEFGHIJKL");
    EXPECT_EQ(StandardNameText({0x4554, 0x4C2D, 0x3234, 0x3000, 0x4141, 0x4141}), "ETL-240");
    // Twelve non-zero characters show exactly, nothing more.
    EXPECT_EQ(StandardNameText({0x4142, 0x4344, 0x4546, 0x4748, 0x494A, 0x4B4C}), "ABCDEFGHIJKL");

    // Serial number: 12 digits as 3 BCD words, most significant first.
    const std::array<std::uint16_t, 3> words = {0x1234, 0x5678, 0x9012};
    EXPECT_EQ(SerialNumberWords(123456789012ULL), words);
    EXPECT_EQ(SerialNumberText(words), "123456789012");
    EXPECT_EQ(SerialNumberText(SerialNumberWords(42)), "000000000042");
    EXPECT_TRUE(IsValidSerialNumber(999999999999ULL));
    EXPECT_FALSE(IsValidSerialNumber(1000000000000ULL));
}

TEST(ParameterCatalogue, EncodingFollowsEachSetting)
{
    const auto settable = SettableParameters();
    EXPECT_EQ(EncodeSetting(settable[kTVacLow], 500, settable[kTVacLow].scale2), 50);
    EXPECT_EQ(EncodeSetting(settable[kPowerReductionRate], 0.83, settable[kPowerReductionRate].scale2), 83);
    EXPECT_EQ(EncodeSetting(settable[kVpvStart], 150, settable[kVpvStart].scale01), 1500);
    EXPECT_FALSE(EncodeSetting(settable[kVpvStart], std::numeric_limits<double>::quiet_NaN(), 10).has_value());
    for (int s :
         {kPowerReductionRate, kFacHighSpi2, kFacLowSpi2, kTFacHighSpi2, kTFacLowSpi2, kConnectFacHigh, kConnectFacLow})
        EXPECT_TRUE(settable[static_cast<std::size_t>(s)].signedEncoding) << s;
    EXPECT_TRUE(settable[kIslandTestSwitch].inverted01);
}

TEST(ParameterCatalogue, ShippedWorkbookSuppliesEverySettingWithinBounds)
{
    ConfigWorkbook workbook;
    ASSERT_TRUE(workbook.OpenWorkbook(WorkbookPath()));
    workbook.ReadParameterSheet();
    const auto names = StandardSettings();
    ASSERT_EQ(names.size(), 33u);
    EXPECT_STREQ(names[31].name, "ConectingFacHigh");
    EXPECT_STREQ(names[26].name, "Active power reduction Rate(dP/dF)");

    const auto settable = SettableParameters();
    for (int k = 0; k < ConfigWorkbook::kStandardCount; ++k) {
        SCOPED_TRACE(workbook.StandardList()[static_cast<std::size_t>(k)]);
        // Choosing a standard: every name looked up, applied ones assigned
        // (integers truncated), then every value must pass its bounds.
        std::vector<double> values = Defaults();
        for (int n = 0; n < kStandardSettingCount; ++n) {
            double value = 0;
            ASSERT_EQ(LookupStandardValue(n, workbook, k, value), 0) << names[static_cast<std::size_t>(n)].name;
            const SStandardSetting& s = names[static_cast<std::size_t>(n)];
            if (s.target != kSettingCount)
                values[static_cast<std::size_t>(s.target)] = s.integer ? std::trunc(value) : value;
        }
        for (const SSettableParameter& p : settable) {
            if (p.boundRule == EBoundRule::kNone || !p.hasDefault)
                continue;
            const double v = values[static_cast<std::size_t>(p.setting)];
            EXPECT_TRUE(IsWithinBounds(p, v, Source(p, values))) << p.label << " = " << v;
            const float scale = p.register2 != kNoRegister ? p.scale2 : p.scale01;
            EXPECT_TRUE(FitsRegister(p, v, scale)) << p.label << " = " << v;
        }
        EXPECT_EQ(values[kStandardCode], k); // the shipped codes follow the column order
    }
    double value = 0;
    EXPECT_EQ(LookupStandardValue(33, workbook, 0, value), -1);
    EXPECT_EQ(LookupStandardValue(-1, workbook, 0, value), -1);
}
