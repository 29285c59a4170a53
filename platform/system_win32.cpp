#include "platform/Host.h"
#include "platform/System.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace platform {

std::filesystem::path ExecutableFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return std::filesystem::current_path();
        if (n < name.size()) {
            name.resize(n);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2); // cut short: a longer path
    }
}

std::filesystem::path InstalledDataFolder() {
    wchar_t folder[4096] = {};
    DWORD size = sizeof folder;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Regulace teploty", L"DataFolder", RRF_RT_REG_SZ, nullptr,
                       folder, &size) != ERROR_SUCCESS)
        return {};
    return std::filesystem::path(folder);
}

std::chrono::steady_clock::time_point SystemSteadyNow() {
    // The tick count goes on through a suspend (in milliseconds, which ages in seconds need).
    return std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::milliseconds(::GetTickCount64())));
}

LocalDateTime SystemLocalNow() {
    // The local and the universal time of one moment, so that the offset between them is exact.
    SYSTEMTIME utc{};
    ::GetSystemTime(&utc);
    SYSTEMTIME t{};
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &t)) ::GetLocalTime(&t);
    LocalDateTime local{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    FILETIME u{}, l{};
    ::SystemTimeToFileTime(&utc, &u);
    ::SystemTimeToFileTime(&t, &l);
    const auto ticks = [](const FILETIME& f) {
        return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
    };
    // 100 ns steps; rounded to whole minutes.
    const long long minutes = (ticks(l) - ticks(u) + (ticks(l) >= ticks(u) ? 300000000LL : -300000000LL)) / 600000000LL;
    local.UtcOffsetMinutes = static_cast<int>(minutes);
    return local;
}

std::string ComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size)) return {};
    return std::string(name, size);
}

std::filesystem::path SystemFontFolder() {
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return {};
    return std::filesystem::path(windows) / L"Fonts";
}

} // namespace platform
