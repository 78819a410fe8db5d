#include "link/PowerViewLink.h"

#include "link/InvComSet.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/SerialPorts.h"
#include "platform/Tick.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

constexpr int kProbeTypeOneAddress = 0xFF; // any slave answers the first probe
constexpr int kProbeTypeTwoAddress = 0;
constexpr int kOwnAddressIndex = 142;       // types 0 and 1: the inverter's Modbus address
constexpr int kOwnAddressRegister = 40012;  // type 2: the same, in the 4xxxx numbering
constexpr int kReopenPauseMs = 100;
constexpr int kClosePauseMs = 500;

const char* const kConnected = "Connected";
const char* const kDisconnected = "Dis-connected";
const char* const kTimeOutCaption = "Zelvan";

struct PollRequest {
    int nRegister; // 0: nothing to send
    int nQuantity;
};

// The view's poll steps: types 0 and 1 read model code and version once
// (step 0), then the running data (step 1); type 2 walks steps 1 to 5.
PollRequest PollStepRequest(int type, int step)
{
    if (type != 2)
        return step == 0 ? PollRequest{44, 2} : PollRequest{11, 31};
    switch (step) {
    case 1: return {40007, 3}; // the serial number
    case 2: return {40001, 2};
    case 3: return {30001, 20};
    case 4: return {30021, 17};
    case 5: return {31001, 20};
    default: return {0, 0};
    }
}

} // namespace

CPowerViewLink::CPowerViewLink(platform::IMessageTarget& owner) : m_owner(owner) {}

CPowerViewLink::~CPowerViewLink()
{
    // The thread uses everything here: it goes first; the link then shuts
    // its port down as it goes.
    m_pollThread.Stop();
}

void CPowerViewLink::Pause(int ms)
{
    if (m_pause)
        m_pause(ms);
    else
        m_pollThread.Signal().WaitFor(ms);
}

void CPowerViewLink::PostLine(const std::string& line)
{
    if (m_hooks.postDetectionLine)
        m_hooks.postDetectionLine(line);
}

void CPowerViewLink::Status(const std::string& text)
{
    if (m_hooks.onStatus)
        m_hooks.onStatus(text);
}

std::vector<std::string> CPowerViewLink::PortNames() const
{
    std::lock_guard<std::mutex> lock(m_portLock);
    return m_portNames;
}

std::string CPowerViewLink::PortInUse() const
{
    std::lock_guard<std::mutex> lock(m_portLock);
    return m_strPortName;
}

// ---------------------------------------------------------------- poll thread

bool CPowerViewLink::TickOpenPage()
{
    bool bTimedOut = false;
    {
        std::lock_guard<std::mutex> lock(m_pageLock);
        CInvComSet* page = m_pPage.load();
        if (page == nullptr)
            return false;
        bTimedOut = page->OnTick();
    }
    // The box blocks this thread (and so all polling) until it is answered;
    // it is shown on the UI side, which may close the page meanwhile.
    if (bTimedOut)
        platform::ShowMessageBox(kTimeOutCaption, CInvComSet::kTimeOutText, platform::kMbOk);
    return true;
}

void CPowerViewLink::PollStep()
{
    if (m_bPollPaused.load())
        return;
    if (TickOpenPage())
        return;
    ViewTick();
}

void CPowerViewLink::ViewTick()
{
    if ((m_bDetecting.load() && m_bDetectDialogAlive.load()) || m_link.m_bProbePending.load())
        DetectionStep();
    else
        PollTick();
}

void CPowerViewLink::SendNextPoll()
{
    if (!m_bConnected.load())
        return;
    const int step = m_nNextStep.load();
    m_nStep.store(step);
    const PollRequest request = PollStepRequest(m_link.m_nProtocolType.load(), step);
    if (request.nRegister == 0)
        return;
    // Every sending starts the reply afresh, a resend included, so a value
    // is never numbered against the register of a broken earlier reply.
    m_nPos.store(0);
    if (m_link.m_nProtocolType.load() == 2 && step == 1)
        m_link.ReadSerialNumber();
    else
        m_link.ReadRegisters(request.nRegister, request.nQuantity);
}

void CPowerViewLink::PollTick()
{
    if (m_pPage.load() != nullptr)
        return;
    const ReplyCheck check = m_link.CheckReplyTimeout();
    const bool bBusy = m_link.m_nLinkState.load() != kLinkIdle;
    // A reply that passed its CRC but stopped short leaves the link busy:
    // once the time-out has passed it counts as a miss like no reply at all.
    const bool bReplied = check.bReplied && !(bBusy && check.bTimedOut);
    if (bReplied) {
        if (check.bReady && !bBusy)
            SendNextPoll();
        m_nMissedPolls.store(0);
        return;
    }
    if (!check.bTimedOut)
        return;

    if (++m_nMissedPolls >= kMissesPerLinkLost) {
        m_owner.Post(platform::WM_LINK_LOST, static_cast<platform::WPARAM>(m_link.m_nTag.load()), 1);
        m_nMissedPolls.store(0);
        // A parser stuck in the middle of a frame, or a device that failed
        // or went away: start the port afresh. While it cannot be opened
        // the following ticks go on counting and try again.
        const bool bStuck = m_link.ReceiveState() == 2;
        if (m_bConnected.load() && (bStuck || PortDeviceFailed()) && !ReopenPort())
            return;
    }
    m_link.ResetReceiver();
    SendNextPoll();
}

bool CPowerViewLink::OpenPortInUse(const std::string& name)
{
    if (!m_link.OpenPort(&m_owner, name))
        return false;
    std::uint64_t id = 0;
    std::uint64_t inode = 0;
#ifndef _WIN32
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) {
        id = static_cast<std::uint64_t>(st.st_rdev);
        inode = static_cast<std::uint64_t>(st.st_ino);
    }
#endif
    std::lock_guard<std::mutex> lock(m_portLock);
    m_strPortName = name;
    m_qwDeviceId = id;
    m_qwDeviceInode = inode;
    return true;
}

bool CPowerViewLink::PortDeviceFailed() const
{
    std::lock_guard<std::mutex> lock(m_portLock);
    if (m_strPortName.empty())
        return false; // no port opened yet: nothing to reopen
    if (!m_link.IsOpen() || m_link.HasFailed())
        return true;
#ifndef _WIN32
    struct stat st {};
    if (::stat(m_strPortName.c_str(), &st) != 0)
        return true;
    return static_cast<std::uint64_t>(st.st_rdev) != m_qwDeviceId ||
           static_cast<std::uint64_t>(st.st_ino) != m_qwDeviceInode;
#else
    return false;
#endif
}

bool CPowerViewLink::ReopenPort()
{
    const std::string name = PortInUse();
    if (name.empty())
        return false;
    if (m_link.IsOpen())
        m_link.ClosePort();
    Pause(kReopenPauseMs);
    if (!OpenPortInUse(name))
        return false;
    m_link.StartPortThread();
    return true;
}

void CPowerViewLink::EndDetectionWalk()
{
    PostLine("Detecting End");
    m_bDetecting.store(false);
}

void CPowerViewLink::DetectionStep()
{
    if (!m_link.m_bProbePending.load()) {
        // Next port of the walk.
        if (m_bConnected.load()) {
            m_link.ClosePort();
            Pause(kClosePauseMs);
        }
        std::string name;
        std::size_t count = 0;
        {
            std::lock_guard<std::mutex> lock(m_portLock);
            count = m_portNames.size();
            const int index = m_nPortIndex.load();
            if (index >= 0 && static_cast<std::size_t>(index) < count)
                name = m_portNames[static_cast<std::size_t>(index)];
        }
        if (name.empty()) {
            // Walked past the list (it changed under a running walk).
            if (m_bDetectDialogAlive.load())
                EndDetectionWalk();
            m_bDetecting.store(false);
            return;
        }
        PostLine("Detecting " + name);
        if (!OpenPortInUse(name)) {
            const int next = ++m_nPortIndex;
            if (static_cast<std::size_t>(next) >= count && m_bDetectDialogAlive.load()) {
                EndDetectionWalk();
                // Holds the poller here, sending nothing, until the next detection.
                m_link.m_bProbePending.store(true);
            }
            return;
        }
        m_link.StartPortThread();
        m_link.ResetReceiver();
        m_link.m_bProbePending.store(true);
        m_link.SetProtocolType(1);
        m_link.m_byAddress[0].store(kProbeTypeOneAddress);
        m_link.ReadRegisters(kOwnAddressIndex, 1);
        ++m_nPortIndex;
        return;
    }

    // A probe is outstanding.
    const platform::DWORD now = platform::GetTickCount();
    if (m_link.m_nLinkState.load() == kLinkIdle ||
        platform::TickDiff(now, m_link.m_dwLastRequestTick.load()) <= static_cast<platform::DWORD>(kProbeTimeoutMs))
        return;
    switch (m_link.m_nProtocolType.load()) {
    case 1:
        m_bFirstReplyPending.store(true);
        m_link.SetProtocolType(0);
        m_link.ReadSerialNumber();
        break;
    case 0:
        m_link.SetProtocolType(2);
        m_link.m_byAddress[0].store(kProbeTypeTwoAddress);
        m_link.ReadRegisters(kOwnAddressRegister, 1);
        break;
    default: {
        std::size_t count = 0;
        {
            std::lock_guard<std::mutex> lock(m_portLock);
            count = m_portNames.size();
        }
        if (static_cast<std::size_t>(m_nPortIndex.load()) < count)
            m_link.m_bProbePending.store(false); // the next tick opens the next port
        else if (m_bDetecting.load() && m_bDetectDialogAlive.load())
            EndDetectionWalk();
        break;
    }
    }
}

// ------------------------------------------------------------------ UI thread

void CPowerViewLink::OnRescanPorts()
{
    std::vector<std::string> names;
    platform::EnumerateSerialPorts(names);
    {
        std::lock_guard<std::mutex> lock(m_portLock);
        m_portNames = names;
    }
    m_nPortIndex.store(0);
    m_nConnectCount.store(0);
    m_bVersionPending.store(false);
    // A probe flag left by an earlier walk would keep this one from opening
    // any port, and a half-read frame would swallow the first answer.
    m_link.m_bProbePending.store(false);
    m_link.ResetReceiver();
    m_bDetecting.store(true);
    if (names.empty()) {
        m_bDetecting.store(false); // no dialog, nothing to probe
        return;
    }
    if (m_hooks.runDetectionDialog)
        m_hooks.runDetectionDialog();
    m_bDetecting.store(false);
}

void CPowerViewLink::OnConnectToggle()
{
    if (m_bConnected.load()) {
        // Cleared first, so the poll thread neither sends on nor reopens
        // the port while it is being closed.
        m_bConnected.store(false);
        m_link.ClosePort();
        Pause(kClosePauseMs);
        return;
    }
    OnRescanPorts();
}

void CPowerViewLink::SetOpenPage(CInvComSet* pPage)
{
    std::lock_guard<std::mutex> lock(m_pageLock);
    m_pPage.store(pPage);
}

void CPowerViewLink::OnLinkLost(platform::WPARAM, platform::LPARAM)
{
    if (m_bLinkLostShown)
        return;
    m_bLinkLostShown = true;
    Status(kDisconnected);
}

void CPowerViewLink::OnRegisterValue(platform::WPARAM wParam, platform::LPARAM lParam)
{
    const auto wValue = static_cast<std::uint16_t>(lParam);
    if (m_link.m_bProbePending.load()) {
        // Connecting: nothing of these replies is stored or shown.
        OnProbeAnswered(wValue);
        return;
    }
    if (m_bLinkLostShown) {
        m_bLinkLostShown = false;
        Status(kConnected);
    }
    if (CInvComSet* page = m_pPage.load()) {
        OnPageValue(*page, wParam, lParam);
        return;
    }
    CountPollValue(wValue);
}

void CPowerViewLink::OnPageValue(CInvComSet& page, platform::WPARAM wParam, platform::LPARAM lParam)
{
    const int start = m_link.m_nLastRegister.load();
    const int reg = start + page.m_nValueCount.load();
    page.OnRegisterValue(wParam, lParam);
    if (m_hooks.onPageValue)
        m_hooks.onPageValue(reg, static_cast<std::uint16_t>(lParam), start,
                            m_link.m_nLinkState.load() == kLinkIdle);
}

void CPowerViewLink::CountPollValue(std::uint16_t wValue)
{
    const int reg = m_link.m_nLastRegister.load() + m_nPos.load();
    if (m_hooks.onValue)
        m_hooks.onValue(reg, wValue, m_link.m_nLinkState.load());
    if (++m_nPos < m_link.m_nExpectedValues.load())
        return;

    // The reply is complete.
    m_link.m_nLinkState.store(kLinkIdle);
    m_nPos.store(0);
    const int type = m_link.m_nProtocolType.load();
    if (m_bFirstReplyPending.load()) {
        m_bFirstReplyPending.store(false);
        if (type == 2)
            m_nNextStep.store(1);
        return;
    }

    bool bCycleEnded = false;
    if (type != 2) {
        m_nNextStep.store(1);
        bCycleEnded = m_nStep.load() == 1;
    } else if (m_nStep.load() == 5) {
        m_nNextStep.store(3);
        bCycleEnded = true;
    } else {
        m_nNextStep.store(m_nNextStep.load() + 1);
    }
    if (bCycleEnded && m_hooks.onCycleEnd)
        m_hooks.onCycleEnd();
}

void CPowerViewLink::OnProbeAnswered(std::uint16_t wValue)
{
    m_bDetecting.store(false);
    m_bConnected.store(true);
    if (m_bDetectDialogAlive.load() && m_hooks.endDetectionDialog)
        m_hooks.endDetectionDialog();
    Status(kConnected);

    if (m_link.m_nProtocolType.load() != 0) {
        m_link.m_bProbePending.store(false);
        m_bFirstReplyPending.store(true);
        m_link.ReadSerialNumber();
        return;
    }

    // Type 0: the serial number came with the probe; the version follows.
    ++m_nConnectCount;
    if (m_bVersionPending.load()) {
        if (m_hooks.onVersion)
            m_hooks.onVersion(wValue);
        m_link.m_nLinkState.store(kLinkIdle);
        m_bVersionPending.store(false);
        m_link.m_bProbePending.store(false);
        return;
    }
    if (m_nConnectCount.load() == m_link.m_nExpectedValues.load()) {
        m_bFirstReplyPending.store(false);
        m_nConnectCount.store(0);
        m_link.ReadSoftwareVersion();
        m_bVersionPending.store(true);
    }
}
