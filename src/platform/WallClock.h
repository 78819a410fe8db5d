#pragma once
#include <cstdint>
#include <functional>

namespace platform {

// Local calendar time broken down, as the program shows and names files by it.
struct LocalTime {
    int nYear = 1970;   // four digits
    int nMonth = 1;     // 1..12
    int nDay = 1;       // 1..31
    int nHour = 0;      // 0..23
    int nMinute = 0;    // 0..59
    int nSecond = 0;    // 0..59
    int nDayOfWeek = 4; // 0 = Sunday
};

// Seconds since the epoch (UTC), 64-bit.
std::int64_t WallNow();

// Local-time breakdown of an epoch second, and back.
LocalTime ToLocal(std::int64_t seconds);
std::int64_t FromLocal(const LocalTime& t);
// The epoch second of a local date and time given field by field.
std::int64_t FromLocal(int year, int month, int day, int hour, int minute, int second);

// Tests replace the wall clock; an empty function restores the real one.
void SetWallSource(std::function<std::int64_t()> source);

// A wall clock a test drives by hand; restores the real clock when destroyed.
class CFakeWallClock {
public:
    explicit CFakeWallClock(std::int64_t start);
    ~CFakeWallClock();
    CFakeWallClock(const CFakeWallClock&) = delete;
    CFakeWallClock& operator=(const CFakeWallClock&) = delete;
    void Set(std::int64_t seconds);
    void Advance(std::int64_t seconds);

private:
    struct State;
    State* m_pState;
};

} // namespace platform
