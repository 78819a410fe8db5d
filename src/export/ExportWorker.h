#pragma once
#include <memory>
#include <thread>

#include "export/ExportToExcel.h"
#include "platform/StopSignal.h"

// A user export on a thread of its own. It writes from a copy of the store
// taken on the user-interface thread, so polling goes on appending to the
// live store meanwhile. When the writer returns (also after a failure or an
// exception) the thread posts WM_EXPORT_DONE (0, 0) to the owner's target;
// the owner then calls Finish, which joins the thread.
class CExportWorker {
public:
    CExportWorker() = default;
    ~CExportWorker() { Stop(); }
    CExportWorker(const CExportWorker&) = delete;
    CExportWorker& operator=(const CExportWorker&) = delete;

    // UI thread: starts the export of `samples` (owner.m_pSamples is set to
    // the copy). False when one is still running or no target is given.
    bool Start(CExportOwner owner, CDaySamples samples);
    // True from Start until Finish: the thread handle is held.
    bool IsRunning() const { return m_thread.joinable(); }
    // UI thread, on WM_EXPORT_DONE: joins the thread; the writer's result.
    CExportResult Finish();
    // Shut-down: a box the worker waits for gives way, then it is joined.
    void Stop();

private:
    void Run();

    CExportOwner m_owner;
    std::unique_ptr<CDaySamples> m_pSamples;
    CExportResult m_result; // written by the worker before it posts
    CStopSignal m_stop;
    std::thread m_thread;
};
