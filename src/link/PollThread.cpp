#include "link/PollThread.h"

bool CPollThread::Start(std::function<void()> step)
{
    if (m_thread.joinable())
        return false;
    m_stop.Reset();
    m_step = std::move(step);
    m_thread = std::thread([this] { Run(); });
    return true;
}

// A step that throws is reported once and the thread goes on polling: an
// operator would rather see the box than lose the link for good.
void CPollThread::Run()
{
    platform::CThreadStopScope scope(m_stop);
    bool bReported = false;
    while (!m_stop.WaitFor(kPollTickMs)) {
        if (bReported) {
            try {
                m_step();
            } catch (...) {
            }
            continue;
        }
        bReported = !platform::RunReportingExceptions("The poll thread", m_step);
    }
}

void CPollThread::Stop()
{
    if (!m_thread.joinable())
        return;
    m_stop.Request();
    m_thread.join();
}
