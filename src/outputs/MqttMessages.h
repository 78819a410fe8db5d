#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/MonitorOutput.h"
#include "outputs/MqttConfig.h"

// What the publisher sends, as topic and payload text, apart from the
// connection that carries it.

struct SMqttMessage {
    std::string strTopic;
    std::string strPayload;
};

// The serial number as one topic level: anything but letters, digits, '-'
// and '_' becomes '_' (a '/', '+' or '#' would break the topic tree).
std::string TopicSerial(std::string_view serial);

std::string StateTopic(const SMqttConfig& config, std::string_view serial);
std::string AvailabilityTopic(const SMqttConfig& config, std::string_view serial);
std::string DiscoveryStatusTopic(const SMqttConfig& config);

// The JSON state message of a reading: every value it carries under its
// snake-case key in engineering units, the running state code and text, the
// fault word and texts, and "time" as ISO 8601 local time with its offset.
std::string StateJson(const SMonitorReading& reading);

// One retained discovery message per entity the inverter's protocol type
// reports. Empty when discovery is off.
std::vector<SMqttMessage> DiscoveryMessages(const SMqttConfig& config, const SMonitorInverter& inverter);

// "2024-06-01T12:00:05+02:00" for a wall-clock second, in local time.
std::string IsoLocalTime(std::int64_t wallSecond);


