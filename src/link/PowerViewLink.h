#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/InverterCom.h"
#include "link/PollThread.h"
#include "platform/MessageTarget.h"

class CInvComSet;

// What the power view attaches to its link logic. Each hook says on which
// thread it is called; an empty hook is skipped.
struct SPowerViewHooks {
    // UI thread: one value of the view's own poll, numbered (start register
    // of the request in flight plus its position), with the link state at
    // its arrival (2 while reading). The store step goes here.
    std::function<void(int nRegister, std::uint16_t wValue, int nLinkState)> onValue;
    // UI thread: one value while a parameter page is open, after the page
    // has counted it: its register (numbered with the page's count), the
    // start register of the request, the link state of that request (2 for
    // a read) and whether the link is now idle.
    std::function<void(int nRegister, std::uint16_t wValue, int nStartRegister, int nLinkState, bool bLinkIdle)>
        onPageValue;
    // UI thread: a polling cycle has ended (after its last value).
    std::function<void()> onCycleEnd;
    // UI thread: the status bar's connection pane ("Connected", "Dis-connected"),
    // only when its text changes.
    std::function<void(const std::string&)> onStatus;
    // UI thread: protocol type 0 has read the software version word at connect.
    std::function<void(std::uint16_t wVersion)> onVersion;
    // Poll thread: a progress line for the detection dialog. It must be
    // posted to the UI side, never drawn here.
    std::function<void(const std::string&)> postDetectionLine;
    // UI thread: runs the detection dialog modally (returns when it ends).
    // It calls SetDetectionDialogAlive while its window exists.
    std::function<void()> runDetectionDialog;
    // UI thread: ends the detection dialog (an inverter answered).
    std::function<void()> endDetectionDialog;
    // Poll thread: each pass of the poll loop, first of all (a liveness beat
    // for a supervisor; it must return at once).
    std::function<void()> onPollPass;
};

// The power view's link logic, free of any window: it owns the link and the
// poll thread, runs the view's poll cycle with its supervision, detects the
// port, and counts the values the view receives. The view forwards its
// messages here and draws what the hooks report.
//
// Threads: the poll thread runs PollStep (TickOpenPage / ViewTick);
// the UI thread runs the message handlers, OnRescanPorts and SetOpenPage.
// What both sides touch is atomic or under a lock.
class CPowerViewLink {
public:
    static constexpr int kReplyTimeoutMs = 2000; // no good reply: a missed poll
    static constexpr int kProbeTimeoutMs = 2000;
    static constexpr int kMissesPerLinkLost = 3;

    explicit CPowerViewLink(platform::IMessageTarget& owner);
    ~CPowerViewLink();
    CPowerViewLink(const CPowerViewLink&) = delete;
    CPowerViewLink& operator=(const CPowerViewLink&) = delete;

    // Set before the poll thread starts.
    void SetHooks(SPowerViewHooks hooks) { m_hooks = std::move(hooks); }
    // Replaces the stoppable pauses (closing and reopening a port); tests
    // let a fake clock pass instead.
    void SetPauseFunction(std::function<void(int ms)> pause) { m_pause = std::move(pause); }
    // Set before the poll thread starts. The ports a detection walks instead
    // of the system's list (empty: the system's list), and the one protocol
    // type it probes (-1: the three in the usual order).
    void SetPortOverride(std::vector<std::string> ports) { m_portOverride = std::move(ports); }
    void SetProbeType(int nProtocolType) { m_nOnlyProbeType = nProtocolType; }

    CInverterCom& Link() { return m_link; }
    platform::IMessageTarget& Owner() { return m_owner; }

    // --- poll thread ---
    [[nodiscard]] bool StartPollThread()
    {
        return m_pollThread.Start([this] { PollStep(); });
    }
    // Stops and joins the poll thread (cuts short its pauses).
    void StopPollThread() { m_pollThread.Stop(); }
    bool IsPollThreadRunning() const { return m_pollThread.IsRunning(); }

    // The open page's tick; false when no page is open. Runs under the page
    // lock, so a page that is being closed is never ticked; the time-out box
    // is shown after the lock is let go (the thread still waits for it).
    bool TickOpenPage();
    // One pass of the poll thread, in this order of precedence: the pause
    // flag, the open parameter page's tick, then the view tick.
    void PollStep();
    // Set by the history writer while it writes a file: the poll thread then
    // skips its passes (nothing is sent, no time-out is counted).
    void SetPollPaused(bool bPaused) { m_bPollPaused.store(bPaused); }
    bool IsPollPaused() const { return m_bPollPaused.load(); }
    // Detection while it runs or a probe is outstanding, else the poll tick.
    void ViewTick();
    void PollTick();
    void DetectionStep();
    // Sends the request of m_nNextStep (nothing unless connected).
    void SendNextPoll();

    // --- UI thread: messages and commands ---
    void OnRegisterValue(platform::WPARAM wParam, platform::LPARAM lParam);
    void OnLinkLost(platform::WPARAM wParam, platform::LPARAM lParam);
    // Start of a detection (WM_START_DETECTION and its twin, the connect
    // command while no port is open): lists the ports and runs the dialog.
    void OnRescanPorts();
    // Connect command: closes the port while connected (the pane then says
    // "Dis-connected"), else detects.
    void OnConnectToggle();
    // The parameter page now open, or null when it closed. Takes the page
    // lock, so it returns only when no tick is inside the old page.
    void SetOpenPage(CInvComSet* pPage);
    bool IsPageOpen() const { return m_pPage.load() != nullptr; }
    // Set by the detection dialog while its window exists.
    void SetDetectionDialogAlive(bool bAlive) { m_bDetectDialogAlive.store(bAlive); }
    bool IsDetectionDialogAlive() const { return m_bDetectDialogAlive.load(); }
    // After the parameter dialog closed with a page read outstanding: its
    // values go on counting from the page's position.
    void SetValuePosition(int nPos) { m_nPos.store(nPos); }
    std::vector<std::string> PortNames() const;
    // The software version as "V%3.2f", read at connecting under protocol
    // type 0; empty before and from each detection on (any thread).
    std::string VersionText() const;
    std::string PortInUse() const;
    // UI thread: the serial number of the inverter found by the last
    // connection, as read then (the link's own until a connection read it).
    // A serial number written from the parameter page re-addresses the link
    // but names the same inverter, so this changes only on a new connection.
    SerialBytes ConnectedSerial() const;

    // --- state shared with the view (any thread) ---
    bool IsConnected() const { return m_bConnected.load(); }
    bool IsDetecting() const { return m_bDetecting.load(); }
    int PortIndex() const { return m_nPortIndex.load(); }
    bool IsFirstReplyPending() const { return m_bFirstReplyPending.load(); }
    bool IsVersionPending() const { return m_bVersionPending.load(); }
    int Pos() const { return m_nPos.load(); }           // position of the next value in the current reply
    int Step() const { return m_nStep.load(); }         // poll step in flight
    int NextStep() const { return m_nNextStep.load(); } // poll step sent next
    int MissedPolls() const { return m_nMissedPolls.load(); }
    // Connected already on a known link: for tests that skip detection.
    void SetConnected(bool bConnected) { m_bConnected.store(bConnected); }
    void SetFirstReplyPending(bool bPending) { m_bFirstReplyPending.store(bPending); }

private:
    void Pause(int ms);
    void PostLine(const std::string& line);
    void Status(const std::string& text);
    void OnProbeAnswered(std::uint16_t wValue);
    // The connecting serial-number reply is in: the inverter now polled.
    void NoteConnectedInverter();
    void OnPageValue(CInvComSet& page, platform::WPARAM wParam, platform::LPARAM lParam);
    void CountPollValue(std::uint16_t wValue);
    void EndDetectionWalk();
    // Sends the detection probe of protocol type `type`.
    void SendProbe(int type);
    // Closes and reopens the port in use; false when it could not be opened.
    bool ReopenPort();
    bool OpenPortInUse(const std::string& name);
    // The device under the port failed or went away since it was opened.
    bool PortDeviceFailed() const;

    std::atomic<bool> m_bConnected{false};
    std::atomic<bool> m_bDetecting{false};
    std::atomic<int> m_nPortIndex{0};
    std::atomic<bool> m_bFirstReplyPending{false};
    std::atomic<bool> m_bVersionPending{false};
    std::atomic<int> m_nConnectCount{0};
    std::atomic<int> m_nPos{0};
    std::atomic<int> m_nStep{0};
    std::atomic<int> m_nNextStep{0};
    std::atomic<int> m_nMissedPolls{0};
    bool m_bLinkLostShown = false; // UI thread only
    std::string m_strStatus;       // the pane's text as last set; UI thread only
    // The inverter polled since the last connection, as its serial-number
    // reply on connecting named it (UI thread only): a connection to another
    // one starts polling at its first step.
    struct SPolledInverter {
        int nProtocolType = -1;
        SerialBytes serial{};
        bool operator==(const SPolledInverter&) const = default;
    };
    std::optional<SPolledInverter> m_polled;

    platform::IMessageTarget& m_owner;
    CInverterCom m_link;
    SPowerViewHooks m_hooks;
    std::function<void(int)> m_pause;
    std::vector<std::string> m_portOverride; // set before the poll thread starts
    int m_nOnlyProbeType = -1;               // set before the poll thread starts

    std::atomic<bool> m_bDetectDialogAlive{false};
    std::atomic<bool> m_bPollPaused{false};

    std::mutex m_pageLock; // a tick against the page vs. its closing
    std::atomic<CInvComSet*> m_pPage{nullptr};

    mutable std::mutex m_versionLock;
    std::string m_strVersion; // under m_versionLock

    mutable std::mutex m_portLock; // the port list and the port in use
    std::vector<std::string> m_portNames;
    std::string m_strPortName;
    // Identity of the opened device (Linux: device number and inode of the
    // path), so that a device unplugged and back under the same name counts
    // as failed.
    std::uint64_t m_qwDeviceId = 0;
    std::uint64_t m_qwDeviceInode = 0;

    CPollThread m_pollThread; // last: stopped before anything above goes
};
