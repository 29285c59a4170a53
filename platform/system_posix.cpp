#include "platform/Host.h"
#include "platform/System.h"

#include <ctime>
#include <system_error>

#include <unistd.h>

namespace platform {

std::filesystem::path ExecutableFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path();
    return exe.parent_path();
}

// The Linux package links the files into the shared folder instead (packaging/).
std::filesystem::path InstalledDataFolder() { return {}; }

std::chrono::steady_clock::time_point SystemSteadyNow() {
    timespec ts{};
    if (::clock_gettime(CLOCK_BOOTTIME, &ts) != 0) return std::chrono::steady_clock::now();
    return std::chrono::steady_clock::time_point(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec)));
}

LocalDateTime SystemLocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    LocalDateTime t{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    t.UtcOffsetMinutes = static_cast<int>(tm.tm_gmtoff / 60);
    return t;
}

std::string ComputerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::filesystem::path SystemFontFolder() { return {}; }

} // namespace platform
