#include "live/Monitor.h"

#include <algorithm>
#include <chrono>

#include "model/RegisterMap.h"
#include "platform/Messages.h"
#include "platform/Tick.h"
#include "platform/WallClock.h"

namespace {

// Private messages of the monitor's queue (the WM_APP range, above the
// export's).
constexpr unsigned kMsgWake = 0x8100;           // a stop request: look at the flags
constexpr unsigned kMsgDetectionLine = 0x8101;  // detection lines are waiting
constexpr std::size_t kMaxQueuedLines = 256;    // a walk's lines, with room to spare
constexpr int kLongestWaitMs = 500;             // timers are looked at this often at least

const char* const kConnectedText = "Connected";
const char* const kDisconnectedText = "Dis-connected";

bool SameInverter(const SMonitorInverter& a, const SMonitorInverter& b)
{
    return a.strSerial == b.strSerial && a.nProtocolType == b.nProtocolType && a.strPort == b.strPort;
}

// Tick a is at or after tick b (modular, so the wrap changes nothing).
bool Reached(std::uint32_t a, std::uint32_t b)
{
    return static_cast<std::int32_t>(a - b) >= 0;
}

} // namespace

CMonitor::CMonitor(SMonitorSettings settings) : m_settings(std::move(settings)), m_keeper(m_data.Store())
{
    m_nRetryMs = m_settings.nFirstRetryMs;
    AttachHooks();
}

CMonitor::~CMonitor()
{
    Stop();
}

void CMonitor::AttachHooks()
{
    SPowerViewHooks hooks;
    hooks.onValue = [this](int reg, std::uint16_t w, int state) {
        m_data.OnValue(Type(), reg, w, state, m_link.VersionText());
    };
    hooks.onCycleEnd = [this] { OnCycleEnd(); };
    hooks.onStatus = [this](const std::string& text) { OnStatus(text); };
    hooks.postDetectionLine = [this](const std::string& line) {
        {
            std::lock_guard<std::mutex> lock(m_linesLock);
            if (m_lines.size() >= kMaxQueuedLines)
                return;
            m_lines.push_back(line);
        }
        m_queue.Post(kMsgDetectionLine, 0, 0);
    };
    hooks.runDetectionDialog = [this] { RunDetectionWalk(); };
    hooks.endDetectionDialog = [this] { m_bWalkAnswered = true; };
    hooks.onPollPass = [this] { m_qwPollPasses.fetch_add(1, std::memory_order_relaxed); };
    m_link.SetHooks(std::move(hooks));
    m_link.SetPortOverride(m_settings.astrPorts);
    m_link.SetProbeType(m_settings.nProtocolType);

    m_data.onDisplay = [this](const SDisplayUpdate& u) {
        if (u.bCurveStarted)
            m_keeper.SetCurveStart(u.tmCurveStart);
    };
    m_data.onHistoryCheck = [this](std::size_t i) {
        const SMonitorInverter inverter = CurrentInverter();
        m_keeper.CheckHistory(i, {inverter.strSerial, inverter.nRating, inverter.nProtocolType});
    };
    SHistoryHooks history;
    history.setPollPaused = [this](bool bPaused) { m_link.SetPollPaused(bPaused); };
    history.restartCurve = [this] { m_data.RestartCurve(); };
    m_keeper.SetHooks(std::move(history));
    m_keeper.SetAppDir(m_settings.strAppDir);
    m_keeper.SetFolder(m_settings.strHistoryFolder);
    m_keeper.SetCurveStart(platform::WallNow());
}

bool CMonitor::Start()
{
    if (!m_link.StartPollThread())
        return false;
    m_dwNextPeriodic = platform::GetTickCount();
    m_queue.Post(platform::WM_START_DETECTION, 0, 0);
    return true;
}

void CMonitor::RequestStop()
{
    m_bStopRequested.store(true);
    m_queue.Post(kMsgWake, 0, 0);
}

void CMonitor::Run()
{
    (void)PumpUntil([] { return false; }, -1);
}

bool CMonitor::PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    // The caller's time-out is real time; the timers run on the program's
    // clock (which a soak or a test may speed up).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (m_bStopRequested.load())
            return false;
        if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline)
            return false;
        RunTimers();
        long long waitMs = kLongestWaitMs;
        if (timeoutMs >= 0)
            waitMs = std::clamp<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               deadline - std::chrono::steady_clock::now())
                                               .count(),
                                           1, kLongestWaitMs);
        if (auto message = m_queue.Take(static_cast<unsigned>(waitMs)))
            Dispatch(*message);
    }
    return true;
}

void CMonitor::Dispatch(const platform::PostedMessage& message)
{
    switch (message.msg) {
    case platform::WM_REGISTER_VALUE:
        m_link.OnRegisterValue(message.wParam, message.lParam);
        break;
    case platform::WM_LINK_LOST:
        m_link.OnLinkLost(message.wParam, message.lParam);
        break;
    case platform::WM_START_DETECTION:
    case platform::WM_START_DETECTION_ALT:
        Detect();
        break;
    case kMsgDetectionLine:
        LogDetectionLines();
        break;
    default:
        break;
    }
}

void CMonitor::RunTimers()
{
    const std::uint32_t now = platform::GetTickCount();
    if (m_hooks.onPeriodic && m_hooks.nPeriodMs > 0 && Reached(now, m_dwNextPeriodic)) {
        m_dwNextPeriodic = now + static_cast<std::uint32_t>(m_hooks.nPeriodMs);
        m_hooks.onPeriodic();
    }
    if (m_bRetryPending && !m_bWalking && Reached(now, m_dwRetryAt)) {
        m_bRetryPending = false;
        Detect();
    }
}

// A detection walk over every port; when nothing answers, the next one
// comes after the growing pause.
void CMonitor::Detect()
{
    if (m_bWalking || m_bStopRequested.load())
        return;
    m_bRetryPending = false;
    m_bWalkAnswered = false;
    m_link.OnRescanPorts(); // runs RunDetectionWalk unless there is no port
    if (!m_bPortsListed) {
        m_bPortsListed = true;
        const std::vector<std::string> ports = m_link.PortNames();
        if (ports.empty())
            Log(kLogWarning, "no serial ports to try");
        if (m_hooks.onPortsListed)
            m_hooks.onPortsListed(ports);
    }
    if (!m_bWalkAnswered)
        ScheduleRetry();
}

// The detection dialog's place: the messages are handled here until the
// walk has ended or an inverter answered.
void CMonitor::RunDetectionWalk()
{
    ++m_nWalks;
    if (!m_bPortsListed) {
        m_bPortsListed = true;
        const std::vector<std::string> ports = m_link.PortNames();
        std::string list;
        for (const std::string& port : ports)
            list += (list.empty() ? "" : ", ") + port;
        Log(kLogInfo, "ports: " + list);
        if (m_hooks.onPortsListed)
            m_hooks.onPortsListed(ports);
    }
    m_bWalking = true;
    m_link.SetDetectionDialogAlive(true);
    (void)PumpUntil([this] { return m_bWalkAnswered || !m_link.IsDetecting(); }, -1);
    m_link.SetDetectionDialogAlive(false);
    m_bWalking = false;
    LogDetectionLines();
}

void CMonitor::ScheduleRetry()
{
    if (!m_settings.bRetryDetection || m_bStopRequested.load())
        return;
    m_bRetryPending = true;
    m_dwRetryAt = platform::GetTickCount() + static_cast<std::uint32_t>(m_nRetryMs);
    Log(kLogDebug, "detection again in " + std::to_string(m_nRetryMs / 1000.0).substr(0, 4) + " s");
    m_nRetryMs = std::min(m_nRetryMs * 2, m_settings.nLongestRetryMs);
}

void CMonitor::LogDetectionLines()
{
    std::deque<std::string> lines;
    {
        std::lock_guard<std::mutex> lock(m_linesLock);
        lines.swap(m_lines);
    }
    // The first walk is told as the window lists it; the walks of a night
    // only at debug level.
    const bool bFirst = m_nWalks <= 1;
    for (const std::string& line : lines) {
        const bool bProblem = line.rfind("  ", 0) == 0;
        Log(bFirst ? (bProblem ? kLogWarning : kLogInfo) : kLogDebug, line);
    }
}

void CMonitor::OnStatus(const std::string& text)
{
    if (text == kDisconnectedText && m_eState == EState::kConnected) {
        m_eState = EState::kLost;
        Log(kLogWarning, "link lost");
        const SMonitorLinkState state = LinkState();
        for (IMonitorOutput* output : m_outputs)
            output->OnLinkState(state);
        m_nRetryMs = m_settings.nFirstRetryMs;
        ScheduleRetry();
    }
    // "Connected" counts once the first cycle has ended: only then are the
    // serial number and the model known.
    (void)kConnectedText;
}

void CMonitor::OnCycleEnd()
{
    const int type = Type();
    const SMonitorReading reading = CollectReading(type);
    m_data.OnCycleEnd(type, platform::WallNow());
    for (int s = 0; s < kSeriesCount; ++s)
        m_anSeriesSize[static_cast<std::size_t>(s)] = m_data.Store().GetSize(s);
    ++m_nCycles;
    m_bRetryPending = false;
    m_nRetryMs = m_settings.nFirstRetryMs;
    if (m_eState != EState::kConnected)
        OnConnected();
    for (IMonitorOutput* output : m_outputs)
        output->OnReading(reading);
}

void CMonitor::OnConnected()
{
    const SMonitorInverter inverter = CurrentInverter();
    const bool bBack = m_eState == EState::kLost && m_lastInverter && SameInverter(*m_lastInverter, inverter);
    m_eState = EState::kConnected;
    m_lastInverter = inverter;
    Log(kLogNotice, bBack ? std::string("link back")
                          : "connected to " + inverter.strSerial + " on " + inverter.strPort + ", protocol type " +
                                std::to_string(inverter.nProtocolType));
    const SMonitorLinkState state = LinkState();
    for (IMonitorOutput* output : m_outputs)
        output->OnLinkState(state);
}

SMonitorLinkState CMonitor::LinkState() const
{
    SMonitorLinkState state;
    state.bConnected = m_eState == EState::kConnected;
    if (m_lastInverter)
        state.inverter = *m_lastInverter;
    return state;
}

SMonitorInverter CMonitor::CurrentInverter()
{
    SMonitorInverter inverter;
    inverter.nProtocolType = Type();
    inverter.strSerial = FormatSerialNumber(m_link.ConnectedSerial());
    inverter.strPort = m_link.PortInUse();
    inverter.nModelCode = m_data.Store().GetModelCode();
    inverter.nRating = HistoryRating(inverter.nProtocolType, inverter.nModelCode);
    inverter.strVersion = m_link.VersionText();
    return inverter;
}

// The last sample of each series that grew since the last cycle's end (a
// store emptied at a day change counts from nothing).
SMonitorReading CMonitor::CollectReading(int type)
{
    SMonitorReading reading;
    reading.inverter = CurrentInverter();
    reading.inverter.nProtocolType = type;
    reading.tmWall = platform::WallNow();
    const CTestResult& store = m_data.Store();
    for (int s = 0; s < kSeriesCount; ++s) {
        const std::size_t size = store.GetSize(s);
        const std::size_t before = m_anSeriesSize[static_cast<std::size_t>(s)];
        if (size > 0 && size != before)
            reading.aValue[static_cast<std::size_t>(s)] = store.GetValue(s, size - 1);
    }
    return reading;
}

void CMonitor::Log(int nLevel, const std::string& text)
{
    if (m_hooks.onLog)
        m_hooks.onLog(nLevel, text);
}

void CMonitor::Stop()
{
    if (m_bStopped)
        return;
    m_bStopped = true;
    m_link.StopPollThread();
    m_link.Link().ClosePort();
    m_keeper.WriteBeforeExit();
}
