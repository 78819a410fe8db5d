#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>

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

namespace platform {

// The stop signal of the calling thread, or null on a thread that has none
// (the UI thread). A worker waiting for a message box gives up when it fires.
CStopSignal* CurrentStopSignal();

// Makes `stop` the calling thread's stop signal while it lives.
class CThreadStopScope {
public:
    explicit CThreadStopScope(CStopSignal& stop);
    ~CThreadStopScope();
    CThreadStopScope(const CThreadStopScope&) = delete;
    CThreadStopScope& operator=(const CThreadStopScope&) = delete;

private:
    CStopSignal* m_pPrevious;
};

// Runs a thread's body (or one pass of it). An exception that escapes is
// shown in an "Application Error" box naming the thread instead of ending
// the program; false when one escaped.
bool RunReportingExceptions(const char* threadName, const std::function<void()>& body);

} // namespace platform
