#include "support/HistoryDay.h"

#include <filesystem>
#include <stdexcept>

#include <unistd.h>

#include "export/ExportToExcel.h"
#include "export/HistoryFile.h"

void CHistoryDay::AddSample(std::uint32_t second)
{
    const std::size_t n = m_adwTime.size();
    m_adwTime.push_back(5000u + second * 1000u);
    for (int s = 0; s < kSeriesInsulation; ++s) {
        if (!IsFloatSeries(s)) {
            m_adwSeries[s].push_back(s == kSeriesState2 ? 2u : static_cast<std::uint32_t>(n % 1000));
            continue;
        }
        float v = static_cast<float>(n % 100) / 10.0f;
        if (s == kSeriesPac)
            v = Pac(second);
        else if (s == kSeriesEtoday)
            v = Etoday(second);
        else if (s == kSeriesUdc)
            v = Udc(n);
        else if (s == kSeriesFreq)
            v = 50.0f;
        m_afSeries[s].push_back(v);
    }
}

std::string WriteHistoryWorkbook(const std::string& folder, const CDaySamples& samples, std::int64_t curveStart,
                                 const std::string& serial, int rating)
{
    CExportOwner owner;
    owner.m_strExportPath = folder + HistoryFileName(serial, rating, curveStart);
    owner.m_nExportFrom = 0;
    owner.m_nExportTo = 1440;
    owner.m_nExportStep = 1;
    owner.m_tmBase = curveStart;
    owner.m_strSerialNumber = serial;
    owner.m_nRating = rating;
    owner.m_nProtocolType = 1;
    owner.m_pSamples = &samples;
    const CExportResult result = ExportToExcel(owner, 2);
    if (result.eStatus != CExportResult::kSaved)
        throw std::runtime_error("history workbook not saved: " + result.strError);
    return result.strPath;
}

CScratchFolder::CScratchFolder(const std::string& tag)
{
    m_strPath = (std::filesystem::temp_directory_path() / ("zelvan-" + tag + "-" + std::to_string(::getpid())))
                    .string() + "/";
    std::filesystem::remove_all(m_strPath);
    std::filesystem::create_directories(m_strPath);
}

CScratchFolder::~CScratchFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
}
