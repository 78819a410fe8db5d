#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/PowerViewLink.h"
#include "live/HistoryKeeper.h"
#include "model/MonitorOutput.h"
#include "live/PowerViewData.h"
#include "platform/MessageTarget.h"

// What a monitor watches and where it keeps the day.
struct SMonitorSettings {
    std::string strHistoryFolder;      // the history files' folder; empty: "hisdata/" under strAppDir
    std::string strAppDir;             // the folder whose "hisdata/" is used without strHistoryFolder
    std::vector<std::string> astrPorts; // the ports to walk; empty: the system's list
    int nProtocolType = -1;            // the one type probed; -1: the three in the usual order
    // Detection again, with a pause that doubles from the first to the
    // longest, after a lost link or a walk that found nothing (the night).
    bool bRetryDetection = true;
    int nFirstRetryMs = 2000;
    int nLongestRetryMs = 60000;
};

// Severities as the system log numbers them.
enum EMonitorLogLevel : int { kLogError = 3, kLogWarning = 4, kLogNotice = 5, kLogInfo = 6, kLogDebug = 7 };

// What the owner of a monitor attaches. Every hook runs on the data-path
// thread (the one that pumps); an empty hook is skipped.
struct SMonitorHooks {
    // A line for the log at a severity: state changes and detection lines.
    std::function<void(int nLevel, const std::string& text)> onLog;
    // The ports of the first detection are listed (the service is ready).
    std::function<void(const std::vector<std::string>& ports)> onPortsListed;
    // Every nPeriodMs while the monitor pumps (supervision, status).
    std::function<void()> onPeriodic;
    int nPeriodMs = 0;
};

// The monitor without a window: the power view's link, value handling and
// history keeping composed as the window composes them, with detection that
// starts by itself and comes back after a lost link. The window's view and
// the service run the same path; a service never needs a copy of view logic.
//
// Threads: the data-path thread (the one that calls Start, Run or PumpUntil
// and Stop) stands where the window's UI thread stands: it handles the
// posted messages, feeds the store, the history keeper and the outputs. The
// poll thread and the port thread are the link's. RequestStop is for any
// thread.
class CMonitor {
public:
    explicit CMonitor(SMonitorSettings settings);
    ~CMonitor();
    CMonitor(const CMonitor&) = delete;
    CMonitor& operator=(const CMonitor&) = delete;

    // Before Start.
    void SetHooks(SMonitorHooks hooks) { m_hooks = std::move(hooks); }
    // Before Start; not owned: it must outlive the monitor's Stop.
    void AddOutput(IMonitorOutput& output) { m_outputs.push_back(&output); }

    // Starts the poll thread and queues the first detection; false when it
    // already runs.
    [[nodiscard]] bool Start();
    // Handles messages until RequestStop.
    void Run();
    // Handles messages until `done` holds (true), a stop is requested or
    // timeoutMs have passed (false).
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
    // Any thread: Run and PumpUntil return soon.
    void RequestStop();
    bool IsStopRequested() const { return m_bStopRequested.load(); }
    // The end, as the window's exit: the poll thread joined, the port
    // closed, the day's samples written and the writer joined. Once.
    void Stop();

    // --- data-path thread ---
    bool IsLinkUp() const { return m_eState == EState::kConnected; }
    int Cycles() const { return m_nCycles; }
    int Walks() const { return m_nWalks; }
    std::size_t StoreBytes() const { return m_data.Store().GetMemoryBytes(); }
    SMonitorLinkState LinkState() const;
    CHistoryKeeper& History() { return m_keeper; }

    // --- any thread ---
    // Passes of the poll loop so far: a supervisor sees the poll thread live.
    std::uint64_t PollPasses() const { return m_qwPollPasses.load(std::memory_order_relaxed); }
    CPowerViewLink& Link() { return m_link; }

private:
    enum class EState { kSearching, kConnected, kLost };

    int Type() { return m_link.Link().ProtocolType(); }
    void AttachHooks();
    void Dispatch(const platform::PostedMessage& message);
    void RunTimers();
    void Detect();
    void RunDetectionWalk();
    void ScheduleRetry();
    void OnStatus(const std::string& text);
    void OnCycleEnd();
    void OnConnected();
    void Log(int nLevel, const std::string& text);
    void LogDetectionLines();
    SMonitorInverter CurrentInverter();
    SMonitorReading CollectReading(int type);

    SMonitorSettings m_settings;
    SMonitorHooks m_hooks;
    std::vector<IMonitorOutput*> m_outputs;

    platform::CMessageQueue m_queue;
    CPowerViewData m_data;
    CHistoryKeeper m_keeper;

    // Detection lines come from the poll thread; the data path logs them.
    std::mutex m_linesLock;
    std::deque<std::string> m_lines; // under m_linesLock, bounded
    std::atomic<std::uint64_t> m_qwPollPasses{0};
    std::atomic<bool> m_bStopRequested{false};

    // Data-path thread only.
    EState m_eState = EState::kSearching;
    std::optional<SMonitorInverter> m_lastInverter;
    bool m_bWalking = false;
    bool m_bWalkAnswered = false;
    bool m_bPortsListed = false;
    bool m_bRetryPending = false;
    std::uint32_t m_dwRetryAt = 0;
    int m_nRetryMs = 0;
    std::uint32_t m_dwNextPeriodic = 0;
    int m_nCycles = 0;
    int m_nWalks = 0;
    bool m_bStopped = false;
    std::array<std::size_t, kSeriesCount> m_anSeriesSize{};

    CPowerViewLink m_link{m_queue}; // last: its threads stop before anything above goes
};
