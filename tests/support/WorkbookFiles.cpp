#include "support/WorkbookFiles.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testfiles {

std::filesystem::path ShippedWorkbook()
{
    return std::filesystem::path(ZELVAN_SOURCE_DIR) / "assets" / "datacfg-sp.xls";
}

std::filesystem::path SourceCsv(const char* name)
{
    return std::filesystem::path(ZELVAN_SOURCE_DIR) / "assets" / name;
}

CTempDir::CTempDir()
{
    static std::atomic<int> counter{0};
    m_path = std::filesystem::temp_directory_path() /
             ("zelvan-config-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::filesystem::path CTempDir::Write(const std::string& name, const std::string& content) const
{
    const std::filesystem::path path = m_path / name;
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path;
}

std::filesystem::path MakeWorkbook(const CTempDir& dir, const std::string& parsetCsv, const std::string& modelCsv,
                                   const std::string& name)
{
    const auto parset = dir.Write("parset.csv", parsetCsv);
    const auto model = dir.Write("model.csv", modelCsv);
    const auto out = dir.Path() / name;
    const std::string command = "/usr/bin/python3 '" + std::string(ZELVAN_SOURCE_DIR) +
                                "/assets/make-workbook.py' --parset '" + parset.string() + "' --modelcode '" +
                                model.string() + "' --out '" + out.string() + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("workbook generator failed: " + command);
    return out;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::vector<std::string>> ReadCsv(const std::filesystem::path& path)
{
    // The source CSVs hold no quoted fields.
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> row;
        std::string field;
        std::istringstream fields(line);
        while (std::getline(fields, field, ','))
            row.push_back(field);
        if (!line.empty() && line.back() == ',')
            row.emplace_back();
        rows.push_back(row);
    }
    return rows;
}

CWorkingDir::CWorkingDir(const std::filesystem::path& dir) : m_previous(std::filesystem::current_path())
{
    std::filesystem::current_path(dir);
}

CWorkingDir::~CWorkingDir()
{
    std::error_code ec;
    std::filesystem::current_path(m_previous, ec);
}

} // namespace testfiles
