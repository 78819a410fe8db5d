#pragma once
#include <cstdint>
#include <string>

#include "model/MonitorOutput.h"

// The service manager's side: READY once the ports are listed, STATUS with
// the link state, WATCHDOG while the poll loop runs. Without systemd (no
// NOTIFY_SOCKET) every call does nothing. Data-path thread.
class CSystemdNotifier : public IMonitorOutput {
public:
    // Half the watchdog's interval when the manager asks for one, else 0.
    static int WatchdogPeriodMs();

    void Ready(const std::string& status);
    void Stopping();
    // Sends WATCHDOG=1 when the poll loop made passes since the last call.
    void BeatIfPolling(std::uint64_t qwPollPasses);

    void OnReading(const SMonitorReading&) override {}
    void OnLinkState(const SMonitorLinkState& state) override;

private:
    static void Send(const std::string& text);
    std::uint64_t m_qwLastPasses = 0;
};
