#pragma once
// Stand-in for the operating system's local date and time. The program asks this seam for the
// time, so that tests can pick it.
#include <chrono>
#include <functional>

namespace platform {

struct LocalDateTime {
    int Year = 2000;  // four digits
    int Month = 1;    // 1..12
    int Day = 1;      // 1..31
    int Hour = 0;     // 0..23
    int Minute = 0;   // 0..59
    int Second = 0;   // 0..60
    int UtcOffsetMinutes = 0; // how far the local time is ahead of UTC (CET: 60, CEST: 120; the
                              // system's zone at that moment, daylight saving included)
};

// The current local date and time, from the system clock unless a test has set another source.
LocalDateTime LocalNow();

// Replaces the source of LocalNow for the rest of the process; an empty function returns to the
// system clock.
void SetLocalClock(std::function<LocalDateTime()> source);

// Wall-clock time (seconds since the epoch): for times that must survive the program, such as
// how long the program was away. A test may set another source; an empty one returns to the system.
std::chrono::system_clock::time_point WallNow();
void SetWallClock(std::function<std::chrono::system_clock::time_point()> source);

// Monotonic time: for ages and timeouts while the program runs (never jumps with the wall clock,
// and counts the time the computer was suspended). A test may set another source; an empty one
// returns to the system's clock.
std::chrono::steady_clock::time_point SteadyNow();
void SetSteadyClock(std::function<std::chrono::steady_clock::time_point()> source);

} // namespace platform
