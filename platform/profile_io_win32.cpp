// The profile service's file operations over Win32 files (opened under the open rule of Files.h).
// The settings file is replaced with ReplaceFileW, which keeps the old file's permissions (the
// access list the installer gave it); a file with other hard links, or one in a folder the
// operator may not create files in, is written in place instead.
#include "platform/FileIo.h"
#include "platform/Files.h"
#include "platform/ProfileIo.h"
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

namespace platform::profileio {

struct FileFacts {
    DWORD Links = 1;
};

void FileFactsDeleter::operator()(FileFacts* facts) const { delete facts; }

namespace {

[[noreturn]] void Fail(int error, const char* what) { throw std::system_error(error, std::generic_category(), what); }
[[noreturn]] void FailWin32(const char* what) { Fail(ErrnoFromWin32(::GetLastError()), what); }

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() { Close(fd); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

void WriteInPlace(const std::filesystem::path& target, const std::function<void(int)>& fill) {
    Fd content(MemoryFile());
    fill(content.fd);
    const std::uint64_t size = SizeOf(content.fd);
    Fd out(OpenFile(target, FileAccess::Write));
    const HANDLE h = HandleOf(out.fd);
    CopyRange(content.fd, out.fd, 0, size);
    if (!::SetEndOfFile(h)) FailWin32("truncate");
    if (!::FlushFileBuffers(h)) FailWin32("flush");
}

} // namespace

Facts FactsOf(int fd) {
    Facts f(new FileFacts);
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(HandleOf(fd), &info)) f->Links = info.nNumberOfLinks;
    return f;
}

std::size_t ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset) {
    // A read at an offset moves the file position on Windows; callers rewind before reading in
    // order.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    if (!::ReadFile(HandleOf(fd), data, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &n, &at)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
        FailWin32("read");
    }
    return n;
}

void WriteAll(int fd, const char* data, std::size_t size) {
    const HANDLE h = HandleOf(fd);
    while (size > 0) {
        DWORD n = 0;
        if (!::WriteFile(h, data, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &n, nullptr))
            FailWin32("write");
        if (n == 0) Fail(EIO, "write");
        data += n;
        size -= n;
    }
}

void Rewind(int fd) {
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(HandleOf(fd), zero, nullptr, FILE_BEGIN)) FailWin32("seek");
}

std::uint64_t SizeOf(int fd) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(HandleOf(fd), &size)) FailWin32("stat");
    return static_cast<std::uint64_t>(size.QuadPart);
}

int MemoryFile() {
    // A temporary file that the system keeps in memory where it can and removes when closed.
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0 || ::GetTempFileNameW(folder, L"ini", 0, name) == 0)
        FailWin32("temporary file");
    const HANDLE h = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(name);
        Fail(ErrnoFromWin32(error), "temporary file");
    }
    return Descriptor(h, _O_RDWR);
}

void Close(int fd) noexcept {
    if (fd >= 0) ::_close(fd);
}

long ProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

bool ProcessGone(long pid) {
    const HANDLE p = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!p) return ::GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    const bool ended = ::WaitForSingleObject(p, 0) == WAIT_OBJECT_0;
    ::CloseHandle(p);
    return ended;
}

void ReplaceWith(const std::filesystem::path& target, const FileFacts* facts, const std::function<void(int)>& fill) {
    RemoveLeftoversOf(target);
    if (facts && facts->Links > 1) {
        WriteInPlace(target, fill);
        return;
    }
    std::filesystem::path tempName;
    const int temp = CreateTemporary(target, tempName);
    if (temp < 0) {
        const int error = errno;
        if (facts && error == EACCES) {
            WriteInPlace(target, fill);
            return;
        }
        Fail(error, "create");
    }
    try {
        try {
            fill(temp);
            if (!::FlushFileBuffers(HandleOf(temp))) FailWin32("flush");
        } catch (...) {
            Close(temp);
            throw;
        }
        if (::_close(temp) != 0) Fail(errno, "close");
        // ReplaceFileW keeps the old file's access list and attributes; a new file is moved in.
        if (!(facts && ::ReplaceFileW(target.c_str(), tempName.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                      nullptr, nullptr)) &&
            !::MoveFileExW(tempName.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            FailWin32("rename");
    } catch (...) {
        fileio::Remove(tempName);
        throw;
    }
}

} // namespace platform::profileio
