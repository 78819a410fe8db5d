#include "service/ConfigReader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string Where(const std::string& file, const toml::source_region& region)
{
    return file + ":" + std::to_string(region.begin.line);
}

const char* TypeName(const toml::node& node)
{
    switch (node.type()) {
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a number";
    case toml::node_type::boolean: return "true or false";
    case toml::node_type::array: return "a list";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
    }
}

} // namespace

std::string CConfigSection::KeyName(std::string_view key) const
{
    return m_strPrefix + std::string(key);
}

void CConfigSection::Fail(std::string_view key, const std::string& message)
{
    if (m_error)
        return;
    const toml::node* node = m_table.get(key);
    const toml::source_region& region = node != nullptr ? node->source() : m_table.source();
    m_error = Where(m_strFile, region) + ": " + KeyName(key) + ": " + message;
}

void CConfigSection::KnowAllKeys()
{
    for (auto&& [key, node] : m_table)
        m_known.emplace(key.str());
}

void CConfigSection::FailPlaced(const std::string& placedMessage)
{
    if (!m_error)
        m_error = placedMessage;
}

const toml::node* CConfigSection::Node(std::string_view key)
{
    m_known.emplace(key);
    return m_table.get(key);
}

std::optional<std::string> CConfigSection::String(std::string_view key)
{
    const toml::node* node = Node(key);
    if (node == nullptr)
        return std::nullopt;
    if (const auto* value = node->as_string())
        return value->get();
    Fail(key, std::string("expected a string, found ") + TypeName(*node));
    return std::nullopt;
}

std::optional<std::int64_t> CConfigSection::Integer(std::string_view key, std::int64_t nMin, std::int64_t nMax)
{
    const toml::node* node = Node(key);
    if (node == nullptr)
        return std::nullopt;
    const auto* value = node->as_integer();
    if (value == nullptr) {
        Fail(key, std::string("expected an integer, found ") + TypeName(*node));
        return std::nullopt;
    }
    if (value->get() < nMin || value->get() > nMax) {
        Fail(key, "out of range (" + std::to_string(nMin) + " to " + std::to_string(nMax) + ")");
        return std::nullopt;
    }
    return value->get();
}

std::optional<double> CConfigSection::Number(std::string_view key, double dMin, double dMax)
{
    const toml::node* node = Node(key);
    if (node == nullptr)
        return std::nullopt;
    std::optional<double> value;
    if (const auto* f = node->as_floating_point())
        value = f->get();
    else if (const auto* i = node->as_integer())
        value = static_cast<double>(i->get());
    if (!value) {
        Fail(key, std::string("expected a number, found ") + TypeName(*node));
        return std::nullopt;
    }
    if (!(*value >= dMin && *value <= dMax)) {
        std::ostringstream range;
        range << "out of range (" << dMin << " to " << dMax << ")";
        Fail(key, range.str());
        return std::nullopt;
    }
    return value;
}

std::optional<bool> CConfigSection::Bool(std::string_view key)
{
    const toml::node* node = Node(key);
    if (node == nullptr)
        return std::nullopt;
    if (const auto* value = node->as_boolean())
        return value->get();
    Fail(key, std::string("expected true or false, found ") + TypeName(*node));
    return std::nullopt;
}

std::optional<std::vector<std::string>> CConfigSection::Strings(std::string_view key)
{
    const toml::node* node = Node(key);
    if (node == nullptr)
        return std::nullopt;
    const auto* array = node->as_array();
    if (array == nullptr) {
        Fail(key, std::string("expected a list of strings, found ") + TypeName(*node));
        return std::nullopt;
    }
    std::vector<std::string> list;
    for (const toml::node& element : *array) {
        const auto* text = element.as_string();
        if (text == nullptr) {
            Fail(key, std::string("expected a list of strings, found ") + TypeName(element) + " in it");
            return std::nullopt;
        }
        list.push_back(text->get());
    }
    return list;
}

void CConfigSection::CheckUnknownKeys(const std::set<std::string, std::less<>>& sections)
{
    for (auto&& [key, node] : m_table) {
        if (m_error)
            return;
        const std::string_view name = key.str();
        if (m_known.count(name) != 0 || sections.count(name) != 0)
            continue;
        m_error = Where(m_strFile, key.source()) + ": " + KeyName(name) +
                  (node.is_table() ? ": unknown section" : ": unknown key");
    }
}

SConfigResult CConfigReader::ReadFile(const std::string& path, const ConfigSectionParser& topLevel) const
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {false, path + ": cannot be read: " + std::strerror(errno)};
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return {false, path + ": cannot be read: " + std::strerror(errno)};
    return ReadText(text.str(), path, topLevel);
}

SConfigResult CConfigReader::ReadText(std::string_view text, const std::string& path,
                                      const ConfigSectionParser& topLevel) const
{
    toml::table table;
    try {
        table = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        return {false, path + ":" + std::to_string(e.source().begin.line) + ":" +
                           std::to_string(e.source().begin.column) + ": not valid TOML: " +
                           std::string(e.description())};
    }
    std::optional<std::string> error;
    std::set<std::string, std::less<>> sections;
    for (const auto& [name, parser] : m_sections)
        sections.insert(name);
    CConfigSection top(table, "", path, error);
    if (topLevel)
        topLevel(top);
    top.CheckUnknownKeys(sections);
    for (const auto& [name, parser] : m_sections) {
        if (error)
            break;
        const toml::node* node = table.get(name);
        if (node == nullptr)
            continue;
        if (const toml::table* sub = node->as_table()) {
            CConfigSection section(*sub, name + ".", path, error);
            parser(section);
            section.CheckUnknownKeys({});
        } else {
            top.Fail(name, std::string("expected a section [") + name + "], found " + TypeName(*node));
        }
    }
    if (error)
        return {false, *error};
    return {};
}
