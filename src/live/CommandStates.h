#pragma once
#include <array>
#include <functional>

// Enable and check states of the power view's toolbar commands, computed
// from their inputs. Qt has no idle pass that asks each command for its
// state, so every change of an input recomputes them all and reports those
// that changed. UI thread only.
class CCommandStates {
public:
    static constexpr int ID_CONNECT = 32777;
    static constexpr int ID_PARAMETERS = 32778;
    static constexpr int ID_EXPORT = 32780;
    static constexpr int ID_CURSOR = 32782;
    static constexpr int ID_TRACKING = 32783;
    static constexpr int ID_TIME_SPAN = 32785;
    // Toolbar order, left to right.
    static constexpr std::array<int, 6> kCommands{ID_CONNECT,   ID_PARAMETERS, ID_EXPORT,
                                                  ID_TIME_SPAN, ID_CURSOR,     ID_TRACKING};

    struct SState {
        bool bEnabled = false;
        bool bChecked = false;
        bool operator==(const SState&) const = default;
    };
    using Listener = std::function<void(int nCommand, SState state)>;

    CCommandStates();

    // Called with each state that changes, in toolbar order.
    void SetListener(Listener listener) { m_listener = std::move(listener); }
    // Reports every state once, changed or not (a toolbar binding to it).
    void ReportAll() const;

    // --- inputs ---
    // A command whose handler is not wired is disabled, as the framework
    // disables a command nobody handles.
    void SetHandled(int nCommand, bool bHandled);
    // An inverter answers on the open port (cleared at once by a disconnect).
    void SetConnected(bool bConnected);
    // A user export's worker is running.
    void SetExporting(bool bExporting);
    // The chart shows its cursor read-out.
    void SetCursorOn(bool bOn);
    // The chart widens its range to follow new samples.
    void SetTrackingOn(bool bOn);

    SState State(int nCommand) const;

private:
    static int IndexOf(int nCommand);
    SState Compute(int nCommand) const;
    void Recompute();

    Listener m_listener;
    std::array<bool, kCommands.size()> m_bHandled{};
    std::array<SState, kCommands.size()> m_states{};
    bool m_bConnected = false;
    bool m_bExporting = false;
    bool m_bCursorOn = false;
    bool m_bTrackingOn = false;
};
