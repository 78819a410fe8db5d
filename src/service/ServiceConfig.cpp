#include "service/ServiceConfig.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<std::string_view, int>, 5> kLevels{{
    {"error", kLogError},
    {"warning", kLogWarning},
    {"notice", kLogNotice},
    {"info", kLogInfo},
    {"debug", kLogDebug},
}};

// A path must be absolute: the service's working folder is "/".
bool CheckPath(CConfigSection& section, std::string_view key, const std::string& path, bool bEmptyAllowed)
{
    if ((path.empty() && bEmptyAllowed) || (!path.empty() && path[0] == '/'))
        return true;
    section.Fail(key, "expected an absolute path");
    return false;
}

} // namespace

std::optional<int> ParseProtocolType(std::string_view text)
{
    if (text == "auto")
        return -1;
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '2')
        return text[0] - '0';
    return std::nullopt;
}

std::optional<int> ParseLogLevel(std::string_view text)
{
    for (const auto& [name, level] : kLevels)
        if (text == name)
            return level;
    return std::nullopt;
}

void ReadServiceKeys(CConfigSection& section, SServiceConfig& config)
{
    if (const toml::node* ports = section.Node("ports")) {
        if (const auto* text = ports->as_string()) {
            if (text->get() == "auto")
                config.astrPorts.clear();
            else
                section.Fail("ports", "expected \"auto\" or a list of device paths");
        } else if (auto list = section.Strings("ports")) {
            if (list->empty())
                section.Fail("ports", "expected \"auto\" or a list of device paths, found an empty list");
            config.astrPorts = std::move(*list);
        }
    }
    if (const toml::node* protocol = section.Node("protocol")) {
        if (const auto* text = protocol->as_string()) {
            if (text->get() == "auto")
                config.nProtocolType = -1;
            else
                section.Fail("protocol", "expected \"auto\", 0, 1 or 2");
        } else if (auto type = section.Integer("protocol", 0, 2)) {
            config.nProtocolType = static_cast<int>(*type);
        }
    }
    if (auto dir = section.String("history_dir"); dir && CheckPath(section, "history_dir", *dir, false))
        config.strHistoryDir = *dir;
    if (auto log = section.String("comm_log"); log && CheckPath(section, "comm_log", *log, true))
        config.strCommLog = *log;
    if (auto level = section.String("log_level")) {
        if (auto n = ParseLogLevel(*level))
            config.nLogLevel = *n;
        else
            section.Fail("log_level", "expected \"error\", \"warning\", \"notice\", \"info\" or \"debug\"");
    }
    if (auto status = section.String("status_file"); status && CheckPath(section, "status_file", *status, false))
        config.strStatusFile = *status;
}
