#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "live/Monitor.h"
#include "service/ConfigReader.h"

constexpr const char* kDefaultConfigFile = "/etc/zelvan/zelvand.toml";

// The service's own keys (the top level of the file). Each output adds its
// section to the reader itself.
struct SServiceConfig {
    std::vector<std::string> astrPorts;                  // empty: "auto", the system's list
    int nProtocolType = -1;                              // -1: "auto"
    std::string strHistoryDir = "/var/lib/zelvan/hisdata";
    std::string strCommLog;                              // empty: off
    int nLogLevel = kLogInfo;
    std::string strStatusFile = "/run/zelvan/status.json";
};

// Reads the top-level keys: ports, protocol, history_dir, comm_log,
// log_level, status_file.
void ReadServiceKeys(CConfigSection& section, SServiceConfig& config);

// "auto" gives -1; "0", "1", "2" their type.
std::optional<int> ParseProtocolType(std::string_view text);
// "error", "warning", "notice", "info", "debug".
std::optional<int> ParseLogLevel(std::string_view text);
