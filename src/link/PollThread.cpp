#include "link/PollThread.h"

#include <chrono>

#include "link/PowerViewLink.h"

std::atomic<bool> g_bPollPaused{false};

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

void PollThreadStep(CPowerViewLink& view)
{
    if (g_bPollPaused.load())
        return;
    if (view.TickOpenPage())
        return;
    view.ViewTick();
}

void PollThreadProc(CPowerViewLink& view, CStopSignal& stop)
{
    while (!stop.WaitFor(kPollTickMs))
        PollThreadStep(view);
}

bool CPollThread::Start(CPowerViewLink& view)
{
    if (m_thread.joinable())
        return false;
    m_stop.Reset();
    m_thread = std::thread([this, &view] { PollThreadProc(view, m_stop); });
    return true;
}

void CPollThread::Stop()
{
    if (!m_thread.joinable())
        return;
    m_stop.Request();
    m_thread.join();
}
