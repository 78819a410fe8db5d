#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <toml++/toml.h>

// The result of reading a configuration: ok, or one line naming the file,
// the line and the key ("FILE:LINE: KEY: what is wrong").
struct SConfigResult {
    bool bOk = true;
    std::string strError;
};

// One table of the file (the top level or a [section]) as a reader of its
// keys sees it. Each getter marks its key as known, so whatever key no
// reader asked for is an unknown key; a value of the wrong type or out of
// range records the error at the key's line and gives nothing. Only the
// first error is kept: it is the one reported.
class CConfigSection {
public:
    CConfigSection(const toml::table& table, std::string strPrefix, std::string strFile,
                   std::optional<std::string>& error)
        : m_table(table), m_strPrefix(std::move(strPrefix)), m_strFile(std::move(strFile)), m_error(error)
    {
    }

    std::optional<std::string> String(std::string_view key);
    std::optional<std::int64_t> Integer(std::string_view key, std::int64_t nMin, std::int64_t nMax);
    std::optional<double> Number(std::string_view key, double dMin, double dMax);
    std::optional<bool> Bool(std::string_view key);
    std::optional<std::vector<std::string>> Strings(std::string_view key);
    // The key's node as it is (marked known), for values of a shape of
    // their own; null when the key is absent.
    const toml::node* Node(std::string_view key);
    // Records an error at the key's line (at the table's when it is absent).
    void Fail(std::string_view key, const std::string& message);

    // For a section read by a reader of its own that takes the whole table
    // (and reports its unknown keys itself): every key counts as known, and
    // its error, already placed ("FILE:LINE: KEY: what"), is kept as it is.
    void KnowAllKeys();
    void FailPlaced(const std::string& placedMessage);

    const toml::table& Table() const { return m_table; }
    const std::string& File() const { return m_strFile; }
    bool Failed() const { return m_error.has_value(); }
    // Every key no reader asked for is an error (tables of the top level are
    // the sections: the reader handles them).
    void CheckUnknownKeys(const std::set<std::string, std::less<>>& sections);

private:
    std::string KeyName(std::string_view key) const;

    const toml::table& m_table;
    std::string m_strPrefix; // "mqtt." inside [mqtt]
    std::string m_strFile;
    std::optional<std::string>& m_error;
    std::set<std::string, std::less<>> m_known;
};

// Reads one [section] of the file into whatever its owner keeps.
using ConfigSectionParser = std::function<void(CConfigSection& section)>;

// The service's configuration file: the top-level keys, then one parser per
// [section] (each output registers its own, so a new output is one line:
// reader.AddSection("mqtt", parser)). A section not registered is an error,
// like an unknown key; a registered section absent from the file is not
// read at all.
class CConfigReader {
public:
    void AddSection(std::string name, ConfigSectionParser parser) { m_sections[std::move(name)] = std::move(parser); }
    // Reads the file (missing, unreadable, not TOML, a wrong type, a value
    // out of range, an unknown key: the first error).
    [[nodiscard]] SConfigResult ReadFile(const std::string& path, const ConfigSectionParser& topLevel) const;
    // The same from a text (for a file already read).
    [[nodiscard]] SConfigResult ReadText(std::string_view text, const std::string& path,
                                         const ConfigSectionParser& topLevel) const;

private:
    std::map<std::string, ConfigSectionParser, std::less<>> m_sections;
};
