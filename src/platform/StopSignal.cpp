#include "platform/StopSignal.h"

#include <chrono>
#include <exception>
#include <string>

#include "platform/MessageBox.h"

bool CStopSignal::WaitFor(int ms)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_cv.wait_for(lock, std::chrono::milliseconds(ms < 0 ? 0 : ms), [this] { return m_bStop; });
}

void CStopSignal::Request()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bStop = true;
    }
    m_cv.notify_all();
}

void CStopSignal::Reset()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_bStop = false;
}

bool CStopSignal::Requested() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_bStop;
}

namespace platform {
namespace {
thread_local CStopSignal* t_pStop = nullptr;
} // namespace

CStopSignal* CurrentStopSignal() { return t_pStop; }

CThreadStopScope::CThreadStopScope(CStopSignal& stop) : m_pPrevious(t_pStop) { t_pStop = &stop; }

CThreadStopScope::~CThreadStopScope() { t_pStop = m_pPrevious; }

bool RunReportingExceptions(const char* threadName, const std::function<void()>& body)
{
    std::string what;
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
        what = "unknown exception";
    }
    ShowMessageBox("Application Error", std::string(threadName) + " stopped by an error: " + what, kMbIconError);
    return false;
}

} // namespace platform
