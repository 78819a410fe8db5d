#include "service/SystemdNotifier.h"

#include <systemd/sd-daemon.h>

int CSystemdNotifier::WatchdogPeriodMs()
{
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return 0;
    return static_cast<int>(usec / 2000);
}

void CSystemdNotifier::Send(const std::string& text)
{
    (void)sd_notify(0, text.c_str());
}

void CSystemdNotifier::Ready(const std::string& status)
{
    Send("READY=1\nSTATUS=" + status);
}

void CSystemdNotifier::Stopping()
{
    Send("STOPPING=1\nSTATUS=stopping");
}

void CSystemdNotifier::BeatIfPolling(std::uint64_t qwPollPasses)
{
    // A poll thread that no longer passes gets no beat: the manager then
    // restarts the service.
    if (qwPollPasses == m_qwLastPasses)
        return;
    m_qwLastPasses = qwPollPasses;
    Send("WATCHDOG=1");
}

void CSystemdNotifier::OnLinkState(const SMonitorLinkState& state)
{
    const SMonitorInverter& inverter = state.inverter;
    if (state.bConnected)
        Send("STATUS=connected to " + inverter.strSerial + " on " + inverter.strPort + ", protocol type " +
             std::to_string(inverter.nProtocolType));
    else
        Send("STATUS=link lost, detecting again");
}
