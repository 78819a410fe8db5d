#pragma once
#include <string>

#include <toml++/toml.h>

// The [mqtt] section of the service's configuration: where to publish and
// how. The section's presence turns publishing on.
struct SMqttConfig {
    std::string strHost = "localhost";
    int nPort = 1883;        // 8883 by default when TLS is on
    std::string strClientId; // empty: "zelvan-<serial>"
    int nKeepalive = 60;     // seconds
    std::string strUsername;
    std::string strPasswordFile;
    std::string strPassword; // read from strPasswordFile; never logged or shown
    std::string strCaFile;   // TLS when set
    std::string strCertFile; // client certificate, with strKeyFile
    std::string strKeyFile;
    std::string strPrefix = "zelvan";
    std::string strDiscoveryPrefix = "homeassistant"; // empty: no discovery
    int nInterval = 10; // seconds between state messages

    bool UsesTls() const { return !strCaFile.empty(); }
};

// Fills `out` from the [mqtt] table of the configuration file `file`.
// Relative file names are taken from the folder of `file`. On failure returns
// false with `error` naming the file, the line and the key ("zelvand.toml:7:
// mqtt.port: ..."): an unknown key, a value of the wrong type or out of
// range, a TLS or password file that cannot be read. `warning` is set (and
// the result still true) when a file holding a secret can be read by other
// users; it stays empty otherwise.
[[nodiscard]] bool ReadMqttConfig(const toml::table& section, const std::string& file, SMqttConfig& out,
                                  std::string& error, std::string& warning);
