#pragma once
#include <cstdint>
#include <functional>

namespace platform {

using DWORD = std::uint32_t;

// Milliseconds since boot as a 32-bit counter that wraps after 49.7 days,
// like the Win32 call of the same name. Compare stamps only with the helpers
// below so the wrap changes nothing.
DWORD GetTickCount();

// Tests replace the tick source; an empty function restores the real clock.
void SetTickSource(std::function<DWORD()> source);

// Milliseconds from `earlier` to `later`, correct across the wrap.
inline DWORD TickDiff(DWORD later, DWORD earlier) { return later - earlier; }

// True when `a` lies after `b` (modular order: the difference read as signed).
inline bool TickAfter(DWORD a, DWORD b) { return static_cast<std::int32_t>(a - b) > 0; }

// A tick source a test drives by hand.
class CFakeTicks {
public:
    explicit CFakeTicks(DWORD start = 0);
    ~CFakeTicks();
    CFakeTicks(const CFakeTicks&) = delete;
    CFakeTicks& operator=(const CFakeTicks&) = delete;
    void Set(DWORD now);
    void Advance(DWORD ms);
    DWORD Now() const;

private:
    struct State;
    State* m_pState;
};

} // namespace platform
