#pragma once
// zelvand publishing to a broker of the test's own: its configuration file
// with an [mqtt] section, its command line, and the messages a subscriber
// saw of one inverter.
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/MqttSubscriber.h"
#include "support/XlsReaders.h"

// The [mqtt] section for a broker on this machine: states every second, so
// a test sees one soon. `more` adds keys (one "key = value" per line).
inline std::string MqttSection(int port, const std::string& host = "127.0.0.1", const std::string& more = {})
{
    return "[mqtt]\nhost = \"" + host + "\"\nport = " + std::to_string(port) + "\ninterval = 1\n" + more;
}

// The configuration file `name` in the folder with `text`; its path.
inline std::string WriteServiceConfig(const CTempFolder& folder, const std::string& text,
                                      const std::string& name = "zelvand.toml")
{
    const std::string path = folder.File(name);
    std::ofstream(path) << text;
    return path;
}

// A service on one port with its history and status in the folder.
inline std::vector<std::string> ServiceArgs(const CTempFolder& folder, const std::string& config,
                                            const std::string& port, const std::vector<std::string>& more = {})
{
    std::vector<std::string> args = {"--config", config, "--port", port, "--history-dir", folder.File("hisdata"),
                                     "--status-file", folder.File("status.json")};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The inverter's topics under the default prefixes.
struct SInverterTopics {
    std::string strSerial;
    std::string Availability() const { return "zelvan/" + strSerial + "/availability"; }
    std::string State() const { return "zelvan/" + strSerial + "/state"; }
    std::string Discovery(const std::string& key) const
    {
        return "homeassistant/sensor/zelvan_" + strSerial + "/" + key + "/config";
    }
};

// The next state message of the inverter received from now on, as JSON
// (null when none came in time).
inline nlohmann::json NextState(CMqttSubscriber& subscriber, const SInverterTopics& topics,
                                std::chrono::milliseconds timeout)
{
    subscriber.Clear();
    SReceived state;
    if (!subscriber.WaitForTopic(topics.State(), timeout, {}, &state))
        return nullptr;
    return nlohmann::json::parse(state.strPayload, nullptr, false);
}
