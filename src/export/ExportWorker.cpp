#include "export/ExportWorker.h"

#include <exception>

#include "platform/Messages.h"

bool CExportWorker::Start(CExportOwner owner, CDaySamples samples)
{
    if (m_thread.joinable() || owner.m_pTarget == nullptr)
        return false;
    m_pSamples = std::make_unique<CDaySamples>(std::move(samples));
    m_owner = std::move(owner);
    m_owner.m_pSamples = m_pSamples.get();
    m_result = {};
    m_stop.Reset();
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CExportWorker::Run()
{
    platform::CThreadStopScope scope(m_stop);
    try {
        m_result = ExportToExcel(m_owner, 0);
    } catch (const std::exception& e) {
        m_result.eStatus = CExportResult::kSaveFailed;
        m_result.strError = "Couldn't save \"" + ExportFileName(m_owner.m_strExportPath) + "\": " + e.what();
    } catch (...) {
        m_result.eStatus = CExportResult::kSaveFailed;
        m_result.strError = "Couldn't save \"" + ExportFileName(m_owner.m_strExportPath) + "\": unknown error";
    }
    m_owner.m_pTarget->Post(platform::WM_EXPORT_DONE, 0, 0);
}

CExportResult CExportWorker::Finish()
{
    if (m_thread.joinable())
        m_thread.join();
    m_pSamples.reset();
    return m_result;
}

void CExportWorker::Stop()
{
    m_stop.Request();
    if (m_thread.joinable())
        m_thread.join();
    m_pSamples.reset();
}
