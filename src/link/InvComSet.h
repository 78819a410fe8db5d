#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/MessageTarget.h"

class CInverterCom;

// Request modes of a parameter page.
constexpr int kModeCyclicRead = 0;
constexpr int kModeWriteSequence = 1;
constexpr int kModeClearEnergy = 2;
constexpr int kModeSelfTest = 6;

// The mix-in through which the poll thread and the power view drive a
// parameter page: the poll thread ticks it every 200 ms (pacing, time-out,
// resend), the view hands it every received value (counting). The page
// supplies the requests and shows the values.
//
// The counters are written by the poll thread and the UI thread without a
// lock, each a single word; they are atomics for that reason.
class CInvComSet {
public:
    // Shown when a request stays unanswered (exact text of the program).
    static constexpr const char* kTimeOutText =
        "Time out. Not recieved a respond message from COM serail port during 5000ms!\n"
        " maybe connection line released, serial no not correct or machine reset!";

    CInvComSet() = default;
    virtual ~CInvComSet() = default;
    CInvComSet(const CInvComSet&) = delete;
    CInvComSet& operator=(const CInvComSet&) = delete;

    // One register value of the outstanding request (UI thread). This
    // implementation carries the counting rules; a page that overrides it
    // adds its own work and calls it.
    virtual void OnRegisterValue(platform::WPARAM wParam, platform::LPARAM lParam);
    // The 200 ms tick (poll thread). Touches no window, so it is harmless
    // before the page's window exists and after it is gone. Returns true
    // when the requests have just been stopped by a time-out: the caller
    // shows the time-out box (and waits for it) once it has let go of the
    // page.
    virtual bool OnTick();
    // The text of the time-out box; a page may add what the operator does next.
    virtual std::string TimeOutText() const { return kTimeOutText; }
    // Shows or stores one value of a cyclic read (mode 0).
    virtual void DisplayRegisterValue(int nRegister, platform::WPARAM wParam, std::uint16_t wValue) = 0;
    // Sends the request that belongs to m_nMode (and m_nBlock / m_nRepeat).
    virtual void SendRequest() = 0;
    virtual void EnableCommands(bool bEnable) = 0;

    // A page button: the next idle tick sends the command of `mode`.
    void StartCommand(int nMode, int nRepeatCount = 0);
    // Lets a page whose requests were stopped by the time-out run again.
    void RestartRequests();
    bool IsStopped() const { return m_nElapsed.load() == -1; }

    // The link the page's requests go through; set before the first tick.
    CInverterCom* Link() const { return m_pLink; }
    void SetLink(CInverterCom* pLink) { m_pLink = pLink; }

    // Counters of the request cycle (any thread).
    int ValueCount() const { return m_nValueCount.load(); }
    int Mode() const { return m_nMode.load(); }
    int NextMode() const { return m_nNextMode.load(); }
    int WaitTotal() const { return m_nWaitTotal.load(); }
    int Block() const { return m_nBlock.load(); }
    int BlockCount() const { return m_nBlockCount.load(); }
    // The page's read cycle has this many blocks.
    void SetBlockCount(int nCount) { m_nBlockCount.store(nCount); }
    int Repeat() const { return m_nRepeat.load(); }
    int RepeatCount() const { return m_nRepeatCount.load(); }
    int Elapsed() const { return m_nElapsed.load(); } // ms since the request; -1: requests stopped
    int Idle() const { return m_nIdle.load(); }       // ms since the link became idle
    // For tests that start the cycle at a given point of the idle pause.
    void SetIdle(int ms) { m_nIdle.store(ms); }

private:
    void FinishCommand();
    void TakeNextModeWhenIdle();

    CInverterCom* m_pLink = nullptr; // not owned
    std::atomic<int> m_nValueCount{0};
    std::atomic<int> m_nMode{kModeCyclicRead};
    std::atomic<int> m_nNextMode{kModeCyclicRead};
    std::atomic<int> m_nWaitTotal{0};
    std::atomic<int> m_nBlock{0};
    std::atomic<int> m_nBlockCount{1};
    std::atomic<int> m_nRepeat{0};
    std::atomic<int> m_nRepeatCount{0};
    std::atomic<int> m_nElapsed{0};
    std::atomic<int> m_nIdle{0};
};
