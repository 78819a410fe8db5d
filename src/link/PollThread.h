#pragma once
#include <functional>
#include <thread>

#include "platform/StopSignal.h"

constexpr int kPollTickMs = 200;

// A plain stoppable worker: runs the step it is given every 200 ms until a
// stop is requested. Stopped cooperatively and joined, never killed: every
// wait of the thread is a wait on its stop signal.
class CPollThread {
public:
    CPollThread() = default;
    ~CPollThread() { Stop(); }
    CPollThread(const CPollThread&) = delete;
    CPollThread& operator=(const CPollThread&) = delete;

    // False when the thread already runs.
    [[nodiscard]] bool Start(std::function<void()> step);
    // Requests the stop and joins the thread; nothing when it is not running.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }
    CStopSignal& Signal() { return m_stop; }

private:
    void Run();

    CStopSignal m_stop;
    std::function<void()> m_step;
    std::thread m_thread;
};
