#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/StopSignal.h"

// Writes the history files on a thread of its own, so that a slow disk
// (a save flushes the file to disk) never holds up the window. Jobs run in
// the order given; a job whose file a later queued job writes again is
// skipped, as that one writes everything it would have. A job may show a
// message box; the box gives way when the writer is stopped.
class CHistoryWriter {
public:
    using Job = std::function<void()>;

    CHistoryWriter() = default;
    ~CHistoryWriter() { Stop(); }
    CHistoryWriter(const CHistoryWriter&) = delete;
    CHistoryWriter& operator=(const CHistoryWriter&) = delete;

    // UI thread: queues a job that writes the file `path`. After Stop the
    // job runs at once on the calling thread.
    void Post(const std::string& path, Job job);
    // Any thread but the writer's: returns when every job posted so far has run.
    void Flush();
    // Runs what is queued, then ends the thread and joins it.
    void Stop();

private:
    struct SJob {
        std::string strPath;
        Job job;
    };
    void Run();

    std::mutex m_lock;
    std::condition_variable m_cv;
    std::deque<SJob> m_jobs;
    bool m_bBusy = false;
    bool m_bStopping = false;
    bool m_bStopped = false;
    CStopSignal m_stop;
    std::thread m_thread;
};
