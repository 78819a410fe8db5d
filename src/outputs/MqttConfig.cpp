#include "outputs/MqttConfig.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

namespace {

// One reader per key: it checks the node and stores it, or returns an error
// text without the position (the caller adds file, line and key).
using KeyReader = std::function<std::string(const toml::node&, SMqttConfig&)>;

std::string ReadString(const toml::node& node, std::string& to)
{
    const auto* value = node.as_string();
    if (!value)
        return "must be a string";
    to = value->get();
    return {};
}

std::string ReadInteger(const toml::node& node, std::int64_t low, std::int64_t high, int& to)
{
    const auto* value = node.as_integer();
    if (!value)
        return "must be an integer";
    const std::int64_t n = value->get();
    if (n < low || n > high)
        return std::to_string(n) + " is out of range (" + std::to_string(low) + " to " + std::to_string(high) + ")";
    to = static_cast<int>(n);
    return {};
}

// A topic level may not hold the wildcards, and a prefix never ends in '/'
// (the publisher adds it).
std::string ReadTopicPrefix(const toml::node& node, bool mayBeEmpty, std::string& to)
{
    std::string text;
    if (std::string e = ReadString(node, text); !e.empty())
        return e;
    if (text.empty() && !mayBeEmpty)
        return "must not be empty";
    if (text.find_first_of("+#") != std::string::npos || (!text.empty() && (text.front() == '/' || text.back() == '/')))
        return "\"" + text + "\" is no topic prefix (no '+', '#', and no '/' at either end)";
    to = text;
    return {};
}

const std::map<std::string, KeyReader, std::less<>>& KeyReaders()
{
    static const std::map<std::string, KeyReader, std::less<>> readers{
        {"host", [](const toml::node& n, SMqttConfig& c) {
             std::string e = ReadString(n, c.strHost);
             return e.empty() && c.strHost.empty() ? std::string("must not be empty") : e;
         }},
        {"port", [](const toml::node& n, SMqttConfig& c) { return ReadInteger(n, 1, 65535, c.nPort); }},
        {"client_id", [](const toml::node& n, SMqttConfig& c) { return ReadString(n, c.strClientId); }},
        // The client library refuses a keep-alive under 5 seconds.
        {"keepalive", [](const toml::node& n, SMqttConfig& c) { return ReadInteger(n, 5, 65535, c.nKeepalive); }},
        {"username", [](const toml::node& n, SMqttConfig& c) { return ReadString(n, c.strUsername); }},
        {"password_file", [](const toml::node& n, SMqttConfig& c) { return ReadString(n, c.strPasswordFile); }},
        {"ca_file", [](const toml::node& n, SMqttConfig& c) { return ReadString(n, c.strCaFile); }},
        {"cert_file", [](const toml::node& n, SMqttConfig& c) { return ReadString(n, c.strCertFile); }},
        {"key_file", [](const toml::node& n, SMqttConfig& c) { return ReadString(n, c.strKeyFile); }},
        {"prefix", [](const toml::node& n, SMqttConfig& c) { return ReadTopicPrefix(n, false, c.strPrefix); }},
        {"discovery_prefix",
         [](const toml::node& n, SMqttConfig& c) { return ReadTopicPrefix(n, true, c.strDiscoveryPrefix); }},
        {"interval", [](const toml::node& n, SMqttConfig& c) { return ReadInteger(n, 1, 86400, c.nInterval); }},
    };
    return readers;
}

class CErrorText {
public:
    CErrorText(const std::string& file, const toml::table& section) : m_strFile(file), m_section(section) {}

    // "file:line: mqtt.key: what"; the line of the key, or of the section
    // when the key is absent.
    std::string operator()(std::string_view key, const std::string& what) const
    {
        const toml::node* node = m_section.get(key);
        const auto line = node ? node->source().begin.line : m_section.source().begin.line;
        return m_strFile + ":" + std::to_string(line) + ": mqtt." + std::string(key) + ": " + what;
    }

private:
    const std::string& m_strFile;
    const toml::table& m_section;
};

// A relative name is taken from the configuration file's folder, so the
// service finds the same file whatever its working folder.
std::string ResolvePath(const std::string& name, const std::string& configFile)
{
    if (name.empty() || std::filesystem::path(name).is_absolute())
        return name;
    return (std::filesystem::path(configFile).parent_path() / name).lexically_normal().string();
}

std::string CheckReadable(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "\"" + path + "\" does not exist";
    if (!S_ISREG(st.st_mode))
        return "\"" + path + "\" is not a file";
    if (::access(path.c_str(), R_OK) != 0)
        return "\"" + path + "\" cannot be read";
    return {};
}

bool ReadableByOthers(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

} // namespace

bool ReadMqttConfig(const toml::table& section, const std::string& file, SMqttConfig& out, std::string& error,
                    std::string& warning)
{
    error.clear();
    warning.clear();
    const CErrorText at(file, section);
    SMqttConfig config;
    for (const auto& [key, node] : section) {
        const auto it = KeyReaders().find(key.str());
        if (it == KeyReaders().end()) {
            error = at(key.str(), "unknown key");
            return false;
        }
        if (std::string what = it->second(node, config); !what.empty()) {
            error = at(key.str(), what);
            return false;
        }
    }
    if (!section.contains("port") && config.UsesTls())
        config.nPort = 8883;

    for (auto [key, path] : {std::pair{"ca_file", &config.strCaFile}, std::pair{"cert_file", &config.strCertFile},
                             std::pair{"key_file", &config.strKeyFile},
                             std::pair{"password_file", &config.strPasswordFile}}) {
        *path = ResolvePath(*path, file);
        if (path->empty())
            continue;
        if (std::string what = CheckReadable(*path); !what.empty()) {
            error = at(key, what);
            return false;
        }
    }
    if ((config.strCertFile.empty()) != (config.strKeyFile.empty())) {
        error = at(config.strCertFile.empty() ? "key_file" : "cert_file", "cert_file and key_file go together");
        return false;
    }
    if (!config.strCertFile.empty() && !config.UsesTls()) {
        error = at("cert_file", "a client certificate needs ca_file (TLS)");
        return false;
    }
    if (!config.strPasswordFile.empty()) {
        if (config.strUsername.empty()) {
            error = at("password_file", "a password needs a username");
            return false;
        }
        std::ifstream in(config.strPasswordFile);
        std::getline(in, config.strPassword);
        if (!config.strPassword.empty() && config.strPassword.back() == '\r')
            config.strPassword.pop_back();
        if (config.strPassword.empty()) {
            error = at("password_file", "\"" + config.strPasswordFile + "\" holds no password on its first line");
            return false;
        }
    }
    for (const std::string* secret : {&config.strPasswordFile, &config.strKeyFile}) {
        if (!secret->empty() && ReadableByOthers(*secret)) {
            warning += (warning.empty() ? "" : "\n") + file + ": \"" + *secret +
                       "\" can be read by other users; make it readable by its owner only (chmod 600)";
        }
    }
    out = std::move(config);
    return true;
}
