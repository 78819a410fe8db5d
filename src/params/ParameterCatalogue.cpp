#include "params/ParameterCatalogue.h"

#include <cmath>
#include <limits>

#include "config/ConfigWorkbook.h"
#include "link/InverterCom.h"

namespace {

constexpr int kNone = kNoRegister;
constexpr ESetting kNoSource = kSettingCount;
constexpr double kNoLowerBound = std::numeric_limits<double>::lowest();

// Register word ranges: unsigned registers, and the signed ones (offsets).
constexpr int kU0 = 0, kU1 = 65535;
constexpr int kS0 = -32768, kS1 = 32767;

using K = EValueKind;
using B = EBoundRule;

// clang-format off
const SSettableParameter kSettable[kSettingCount] = {
//   setting            label                                  cur   set   rd    wr   n  s01    reg2   s2     kind                 bound                     min           max     minFrom     def?   def    signed inv   words
    {kVpvStart,         "Vpv-start(V)",                        1086, 1100, 46,   92,  1, 10,    40101, 10,    K::kFloat,        B::kUnsignedIntegerPart, 150,           300,    kNoSource,  true,  150,   false, false, kU0, kU1},
    {kTStart,           "T-start(s)",                          1087, 1101, 47,   93,  1, 1,     40105, 1,     K::kUnsigned,     B::kUnsigned,            30,            6000,   kNoSource,  true,  60,    false, false, kU0, kU1},
    {kVacLow,           "Vac low-voltage(V)",                  1088, 1102, 48,   94,  1, 10,    40202, 10,    K::kFloat,        B::kUnsignedIntegerPart, kNoLowerBound, 277,    kVacLower,  true,  203,   false, false, kU0, kU1},
    {kVacLower,         "Vac ultra low-voltage(V)",            1112, 1134, 49,   95,  1, 10,    40203, 10,    K::kFloat,        B::kUnsignedIntegerPart, 170,           277,    kNoSource,  true,  180,   false, false, kU0, kU1},
    {kTVacLow,          "Time(ms)",                            1113, 1135, 50,   96,  1, 0.1f,  40204, 0.1f,  K::kUnsigned,     B::kUnsigned,            10,            600000, kNoSource,  true,  500,   false, false, kU0, kU1},
    {kTVacLower,        "Time(ms)",                            1114, 1136, 51,   97,  1, 0.1f,  40205, 0.1f,  K::kUnsigned,     B::kUnsigned,            10,            600000, kNoSource,  true,  100,   false, false, kU0, kU1},
    {kVacHigh,          "Vac high-voltage(V)",                 1090, 1103, 52,   98,  1, 10,    40206, 10,    K::kFloat,        B::kUnsignedIntegerPart, 208,           310,    kVacLow,    true,  270,   false, false, kU0, kU1},
    {kVacHigher,        "Vac ultra high-voltage(V)",           1115, 1137, 53,   99,  1, 10,    40207, 10,    K::kFloat,        B::kUnsignedIntegerPart, kNoLowerBound, 310,    kVacHigh,   true,  290,   false, false, kU0, kU1},
    {kTVacHigh,         "Time(ms)",                            1116, 1138, 54,   100, 1, 0.1f,  40208, 0.1f,  K::kUnsigned,     B::kUnsigned,            10,            600000, kNoSource,  true,  500,   false, false, kU0, kU1},
    {kTVacHigher,       "Time(ms)",                            1117, 1139, 55,   101, 1, 0.1f,  40209, 0.1f,  K::kUnsigned,     B::kUnsigned,            10,            600000, kNoSource,  true,  100,   false, false, kU0, kU1},
    {kFacLow,           "Low-frequency(Hz)",                   1091, 1104, 56,   102, 1, 100,   40210, 100,   K::kFloat,        B::kFloat,               kNoLowerBound, 60,     kFacLower,  true,  48,    false, false, kU0, kU1},
    {kFacLower,         "Ultra low-frequency(Hz)",             1118, 1140, 57,   103, 1, 100,   40211, 100,   K::kFloat,        B::kFloat,               45,            60,     kNoSource,  true,  45,    false, false, kU0, kU1},
    {kTFacLow,          "Time(ms)",                            1119, 1141, 58,   104, 1, 0.1f,  40212, 0.1f,  K::kUnsigned,     B::kUnsigned,            10,            600000, kNoSource,  true,  500,   false, false, kU0, kU1},
    {kTFacLower,        "Time(ms)",                            1120, 1142, 59,   105, 1, 0.1f,  40213, 0.1f,  K::kUnsigned,     B::kUnsigned,            10,            600000, kNoSource,  true,  100,   false, false, kU0, kU1},
    {kFacHigh,          "High frequency(Hz)",                  1092, 1105, 60,   106, 1, 100,   40214, 100,   K::kFloat,        B::kFloat,               50,            65,     kFacLow,    true,  52,    false, false, kU0, kU1},
    {kFacHigher,        "Ultra high-frequency(Hz)",            1121, 1143, 61,   107, 1, 100,   40215, 100,   K::kFloat,        B::kNone,                0,             0,      kNoSource,  true,  55,    false, false, kU0, kU1},
    {kTFacHigh,         "Time(ms)",                            1122, 1144, 62,   108, 1, 0.1f,  40216, 0.1f,  K::kUnsigned,     B::kUnsigned,            10,            600000, kNoSource,  true,  500,   false, false, kU0, kU1},
    {kTFacHigher,       "Time(ms)",                            1123, 1145, 63,   109, 1, 0.1f,  40217, 0.1f,  K::kUnsigned,     B::kUnsigned,            10,            600000, kNoSource,  true,  100,   false, false, kU0, kU1},
    {kDciLimit,         "DCI-Limit",                           1093, 1106, 64,   110, 1, 1,     40218, 1,     K::kUnsigned,     B::kUnsigned,            100,           5000,   kNoSource,  true,  3000,  false, false, kU0, kU1},
    {kDciShift,         "DCI-Shift",                           1094, 1107, 65,   111, 1, 1,     41065, 1,     K::kUnsigned,     B::kUnsigned,            1920,          2080,   kNoSource,  true,  2000,  false, false, kU0, kU1},
    {kLanguage,         "Language",                            1095, 1108, 66,   112, 1, 1,     40305, 1,     K::kSigned,       B::kSigned,              0,             3,      kNoSource,  true,  1,     false, false, kU0, kU1},
    {kContrast,         "Contrast",                            1097, 1109, 67,   113, 1, 1,     kNone, 0,     K::kSigned,       B::kSigned,              0,             6,      kNoSource,  true,  3,     false, false, kU0, kU1},
    {kStandardName,     "Standard",                            1098, 1096, 68,   114, 6, 1,     41101, 1,     K::kStandardName, B::kNone,                0,             0,      kNoSource,  false, 0,     false, false, kU0, kU1},
    {kStandardCode,     "StandardCode",                        1187, 1096, 139,  139, 1, 1,     40201, 1,     K::kStandardCode, B::kNone,                0,             0,      kNoSource,  true,  0,     false, false, kU0, kU1},
    {kFullPowerLimit,   "Full power limit(%)",                 1177, 1179, 81,   140, 1, 10,    40403, 10,    K::kFloat,        B::kFloat,               0,             100,    kNoSource,  true,  100,   false, false, kU0, kU1},
    {kPowerReductionRate, "Active power reduction Rate(Pf/Hz)", 1190, 1191, kNone, kNone, 1, 0,  40405, 100,   K::kFloat,        B::kFloat,               0.01,          10,     kNoSource,  true,  0.83,  true,  false, kU0, kU1},
    {kFacHighSpi2,      "FacHigh SPI2(Hz)",                    1192, 1193, kNone, kNone, 1, 0,  40502, 100,   K::kFloat,        B::kFloat,               50,            65,     kNoSource,  true,  50.5,  true,  false, kU0, kU1},
    {kFacLowSpi2,       "FacLow SPI2(Hz)",                     1194, 1195, kNone, kNone, 1, 0,  40503, 100,   K::kFloat,        B::kFloat,               45,            60,     kNoSource,  true,  49.5,  true,  false, kU0, kU1},
    {kTFacHighSpi2,     "Time(ms)",                            1196, 1197, kNone, kNone, 1, 0,  40504, 0.1f,  K::kUnsigned,     B::kUnsigned,            10,            630000, kNoSource,  true,  100,   true,  false, kU0, kU1},
    {kTFacLowSpi2,      "Time(ms)",                            1198, 1199, kNone, kNone, 1, 0,  40505, 0.1f,  K::kUnsigned,     B::kUnsigned,            10,            630000, kNoSource,  true,  100,   true,  false, kU0, kU1},
    {kConnectFacHigh,   "Connecting FacHigh(Hz)",              1200, 1201, kNone, kNone, 1, 0,  40506, 100,   K::kFloat,        B::kFloat,               50,            61.5,   kNoSource,  true,  50.1,  true,  false, kU0, kU1},
    {kConnectFacLow,    "ConnectingFacLow(Hz)",                1202, 1203, kNone, kNone, 1, 0,  40507, 100,   K::kFloat,        B::kFloat,               47.5,          60,     kNoSource,  true,  49.9,  true,  false, kU0, kU1},
    {kGfciFunction,     "GFCI function",                       1157, 0,    74,   120, 1, 1,     41107, 1,     K::kCheckBox,     B::kSigned,              0,             1,      kNoSource,  false, 0,     false, false, kU0, kU1},
    {kIsoFunction,      "ISO function",                        1158, 0,    75,   121, 1, 1,     41108, 1,     K::kCheckBox,     B::kSigned,              0,             1,      kNoSource,  false, 0,     false, false, kU0, kU1},
    {kIslandTestSwitch, "Island test switch",                  1175, 0,    138,  138, 1, 1,     41109, 1,     K::kCheckBox,     B::kSigned,              0,             1,      kNoSource,  false, 0,     false, true,  kU0, kU1},
    {kModbusAddress,    "Addr.",                               1182, 1183, 142,  142, 1, 1,     40012, 1,     K::kSigned,       B::kSigned,              0,             255,    kNoSource,  false, 0,     false, false, kU0, kU1},
    {kSerialNumber,     "SN",                                  1099, 1111, 1,    82,  3, 1,     40007, 1,     K::kSerialNumber, B::kNone,                0,             0,      kNoSource,  false, 0,     false, false, kU0, kU1},
    {kModbusFlag,       "Modbus",                              1181, 0,    kNone, 141, 1, 1,    kNone, 0,     K::kProtocolFlag, B::kNone,                0,             0,      kNoSource,  false, 0,     false, false, kU0, kU1},
    {kManufacture,      "Manufacure",                          1185, 1186, kNone, kNone, 2, 0,  40005, 1,     K::kShownText,    B::kNone,                0,             0,      kNoSource,  false, 0,     false, false, kU0, kU1},
};

const SCalibrationParameter kCalibration[kCalibrationCount] = {
//   label              cur   set   idx  reg2   s2    offset bounds min   max  def
    {"Kpv_Offset_1(V)", 1124, 1146, 122, 41008, -10,  true,  true,  -30,  30,  0},
    {"Kpv_Gain_1",      1125, 1147, 123, 41007, 10,   false, true,  80,   120, 100},
    {"Kac_Offset_1(V)", 1126, 1148, 124, 41020, -10,  true,  true,  -30,  30,  0},
    {"Kac_Gain_1",      1127, 1149, 125, 41019, 10,   false, true,  80,   120, 100},
    {"Kpv_Offset_2",    1128, 1150, 126, kNone, 0,    true,  false, 0,    0,   0},
    {"Kpv_Gain_2",      1129, 1151, 127, kNone, 0,    false, false, 0,    0,   100},
    {"Kac_Offset_2",    1130, 1152, 128, kNone, 0,    true,  false, 0,    0,   0},
    {"Kac_Gain_2",      1131, 1153, 129, kNone, 0,    false, false, 0,    0,   100},
    {"Kac_Offset_3",    1132, 1154, 130, kNone, 0,    true,  false, 0,    0,   0},
    {"Kac_Gain_3",      1133, 1155, 131, kNone, 0,    false, false, 0,    0,   100},
    {"KA_BUS_Offset",   1161, 1163, 132, 41016, -10,  true,  true,  -30,  30,  0},
    {"KA_BUS_Gain",     1162, 1164, 133, 41015, 10,   false, true,  80,   120, 100},
    {"KA_CPUp_Offset",  1165, 1167, 134, kNone, 0,    true,  true,  -200, 200, 0},
    {"KA_CPUp_Gain",    1166, 1168, 135, kNone, 0,    false, true,  80,   120, 100},
    {"KB_CPUac_Offset", 1169, 1171, 136, 41048, -10,  true,  true,  -30,  30,  0},
    {"KB_CPUac_Gain",   1170, 1172, 137, 41047, 10,   false, true,  80,   120, 100},
};

using S = EShownKind;
const SShownValue kShown[] = {
//   label                 field kind                idx    hi     s01   reg2   hi2    s2
    {"DC voltage1(V)",     1070, S::kScaled,        11,    kNone, 10,   30001, kNone, 10},
    {"AC voltage1(V)",     1071, S::kScaled,        15,    kNone, 10,   30007, kNone, 10},
    {"AC Current(A)",      1184, S::kScaled,        kNone, kNone, 0,    30010, kNone, 100},
    {"AC frequency(Hz)",   1072, S::kScaled,        21,    kNone, 100,  30013, kNone, 100},
    {"AC Power(W)",        1073, S::kScaled,        23,    22,    10,   30018, 30017, 1},
    {"Today(kWh)",         1074, S::kScaled,        24,    kNone, 10,   30020, 30019, 10},
    {"Total(kWh)",         1075, S::kScaled,        26,    25,    10,   30022, 30021, 10},
    {"Today run(min)",     1076, S::kScaled,        28,    27,    1,    30023, kNone, 1},
    {"Total run(h)",       1077, S::kScaled,        30,    29,    1,    30025, 30024, 1},
    {"Temperature",        1078, S::kScaled,        31,    kNone, 10,   30032, kNone, 10},
    {"Zero shift1(mA)",    1079, S::kScaled,        32,    kNone, 1,    kNone, kNone, 0},
    {"DCI1(mA)",           1080, S::kScaled,        35,    kNone, 1,    31019, kNone, -1},
    {"",                   1110, S::kFaultList,     40,    39,    1,    30028, 30027, 1},
    {"",                   1156, S::kRunningState,  41,    kNone, 1,    30026, kNone, 1},
    {"B_CPU_AC_U",         1159, S::kScaled,        42,    kNone, 10,   31007, kNone, 10},
    {"A_CPU_BUS_U",        1160, S::kScaled,        43,    kNone, 10,   30033, kNone, 10},
    {"model",              1084, S::kModel,         44,    kNone, 10,   40002, 40001, 1},
    {"Software version",   1085, S::kVersion,       45,    kNone, 100,  40003, kNone, 1},
    {"Hardware version",   1212, S::kVersion,       kNone, kNone, 0,    40004, kNone, 1},
    {"Is sample",          1081, S::kScaled,        76,    kNone, 1,    30035, kNone, 1},
    {"Is max",             1082, S::kIsMax,         77,    kNone, 1,    kNone, kNone, 0},
    {"ISO sample",         1174, S::kScaled,        78,    kNone, 1,    30036, kNone, 0.1f},
};

const SStandardSetting kStandardSettings[kStandardSettingCount] = {
    {"Vpv-start(V)",                       kVpvStart,           false},
    {"T-start(s)",                         kTStart,             true},
    {"VacLow(V)",                          kVacLow,             false},
    {"VacLower(V)",                        kVacLower,           false},
    {"T-VacLow(ms)",                       kTVacLow,            true},
    {"T-VacLower(ms)",                     kTVacLower,          true},
    {"VacHigh(V)",                         kVacHigh,            false},
    {"VacHigher(V)",                       kVacHigher,          false},
    {"T-VacHigh(ms)",                      kTVacHigh,           true},
    {"T-VacHigher(ms)",                    kTVacHigher,         true},
    {"f-Low(Hz)",                          kFacLow,             false},
    {"f-Lower(Hz)",                        kFacLower,           false},
    {"T-f-Low(ms)",                        kTFacLow,            true},
    {"T-f-Lower(ms)",                      kTFacLower,          true},
    {"f-High(Hz)",                         kFacHigh,            false},
    {"f-Higher(Hz)",                       kFacHigher,          false},
    {"T-f-High(ms)",                       kTFacHigh,           true},
    {"T-f-Higher(ms)",                     kTFacHigher,         true},
    {"DCI-Limit",                          kDciLimit,           true},
    {"DCI-shift",                          kSettingCount,       true},
    {"language",                           kLanguage,           true},
    {"contrast",                           kContrast,           true},
    {"display",                            kSettingCount,       true},
    {"GFCI",                               kSettingCount,       true},
    {"ISO",                                kSettingCount,       true},
    {"STANDARD_CODE",                      kStandardCode,       true},
    {"Active power reduction Rate(dP/dF)", kPowerReductionRate, false},
    {"FacHigh(SPI2)",                      kFacHighSpi2,        false},
    {"FacLow(SPI2)",                       kFacLowSpi2,         false},
    {"TimeFacHigh(SPI2)",                  kTFacHighSpi2,       true},
    {"TimeFacLow(SPI2)",                   kTFacLowSpi2,        true},
    {"ConectingFacHigh",                   kConnectFacHigh,     false},
    {"ConectingFacLow",                    kConnectFacLow,      false},
};
// clang-format on

// Integer part of a finite value as the unsigned 32-bit number the page's
// integer variable would hold; false when no 32-bit integer holds it.
bool ToUnsigned32(double value, std::uint32_t& out)
{
    if (!std::isfinite(value))
        return false;
    const double t = std::trunc(value);
    if (t < -2147483648.0 || t > 4294967295.0)
        return false;
    out = static_cast<std::uint32_t>(static_cast<std::int64_t>(t)); // negatives wrap, as in an unsigned variable
    return true;
}

bool InBounds(EBoundRule rule, double value, double minimum, double maximum)
{
    if (!std::isfinite(value))
        return false;
    switch (rule) {
    case EBoundRule::kNone:
        return true;
    case EBoundRule::kFloat: {
        // Compared as the page's 32-bit float.
        const float f = static_cast<float>(value);
        return std::isfinite(f) && f >= static_cast<float>(minimum) && f <= static_cast<float>(maximum);
    }
    case EBoundRule::kUnsignedIntegerPart:
    case EBoundRule::kUnsigned: {
        std::uint32_t u = 0;
        if (!ToUnsigned32(value, u))
            return false;
        const double lo = minimum < 0 ? 0 : std::trunc(minimum);
        return u >= lo && u <= std::trunc(maximum);
    }
    case EBoundRule::kSigned: {
        const double t = std::trunc(value);
        if (t < -2147483648.0 || t > 2147483647.0)
            return false;
        return t >= minimum && t <= maximum;
    }
    }
    return false;
}

} // namespace

std::span<const SSettableParameter> SettableParameters()
{
    return kSettable;
}

std::span<const SCalibrationParameter> CalibrationParameters()
{
    return kCalibration;
}

std::span<const SShownValue> ShownValues()
{
    return kShown;
}

std::span<const SStandardSetting> StandardSettings()
{
    return kStandardSettings;
}

double EffectiveMinimum(const SSettableParameter& p, double otherValue)
{
    if (p.minimumFrom == kSettingCount)
        return p.minimum;
    // A bound taken from another voltage is that voltage's integer part.
    const double other = p.boundRule == EBoundRule::kUnsignedIntegerPart ? std::trunc(otherValue) : otherValue;
    return std::isfinite(other) && other > p.minimum ? other : p.minimum;
}

bool IsWithinBounds(const SSettableParameter& p, double value, double otherValue)
{
    return InBounds(p.boundRule, value, EffectiveMinimum(p, otherValue), p.maximum);
}

bool IsWithinBounds(const SCalibrationParameter& p, double value)
{
    return InBounds(p.hasBounds ? EBoundRule::kFloat : EBoundRule::kNone, value, p.minimum, p.maximum);
}

bool FitsRegister(const SSettableParameter& p, double value, float scale)
{
    if (!std::isfinite(value) || !std::isfinite(scale))
        return false;
    const double raw = std::trunc(value * static_cast<double>(scale) + (value < 0 && p.signedEncoding ? -0.5 : 0.5));
    return raw >= p.wordMin && raw <= p.wordMax;
}

std::optional<std::uint16_t> EncodeSetting(const SSettableParameter& p, double value, float scale)
{
    return p.signedEncoding ? EncodeSignedScaledValue(value, scale) : EncodeScaledValue(value, scale);
}

std::array<std::uint16_t, 6> StandardNameWords(const std::string& name)
{
    std::string text = name == "VDE-OLD" || name == "VDE-NEW" ? std::string("VDE") : name;
    text.resize(12, ' ');
    std::array<std::uint16_t, 6> words{};
    for (std::size_t k = 0; k < words.size(); ++k) {
        const auto hi = static_cast<unsigned char>(text[2 * k]);
        const auto lo = static_cast<unsigned char>(text[2 * k + 1]);
        words[k] = static_cast<std::uint16_t>(hi * 256 + lo);
    }
    return words;
}

std::string StandardNameText(const std::array<std::uint16_t, 6>& words)
{
    std::string text;
    for (std::uint16_t w : words) {
        text += static_cast<char>(w >> 8);
        text += static_cast<char>(w & 0xFF);
    }
    const std::size_t end = text.find('\0');
    if (end != std::string::npos)
        text.resize(end);
    return text;
}

bool IsValidSerialNumber(std::uint64_t number)
{
    return number <= kMaxSerialNumber;
}

std::string SerialNumberText(const std::array<std::uint16_t, 3>& words)
{
    return FormatBcdWord(words[0]) + FormatBcdWord(words[1]) + FormatBcdWord(words[2]);
}

int LookupStandardValue(int nameIndex, const ConfigWorkbook& workbook, int standard, double& value)
{
    if (nameIndex < 0 || nameIndex >= kStandardSettingCount)
        return -1;
    return workbook.LookupParameter(kStandardSettings[nameIndex].name, standard, value);
}
