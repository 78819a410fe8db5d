#include "platform/Tick.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <time.h>

namespace platform {
namespace {

std::mutex g_sourceLock;
std::shared_ptr<std::function<DWORD()>> g_source;

DWORD BootTicks()
{
    timespec ts{};
#ifdef CLOCK_BOOTTIME
    clock_gettime(CLOCK_BOOTTIME, &ts); // counts suspend time, like GetTickCount
#else
    clock_gettime(CLOCK_MONOTONIC, &ts);
#endif
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

} // namespace

DWORD GetTickCount()
{
    std::shared_ptr<std::function<DWORD()>> source;
    {
        std::lock_guard<std::mutex> lock(g_sourceLock);
        source = g_source;
    }
    return source ? (*source)() : BootTicks();
}

void SetTickSource(std::function<DWORD()> source)
{
    std::lock_guard<std::mutex> lock(g_sourceLock);
    g_source = source ? std::make_shared<std::function<DWORD()>>(std::move(source)) : nullptr;
}

struct CFakeTicks::State {
    std::atomic<DWORD> now;
};

CFakeTicks::CFakeTicks(DWORD start) : m_pState(new State{})
{
    m_pState->now = start;
    State* state = m_pState;
    SetTickSource([state] { return state->now.load(); });
}

CFakeTicks::~CFakeTicks()
{
    SetTickSource(nullptr);
    delete m_pState;
}

void CFakeTicks::Set(DWORD now) { m_pState->now = now; }
void CFakeTicks::Advance(DWORD ms) { m_pState->now += ms; }
DWORD CFakeTicks::Now() const { return m_pState->now.load(); }

} // namespace platform
