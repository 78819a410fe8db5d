#pragma once
#include <cstdint>
#include <string>

#include "model/TestResult.h"

// A day's samples as the poll loop leaves them in the live store, made up
// from a sample's second so every value is known: Pac and Etoday rise with
// the time, the other series follow the sample's number.
class CHistoryDay : public CTestResult {
public:
    // A sample `second` seconds after the curve's first one.
    void AddSample(std::uint32_t second);
    // The values AddSample gives sample n at that second.
    static float Pac(std::uint32_t second) { return 100.0f + static_cast<float>(second % 3600) * 0.5f; }
    static float Etoday(std::uint32_t second) { return static_cast<float>(second / 36) / 10.0f; }
    static float Udc(std::size_t n) { return 300.0f + static_cast<float>(n % 50) * 0.5f; }
};

// Writes the samples as the history keeper does (the real .xls writer, one
// row a minute), named by HistoryFileName in `folder`; returns the path.
std::string WriteHistoryWorkbook(const std::string& folder, const CDaySamples& samples, std::int64_t curveStart,
                                 const std::string& serial = "123456789012", int rating = 3000);

// A folder of its own under the temporary folder, removed with the object.
class CScratchFolder {
public:
    explicit CScratchFolder(const std::string& tag);
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;
    const std::string& Path() const { return m_strPath; } // ends with '/'

private:
    std::string m_strPath;
};
