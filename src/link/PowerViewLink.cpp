#include "link/PowerViewLink.h"

#include <algorithm>

#include "link/InvComSet.h"
#include "platform/CommLog.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/SerialPorts.h"
#include "platform/Tick.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

constexpr int kReopenPauseMs = 100;
constexpr int kClosePauseMs = 500;

const char* const kConnected = "Connected";
const char* const kDisconnected = "Dis-connected";
const char* const kTimeOutCaption = "Zelvan";
// Under the "Detecting" line of a port the user may not open.
const char* const kNoPermissionLine = "  No permission to open this port: add your user to the group \"dialout\" "
                                      "(sudo usermod -aG dialout $USER) and log in again.";

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
    platform::CommLog("detect", line);
    if (m_hooks.postDetectionLine)
        m_hooks.postDetectionLine(line);
}

void CPowerViewLink::Status(const std::string& text)
{
    // Every value of a connecting reply says "Connected": the pane and the
    // log take only a change.
    if (text == m_strStatus)
        return;
    m_strStatus = text;
    platform::CommLog("status", text);
    if (m_hooks.onStatus)
        m_hooks.onStatus(text);
}

std::vector<std::string> CPowerViewLink::PortNames() const
{
    std::lock_guard<std::mutex> lock(m_portLock);
    return m_portNames;
}

std::string CPowerViewLink::VersionText() const
{
    std::lock_guard<std::mutex> lock(m_versionLock);
    return m_strVersion;
}

std::string CPowerViewLink::PortInUse() const
{
    std::lock_guard<std::mutex> lock(m_portLock);
    return m_strPortName;
}

// ---------------------------------------------------------------- poll thread

bool CPowerViewLink::TickOpenPage()
{
    std::string timeOutText;
    {
        std::lock_guard<std::mutex> lock(m_pageLock);
        CInvComSet* page = m_pPage.load();
        if (page == nullptr)
            return false;
        if (page->OnTick())
            timeOutText = page->TimeOutText();
    }
    // The box blocks this thread (and so all polling) until it is answered;
    // it is shown on the UI side, which may close the page meanwhile.
    if (!timeOutText.empty())
        platform::ShowMessageBox(kTimeOutCaption, timeOutText, platform::kMbOk);
    return true;
}

void CPowerViewLink::PollStep()
{
    if (m_hooks.onPollPass)
        m_hooks.onPollPass();
    if (m_bPollPaused.load())
        return;
    if (TickOpenPage())
        return;
    ViewTick();
}

void CPowerViewLink::ViewTick()
{
    if ((m_bDetecting.load() && m_bDetectDialogAlive.load()) || m_link.IsProbePending())
        DetectionStep();
    else
        PollTick();
}

void CPowerViewLink::SendNextPoll()
{
    if (!m_bConnected.load())
        return;
    // A step beyond the type's last (left by a link of another type) is its last.
    const SProtocolFacts& facts = m_link.Facts();
    const int last = static_cast<int>(facts.pollSteps.size()) - 1;
    const int step = std::clamp(m_nNextStep.load(), 0, last);
    m_nStep.store(step);
    // Until the serial-number read sent on connecting is answered, it is
    // what is asked again: polling starts only from its reply.
    const std::optional<SRegisterBlock> block =
        m_bFirstReplyPending.load() ? facts.serial : PollStepBlock(m_link.ProtocolType(), step);
    if (!block)
        return;
    // Every sending starts the reply afresh, a resend included, so a value
    // is never numbered against the register of a broken earlier reply.
    m_nPos.store(0);
    if (*block == facts.serial)
        m_link.ReadSerialNumber(); // the serial number is learned from its reply
    else
        m_link.ReadBlock(*block);
}

void CPowerViewLink::PollTick()
{
    if (m_pPage.load() != nullptr)
        return;
    const SReplyCheck check = m_link.CheckReplyTimeout();
    const bool bBusy = m_link.LinkState() != kLinkIdle;
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
        m_owner.Post(platform::WM_LINK_LOST, static_cast<platform::WPARAM>(m_link.Tag()), 1);
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
    return m_link.StartPortThread();
}

void CPowerViewLink::EndDetectionWalk()
{
    PostLine("Detecting End");
    m_bDetecting.store(false);
}

void CPowerViewLink::DetectionStep()
{
    if (!m_link.IsProbePending()) {
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
            if (m_link.OpenWasDenied())
                PostLine(kNoPermissionLine);
            const int next = ++m_nPortIndex;
            if (static_cast<std::size_t>(next) >= count && m_bDetectDialogAlive.load()) {
                EndDetectionWalk();
                // Holds the poller here, sending nothing, until the next detection.
                m_link.SetProbePending(true);
            }
            return;
        }
        (void)m_link.StartPortThread(); // without it the probe times out like a silent port
        m_link.ResetReceiver();
        m_link.SetProbePending(true);
        SendProbe(m_nOnlyProbeType >= 0 ? m_nOnlyProbeType : kFirstProbeType);
        ++m_nPortIndex;
        return;
    }

    // A probe is outstanding.
    const platform::DWORD now = platform::GetTickCount();
    if (m_link.LinkState() == kLinkIdle ||
        platform::TickDiff(now, m_link.LastRequestTick()) <= static_cast<platform::DWORD>(kProbeTimeoutMs))
        return;
    // Answered in time, but the UI thread has not taken the answer yet (a
    // busy machine): the next probe would change the protocol type under
    // it, and the answer would be read as the next type's.
    if (m_link.CheckReplyTimeout().bReplied)
        return;
    const int next = m_nOnlyProbeType >= 0 ? -1 : m_link.Facts().nNextProbeType;
    if (next >= 0) {
        SendProbe(next);
        return;
    }
    std::size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(m_portLock);
        count = m_portNames.size();
    }
    if (static_cast<std::size_t>(m_nPortIndex.load()) < count)
        m_link.SetProbePending(false); // the next tick opens the next port
    else if (m_bDetecting.load() && m_bDetectDialogAlive.load())
        EndDetectionWalk();
}

void CPowerViewLink::SendProbe(int type)
{
    m_link.SetProtocolType(type);
    const SProtocolFacts& facts = m_link.Facts();
    if (facts.bProbeReadsSerial) {
        // The serial number is the address: its reply is the first one.
        m_bFirstReplyPending.store(true);
        m_link.ReadSerialNumber();
        return;
    }
    m_link.SetAddressByte(0, facts.byProbeAddress);
    m_link.ReadBlock(facts.probe);
}

// ------------------------------------------------------------------ UI thread

void CPowerViewLink::OnRescanPorts()
{
    std::vector<std::string> names = m_portOverride;
    if (names.empty())
        platform::EnumerateSerialPorts(names);
    {
        std::lock_guard<std::mutex> lock(m_portLock);
        m_portNames = names;
    }
    m_nPortIndex.store(0);
    m_nConnectCount.store(0);
    {
        std::lock_guard<std::mutex> lock(m_versionLock);
        m_strVersion.clear();
    }
    m_bVersionPending.store(false);
    // A probe flag left by an earlier walk would keep this one from opening
    // any port, and a half-read frame would swallow the first answer.
    m_link.SetProbePending(false);
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
        // No value will come to say otherwise: the pane shows it at once.
        Status(kDisconnected);
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
    if (m_link.IsProbePending()) {
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
    // The request's state is taken before the page counts the value: its
    // last value of a reply sets the link idle.
    const int start = m_link.LastRegister();
    const int reg = start + page.ValueCount();
    const int nLinkState = m_link.LinkState();
    page.OnRegisterValue(wParam, lParam);
    if (m_hooks.onPageValue)
        m_hooks.onPageValue(reg, static_cast<std::uint16_t>(lParam), start, nLinkState,
                            m_link.LinkState() == kLinkIdle);
}

void CPowerViewLink::CountPollValue(std::uint16_t wValue)
{
    const int reg = m_link.LastRegister() + m_nPos.load();
    if (m_hooks.onValue)
        m_hooks.onValue(reg, wValue, m_link.LinkState());
    if (++m_nPos < m_link.ExpectedValues())
        return;

    // The reply is complete.
    m_link.SetLinkState(kLinkIdle);
    m_nPos.store(0);
    const SProtocolFacts& facts = m_link.Facts();
    if (m_bFirstReplyPending.load()) {
        // The serial number is in: a connection to another inverter than
        // the one polled before reads it from the start (its model code).
        m_bFirstReplyPending.store(false);
        NoteConnectedInverter();
        if (facts.nStepAfterConnect >= 0)
            m_nNextStep.store(facts.nStepAfterConnect);
        return;
    }

    if (m_nStep.load() != facts.nCycleEndStep) {
        m_nNextStep.store(m_nNextStep.load() + 1);
        return;
    }
    m_nNextStep.store(facts.nCycleRestartStep);
    if (m_hooks.onCycleEnd)
        m_hooks.onCycleEnd();
}

void CPowerViewLink::NoteConnectedInverter()
{
    const SPolledInverter polled{m_link.ProtocolType(), m_link.Serial()};
    if (m_polled && *m_polled != polled)
        m_nNextStep.store(0);
    m_polled = polled;
}

SerialBytes CPowerViewLink::ConnectedSerial() const
{
    return m_polled ? m_polled->serial : m_link.Serial();
}

void CPowerViewLink::OnProbeAnswered(std::uint16_t wValue)
{
    m_bDetecting.store(false);
    m_bConnected.store(true);
    if (m_bDetectDialogAlive.load() && m_hooks.endDetectionDialog)
        m_hooks.endDetectionDialog();
    Status(kConnected);

    if (!m_link.Facts().bProbeReadsSerial) {
        // The probe taught the address; the serial number is read next.
        m_link.SetProbePending(false);
        m_bFirstReplyPending.store(true);
        m_link.ReadSerialNumber();
        return;
    }

    // The serial number came with the probe; the version follows.
    ++m_nConnectCount;
    if (m_bVersionPending.load()) {
        {
            std::lock_guard<std::mutex> lock(m_versionLock);
            m_strVersion = FormatVersionText(wValue);
        }
        if (m_hooks.onVersion)
            m_hooks.onVersion(wValue);
        m_link.SetLinkState(kLinkIdle);
        m_bVersionPending.store(false);
        m_link.SetProbePending(false);
        return;
    }
    if (m_nConnectCount.load() == m_link.ExpectedValues()) {
        m_bFirstReplyPending.store(false);
        NoteConnectedInverter();
        m_nConnectCount.store(0);
        m_link.ReadSoftwareVersion();
        m_bVersionPending.store(true);
    }
}
