#pragma once
// Stand-in for the operating system's local date and time. The program asks this seam for the
// time, so that tests can pick it.
#include <functional>

namespace platform {

struct LocalDateTime {
    int Year = 2000;  // four digits
    int Month = 1;    // 1..12
    int Day = 1;      // 1..31
    int Hour = 0;     // 0..23
    int Minute = 0;   // 0..59
    int Second = 0;   // 0..60
};

// The current local date and time, from the system clock unless a test has set another source.
LocalDateTime LocalNow();

// Replaces the source of LocalNow for the rest of the process; an empty function returns to the
// system clock.
void SetLocalClock(std::function<LocalDateTime()> source);

} // namespace platform
