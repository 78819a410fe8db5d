#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class CPowerViewLink;

// Set by the history writer while it writes a file: the poll thread then
// skips its ticks (nothing is sent, no time-out is counted).
extern std::atomic<bool> g_bPollPaused;

// A stop request that cuts short every wait of the thread it belongs to.
class CStopSignal {
public:
    // Waits up to ms milliseconds; true as soon as a stop was requested.
    bool WaitFor(int ms);
    void Request();
    void Reset();
    bool Requested() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_bStop = false;
};

constexpr int kPollTickMs = 200;

// One pass of the poll thread, in this order of precedence: the pause flag,
// the open parameter page's tick, then the view tick (detection or poll).
void PollThreadStep(CPowerViewLink& view);

// The poll thread's body: a pass every 200 ms until a stop is requested.
void PollThreadProc(CPowerViewLink& view, CStopSignal& stop);

// The poll thread of the power view. Stopped cooperatively and joined,
// never killed: every wait of the thread is a wait on its stop signal.
class CPollThread {
public:
    CPollThread() = default;
    ~CPollThread() { Stop(); }
    CPollThread(const CPollThread&) = delete;
    CPollThread& operator=(const CPollThread&) = delete;

    // False when the thread already runs.
    bool Start(CPowerViewLink& view);
    // Requests the stop and joins the thread; nothing when it is not running.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }
    CStopSignal& Signal() { return m_stop; }

private:
    CStopSignal m_stop;
    std::thread m_thread;
};
