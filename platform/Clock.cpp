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

LocalDateTime SystemNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return LocalDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

} // namespace

LocalDateTime LocalNow() {
    std::function<LocalDateTime()> source;
    {
        std::lock_guard lock(Guard());
        source = Source();
    }
    return source ? source() : SystemNow();
}

void SetLocalClock(std::function<LocalDateTime()> source) {
    std::lock_guard lock(Guard());
    Source() = std::move(source);
}

} // namespace platform
