#include "live/CommandStates.h"

#include <algorithm>

CCommandStates::CCommandStates()
{
    for (std::size_t i = 0; i < kCommands.size(); ++i)
        m_states[i] = Compute(kCommands[i]);
}

int CCommandStates::IndexOf(int nCommand)
{
    const auto* it = std::find(kCommands.begin(), kCommands.end(), nCommand);
    return it == kCommands.end() ? -1 : static_cast<int>(it - kCommands.begin());
}

CCommandStates::SState CCommandStates::Compute(int nCommand) const
{
    const int i = IndexOf(nCommand);
    if (i < 0)
        return {};
    SState state;
    switch (nCommand) {
    case ID_PARAMETERS:
        state.bEnabled = m_bConnected;
        break;
    case ID_EXPORT:
        // A second export must not start while one runs.
        state.bEnabled = m_bConnected && !m_bExporting;
        break;
    case ID_CURSOR:
        state.bEnabled = true;
        state.bChecked = m_bCursorOn;
        break;
    case ID_TRACKING:
        state.bEnabled = true;
        state.bChecked = m_bTrackingOn;
        break;
    default: // connect and time span: always available
        state.bEnabled = true;
        break;
    }
    state.bEnabled = state.bEnabled && m_bHandled[static_cast<std::size_t>(i)];
    return state;
}

void CCommandStates::Recompute()
{
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        const SState state = Compute(kCommands[i]);
        if (state == m_states[i])
            continue;
        m_states[i] = state;
        if (m_listener)
            m_listener(kCommands[i], state);
    }
}

void CCommandStates::ReportAll() const
{
    if (!m_listener)
        return;
    for (std::size_t i = 0; i < kCommands.size(); ++i)
        m_listener(kCommands[i], m_states[i]);
}

void CCommandStates::SetHandled(int nCommand, bool bHandled)
{
    const int i = IndexOf(nCommand);
    if (i < 0)
        return;
    m_bHandled[static_cast<std::size_t>(i)] = bHandled;
    Recompute();
}

void CCommandStates::SetConnected(bool bConnected)
{
    m_bConnected = bConnected;
    Recompute();
}

void CCommandStates::SetExporting(bool bExporting)
{
    m_bExporting = bExporting;
    Recompute();
}

void CCommandStates::SetCursorOn(bool bOn)
{
    m_bCursorOn = bOn;
    Recompute();
}

void CCommandStates::SetTrackingOn(bool bOn)
{
    m_bTrackingOn = bOn;
    Recompute();
}

CCommandStates::SState CCommandStates::State(int nCommand) const
{
    const int i = IndexOf(nCommand);
    return i < 0 ? SState{} : m_states[static_cast<std::size_t>(i)];
}
