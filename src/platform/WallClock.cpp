#include "platform/WallClock.h"

#include <atomic>
#include <ctime>
#include <memory>
#include <mutex>

namespace platform {
namespace {

std::mutex g_wallLock;
std::shared_ptr<std::function<std::int64_t()>> g_wall;

} // namespace

std::int64_t WallNow()
{
    std::shared_ptr<std::function<std::int64_t()>> source;
    {
        std::lock_guard<std::mutex> lock(g_wallLock);
        source = g_wall;
    }
    return source ? (*source)() : static_cast<std::int64_t>(std::time(nullptr));
}

LocalTime ToLocal(std::int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    LocalTime out;
    out.nYear = tm.tm_year + 1900;
    out.nMonth = tm.tm_mon + 1;
    out.nDay = tm.tm_mday;
    out.nHour = tm.tm_hour;
    out.nMinute = tm.tm_min;
    out.nSecond = tm.tm_sec;
    out.nDayOfWeek = tm.tm_wday;
    return out;
}

std::int64_t FromLocal(const LocalTime& t)
{
    std::tm tm{};
    tm.tm_year = t.nYear - 1900;
    tm.tm_mon = t.nMonth - 1;
    tm.tm_mday = t.nDay;
    tm.tm_hour = t.nHour;
    tm.tm_min = t.nMinute;
    tm.tm_sec = t.nSecond;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

std::int64_t FromLocal(int year, int month, int day, int hour, int minute, int second)
{
    LocalTime t;
    t.nYear = year;
    t.nMonth = month;
    t.nDay = day;
    t.nHour = hour;
    t.nMinute = minute;
    t.nSecond = second;
    return FromLocal(t);
}

void SetWallSource(std::function<std::int64_t()> source)
{
    std::lock_guard<std::mutex> lock(g_wallLock);
    g_wall = source ? std::make_shared<std::function<std::int64_t()>>(std::move(source)) : nullptr;
}

struct CFakeWallClock::State {
    std::atomic<std::int64_t> now;
};

CFakeWallClock::CFakeWallClock(std::int64_t start) : m_pState(new State{})
{
    m_pState->now = start;
    State* state = m_pState;
    SetWallSource([state] { return state->now.load(); });
}

CFakeWallClock::~CFakeWallClock()
{
    SetWallSource(nullptr);
    delete m_pState;
}

void CFakeWallClock::Set(std::int64_t seconds) { m_pState->now = seconds; }
void CFakeWallClock::Advance(std::int64_t seconds) { m_pState->now += seconds; }

} // namespace platform
