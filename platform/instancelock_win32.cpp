// One copy per installation on Windows: an exclusive byte-range lock (LockFileEx) on the lock
// file, which the system releases when the process ends in any way.
#include "platform/InstanceLock.h"
#include "platform/System.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <system_error>

namespace platform {
namespace {

[[noreturn]] void Fail(int error, const std::filesystem::path& file) {
    throw std::system_error(error, std::generic_category(), file.string());
}

} // namespace

TInstanceLock::~TInstanceLock() {
    if (fd_ >= 0) ::_close(fd_);
}

TInstanceLock::Result TInstanceLock::Acquire(const std::filesystem::path& file) {
    // A link in the file's place is opened as itself and refused below, never followed.
    const HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail(ErrnoFromWin32(::GetLastError()), file);
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        ::CloseHandle(h);
        Fail(EINVAL, file);
    }
    OVERLAPPED at{};
    if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(h);
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return Result::Busy;
        Fail(ErrnoFromWin32(error), file);
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY);
    if (fd < 0) {
        ::CloseHandle(h);
        Fail(EMFILE, file);
    }
    if (fd_ >= 0) ::_close(fd_);
    fd_ = fd;
    return Result::Held;
}

} // namespace platform
