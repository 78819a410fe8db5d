#include "outputs/MqttMessages.h"

#include <array>
#include <cmath>
#include <ctime>
#include <optional>

#include <nlohmann/json.hpp>

#include "link/ProtocolTable.h"
#include "model/RegisterMap.h"
#include "model/StateTexts.h"

namespace {

using nlohmann::json;

// A store series as the outputs name it, and how a home-automation system
// shows it. An empty device class, unit or state class is left out of the
// announcement; bAnnounced false keeps a raw code out of discovery (its text
// is announced instead).
struct SSeriesEntity {
    int nSeries;
    const char* pszKey;
    const char* pszName;
    const char* pszDeviceClass;
    const char* pszUnit;
    const char* pszStateClass;
    bool bAnnounced;
};

// clang-format off
constexpr std::array<SSeriesEntity, kSeriesCount> kEntities{{
    {kSeriesUdc,        "udc",          "DC voltage",        "voltage",     "V",   "measurement",      true},
    {kSeriesUac,        "uac",          "AC voltage",        "voltage",     "V",   "measurement",      true},
    {kSeriesFreq,       "frequency",    "Grid frequency",    "frequency",   "Hz",  "measurement",      true},
    {kSeriesDci,        "dci",          "DC injection current", "current",  "mA",  "measurement",      true},
    {kSeriesState1,     "fault_word",   "Fault word",        "",            "",    "",                 false},
    {kSeriesState2,     "state_code",   "State code",        "",            "",    "",                 false},
    {kSeriesPac,        "pac",          "AC power",          "power",       "W",   "measurement",      true},
    {kSeriesEtoday,     "energy_today", "Energy today",      "energy",      "kWh", "total_increasing", true},
    {kSeriesEtotal,     "energy_total", "Energy total",      "energy",      "kWh", "total_increasing", true},
    {kSeriesTemp,       "temperature",  "Temperature",       "temperature", "°C",  "measurement",      true},
    {kSeriesTtoday,     "time_today",   "Running time today", "duration",   "min", "total_increasing", true},
    {kSeriesTtotal,     "time_total",   "Running time total", "duration",   "h",   "total_increasing", true},
    {kSeriesIacShift,   "iac_shift",    "Iac shift",         "",            "",    "measurement",      true},
    {kSeriesInsulation, "insulation",   "Insulation",        "",            "",    "measurement",      true},
}};
// clang-format on

// Which series a protocol type's polling brings: the running-data rules of
// the registers its poll steps read.
std::array<bool, kSeriesCount> ReportedSeries(int protocolType)
{
    std::array<bool, kSeriesCount> reported{};
    const SProtocolFacts& facts = ProtocolFacts(protocolType);
    const bool byAddress = facts.numbering == ERegisterNumbering::kAddress;
    for (const SRegisterBlock& block : facts.pollSteps) {
        for (int reg = block.nStart; reg < block.nStart + block.nCount; ++reg) {
            const SRegisterRule* rule = byAddress ? FindAddressRule(reg) : FindIndexRule(reg);
            if (rule && rule->nSeries >= 0 && rule->nSeries < kSeriesCount)
                reported[static_cast<std::size_t>(rule->nSeries)] = true;
        }
    }
    return reported;
}

// Floats from the store carry single precision: three decimals say all it
// holds without printing 230.10000610351562.
json SeriesValue(int series, double value)
{
    if (IsFloatSeries(series))
        return std::round(value * 1000.0) / 1000.0;
    return static_cast<std::uint64_t>(value < 0 ? 0 : value);
}

std::string StateText(std::uint32_t code, int protocolType)
{
    const std::optional<SStateText> text = GetStateText(code, protocolType);
    return text ? Utf8FromUtf16(text->strText) : std::to_string(code);
}

json DeviceBlock(const SMonitorInverter& inverter, std::string_view serial)
{
    json device = {
        {"identifiers", json::array({"zelvan_" + std::string(serial)})},
        {"serial_number", inverter.strSerial},
        {"name", "PV inverter " + inverter.strSerial},
        {"model", inverter.nRating > 0 ? "PV inverter " + std::to_string(inverter.nRating) + " W" : "PV inverter"},
    };
    if (!inverter.strVersion.empty())
        device["sw_version"] = inverter.strVersion;
    return device;
}

json DiscoveryConfig(const SMqttConfig& config, const SMonitorInverter& inverter, std::string_view serial,
                     std::string_view key, std::string_view name)
{
    const std::string id = "zelvan_" + std::string(serial) + "_" + std::string(key);
    return {
        {"name", name},
        {"unique_id", id},
        {"object_id", id},
        {"state_topic", StateTopic(config, serial)},
        {"value_template", "{{ value_json." + std::string(key) + " }}"},
        {"availability_topic", AvailabilityTopic(config, serial)},
        {"payload_available", "online"},
        {"payload_not_available", "offline"},
        {"device", DeviceBlock(inverter, serial)},
        {"origin", {{"name", "Zelvan"}}},
    };
}

} // namespace

std::string TopicSerial(std::string_view serial)
{
    std::string level(serial);
    for (char& c : level) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
        if (!plain)
            c = '_';
    }
    return level;
}

std::string StateTopic(const SMqttConfig& config, std::string_view serial)
{
    return config.strPrefix + "/" + TopicSerial(serial) + "/state";
}

std::string AvailabilityTopic(const SMqttConfig& config, std::string_view serial)
{
    return config.strPrefix + "/" + TopicSerial(serial) + "/availability";
}

std::string DiscoveryStatusTopic(const SMqttConfig& config)
{
    return config.strDiscoveryPrefix + "/status";
}

std::string IsoLocalTime(std::int64_t wallSecond)
{
    const std::time_t t = static_cast<std::time_t>(wallSecond);
    std::tm local{};
    localtime_r(&t, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    // %z gives +0200; ISO 8601's extended form wants +02:00.
    std::string iso(text);
    if (iso.size() >= 5)
        iso.insert(iso.size() - 2, ":");
    return iso;
}


std::string StateJson(const SMonitorReading& reading)
{
    const int type = reading.inverter.nProtocolType;
    json state = json::object();
    state["time"] = IsoLocalTime(reading.tmWall);
    for (const SSeriesEntity& entity : kEntities) {
        const std::optional<double>& value = reading.aValue[static_cast<std::size_t>(entity.nSeries)];
        if (value)
            state[entity.pszKey] = SeriesValue(entity.nSeries, *value);
    }
    if (const auto& code = reading.aValue[kSeriesState2])
        state["state"] = StateText(static_cast<std::uint32_t>(*code), type);
    if (const auto& word = reading.aValue[kSeriesState1]) {
        json texts = json::array();
        std::string joined;
        for (const std::u16string& line : GetFaultTexts(static_cast<std::uint32_t>(*word), type)) {
            if (line.empty())
                continue; // a bit the catalogue has no text for: the fault word still shows it
            texts.push_back(Utf8FromUtf16(line));
            joined += (joined.empty() ? "" : ", ") + texts.back().get<std::string>();
        }
        state["fault_texts"] = std::move(texts);
        state["fault_text"] = joined;
    }
    return state.dump();
}

std::vector<SMqttMessage> DiscoveryMessages(const SMqttConfig& config, const SMonitorInverter& inverter)
{
    std::vector<SMqttMessage> messages;
    if (config.strDiscoveryPrefix.empty() || inverter.strSerial.empty())
        return messages;
    const std::string serial = TopicSerial(inverter.strSerial);
    const std::string base = config.strDiscoveryPrefix + "/sensor/zelvan_" + serial + "/";
    const std::array<bool, kSeriesCount> reported = ReportedSeries(inverter.nProtocolType);
    for (const SSeriesEntity& entity : kEntities) {
        if (!entity.bAnnounced || !reported[static_cast<std::size_t>(entity.nSeries)])
            continue;
        json cfg = DiscoveryConfig(config, inverter, serial, entity.pszKey, entity.pszName);
        if (*entity.pszDeviceClass)
            cfg["device_class"] = entity.pszDeviceClass;
        if (*entity.pszUnit)
            cfg["unit_of_measurement"] = entity.pszUnit;
        if (*entity.pszStateClass)
            cfg["state_class"] = entity.pszStateClass;
        messages.push_back({base + entity.pszKey + "/config", cfg.dump()});
    }
    // The running state and the fault texts as text sensors: no unit, no class.
    if (reported[kSeriesState2])
        messages.push_back({base + "state/config", DiscoveryConfig(config, inverter, serial, "state", "Running state").dump()});
    if (reported[kSeriesState1])
        messages.push_back({base + "fault_text/config", DiscoveryConfig(config, inverter, serial, "fault_text", "Fault").dump()});
    return messages;
}
