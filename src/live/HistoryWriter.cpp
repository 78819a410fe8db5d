#include "live/HistoryWriter.h"

#include <algorithm>

void CHistoryWriter::Post(const std::string& path, Job job)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_bStopped) {
            m_jobs.push_back({path, std::move(job)});
            if (!m_thread.joinable())
                m_thread = std::thread([this] { Run(); });
            m_cv.notify_all();
            return;
        }
    }
    job();
}

void CHistoryWriter::Flush()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_cv.wait(lock, [this] { return m_jobs.empty() && !m_bBusy; });
}

void CHistoryWriter::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_bStopped)
            return;
        m_bStopping = true;
        m_cv.notify_all();
    }
    m_stop.Request(); // a box waiting for its answer closes; the writes go on
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_lock);
    m_bStopped = true;
}

void CHistoryWriter::Run()
{
    platform::CThreadStopScope scope(m_stop);
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_cv.wait(lock, [this] { return !m_jobs.empty() || m_bStopping; });
        if (m_jobs.empty())
            return; // stopping with nothing left to write
        SJob next = std::move(m_jobs.front());
        m_jobs.pop_front();
        const bool bSuperseded =
            std::any_of(m_jobs.begin(), m_jobs.end(), [&](const SJob& later) { return later.strPath == next.strPath; });
        if (bSuperseded)
            continue;
        m_bBusy = true;
        lock.unlock();
        platform::RunReportingExceptions("History writer", next.job);
        next = {};
        lock.lock();
        m_bBusy = false;
        m_cv.notify_all();
    }
}
