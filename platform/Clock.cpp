#include "platform/Clock.h"

#include <ctime>
#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex& Guard() {
    static std::mutex m;
    return m;
}

std::function<LocalDateTime()>& Source() {
    static std::function<LocalDateTime()> f;
    return f;
}

std::function<std::chrono::system_clock::time_point()>& WallSource() {
    static std::function<std::chrono::system_clock::time_point()> f;
    return f;
}

std::function<std::chrono::steady_clock::time_point()>& SteadySource() {
    static std::function<std::chrono::steady_clock::time_point()> f;
    return f;
}

// A copy of a clock's source, or a new source for it; the copy is called outside the lock.
template <class F> F Current(F& source) {
    std::lock_guard lock(Guard());
    return source;
}
template <class F> void Replace(F& source, F next) {
    std::lock_guard lock(Guard());
    source = std::move(next);
}

LocalDateTime SystemNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    LocalDateTime t{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    t.UtcOffsetMinutes = static_cast<int>(tm.tm_gmtoff / 60);
    return t;
}

} // namespace

LocalDateTime LocalNow() {
    const auto source = Current(Source());
    return source ? source() : SystemNow();
}

void SetLocalClock(std::function<LocalDateTime()> source) {
    Replace(Source(), std::move(source));
}

std::chrono::system_clock::time_point WallNow() {
    const auto source = Current(WallSource());
    return source ? source() : std::chrono::system_clock::now();
}

void SetWallClock(std::function<std::chrono::system_clock::time_point()> source) {
    Replace(WallSource(), std::move(source));
}

namespace {

// The monotonic clock that goes on while the computer is suspended: a unit that reported just
// before a suspend is old after it, however long the suspend was.
std::chrono::steady_clock::time_point SystemSteadyNow() {
    timespec ts{};
    if (::clock_gettime(CLOCK_BOOTTIME, &ts) != 0) return std::chrono::steady_clock::now();
    return std::chrono::steady_clock::time_point(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec)));
}

} // namespace

std::chrono::steady_clock::time_point SteadyNow() {
    const auto source = Current(SteadySource());
    return source ? source() : SystemSteadyNow();
}

void SetSteadyClock(std::function<std::chrono::steady_clock::time_point()> source) {
    Replace(SteadySource(), std::move(source));
}

} // namespace platform
