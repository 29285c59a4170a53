#pragma once
// What the portable parts of platform/ ask of the system, one implementation per system
// (system_posix.cpp, system_win32.cpp). Private to platform/.
#include "platform/Clock.h"

#include <filesystem>

namespace platform {

// The folder of the running executable (the current folder when it cannot be found).
std::filesystem::path ExecutableFolder();

// The folder the installed program keeps its settings and data in, when an installer has named
// one (Windows: HKLM\Software\Regulace teploty, value DataFolder); empty otherwise.
std::filesystem::path InstalledDataFolder();

// The monotonic clock that goes on while the computer is suspended: a unit that reported just
// before a suspend is old after it, however long the suspend was.
std::chrono::steady_clock::time_point SystemSteadyNow();

// The local date and time from the system's clock.
LocalDateTime SystemLocalNow();

} // namespace platform

namespace platform {

// Windows only (files_win32.cpp): the errno value that stands for a Win32 error code (the one
// place where file errors are translated, so callers above see the same errors on both systems).
int ErrnoFromWin32(unsigned long error);

// Windows only (files_win32.cpp): the Win32 handle (a HANDLE) behind a CRT descriptor, throwing
// std::system_error EBADF when there is none; and a CRT descriptor that takes the handle over and
// closes it with itself, throwing EMFILE (the handle closed) when the runtime has none left.
void* HandleOf(int fd);
int Descriptor(void* handle, int flags);

} // namespace platform
