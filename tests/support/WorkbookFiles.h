#pragma once
// Workbook files for the tests: the shipped one, and variants that the
// project's generator (an independent .xls writer) builds from CSV text.
#include <filesystem>
#include <string>
#include <vector>

namespace testfiles {

std::filesystem::path ShippedWorkbook();
std::filesystem::path SourceCsv(const char* name); // "tester-parset.csv", ...

// A fresh directory for one test, removed by its destructor.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path Write(const std::string& name, const std::string& content) const;

private:
    std::filesystem::path m_path;
};

// Runs the generator on two CSV texts; returns the workbook's path.
std::filesystem::path MakeWorkbook(const CTempDir& dir, const std::string& parsetCsv, const std::string& modelCsv,
                                   const std::string& name = "datacfg-sp.xls");

std::string ReadFile(const std::filesystem::path& path);
std::vector<std::vector<std::string>> ReadCsv(const std::filesystem::path& path);

// Changes the working directory for the lifetime of the object.
class CWorkingDir {
public:
    explicit CWorkingDir(const std::filesystem::path& dir);
    ~CWorkingDir();
    CWorkingDir(const CWorkingDir&) = delete;
    CWorkingDir& operator=(const CWorkingDir&) = delete;

private:
    std::filesystem::path m_previous;
};

} // namespace testfiles
