// The file services over Win32: CreateFileW on the path's own wide name, WriteFile,
// FlushFileBuffers, ReplaceFileW / MoveFileExW. The callers hold CRT descriptors (the same int as
// on Linux); each wraps a Win32 handle. Failures carry the errno value that stands for the
// system's error (the one translation is ErrnoFromWin32).
#include "platform/Files.h"
#include "platform/System.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Our ReplaceFile is no alias of the system's.
#undef ReplaceFile

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <system_error>

namespace platform {

int ErrnoFromWin32(unsigned long error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:
        return EIO;
    }
}

namespace {

[[noreturn]] void Fail(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}
[[noreturn]] void FailWin32(const char* what) {
    Fail(ErrnoFromWin32(::GetLastError()), what);
}

// Every file is shared for reading, writing and deleting, as POSIX files are: a reader, a second
// appender or the replacement of the settings file never finds it locked.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const std::filesystem::path& file, DWORD access, DWORD disposition) {
    return ::CreateFileW(file.c_str(), access, ShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Hands the handle to the C runtime, which closes it with the descriptor.
int Descriptor(HANDLE h, int flags) {
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(h);
        Fail(EMFILE, "open");
    }
    return fd;
}

HANDLE HandleOf(int fd) {
    const intptr_t h = ::_get_osfhandle(fd);
    if (h == -1) Fail(EBADF, "handle");
    return reinterpret_cast<HANDLE>(h);
}

bool IsFolder(const std::filesystem::path& p) {
    const DWORD a = ::GetFileAttributesW(p.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

void CreateDirectoryLevel(const std::filesystem::path& dir) {
    if (::CreateDirectoryW(dir.c_str(), nullptr)) return;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && IsFolder(dir)) return;
    Fail(error == ERROR_ALREADY_EXISTS ? ENOTDIR : ErrnoFromWin32(error), "mkdir");
}

int CreateNewFile(const std::filesystem::path& file) {
    const HANDLE h = Open(file, GENERIC_WRITE, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) FailWin32("open");
    return Descriptor(h, _O_WRONLY);
}

int OpenForAppend(const std::filesystem::path& file) {
    // Append access only: every write lands at the end, whoever else appends.
    const HANDLE h = Open(file, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) FailWin32("open");
    return Descriptor(h, _O_WRONLY | _O_APPEND);
}

int OpenOrCreateForAppend(const std::filesystem::path& file) {
    // A new file takes the folder's inherited permissions: in the installed program's data
    // folder every operator may write it.
    const HANDLE h = Open(file, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) FailWin32("open");
    return Descriptor(h, _O_WRONLY | _O_APPEND);
}

void WriteAll(int fd, std::string_view bytes) {
    const HANDLE h = HandleOf(fd);
    while (!bytes.empty()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data(), piece, &written, nullptr)) FailWin32("write");
        if (written == 0) Fail(EIO, "write");
        bytes.remove_prefix(written);
    }
}

void WriteAllPieces(int fd, const std::vector<std::string_view>& pieces) {
    // One write of all pieces: they reach the file together.
    std::string all;
    for (std::string_view p : pieces) all += p;
    WriteAll(fd, all);
}

void WriteAllAndClose(int fd, std::string_view bytes) {
    try {
        WriteAll(fd, bytes);
    } catch (...) {
        try {
            CloseFile(fd);
        } catch (...) {
        }
        throw;
    }
    CloseFile(fd);
}

void CloseFile(int fd) {
    if (::_close(fd) != 0) Fail(errno, "close");
}

void ReplaceFile(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::path temp = file;
    temp += ".tmp";
    (void)::DeleteFileW(temp.c_str());
    const int fd = CreateNewFile(temp);
    try {
        try {
            WriteAll(fd, bytes);
            if (!::FlushFileBuffers(HandleOf(fd))) FailWin32("flush");
        } catch (...) {
            (void)::_close(fd);
            throw;
        }
        CloseFile(fd);
    } catch (...) {
        (void)::DeleteFileW(temp.c_str());
        throw;
    }
    // ReplaceFileW keeps the old file's permissions and attributes; a file that is not there yet
    // is simply moved into place. Both are one step on the disk.
    if (!::ReplaceFileW(file.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) &&
        !::MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        (void)::DeleteFileW(temp.c_str());
        Fail(ErrnoFromWin32(error), "rename");
    }
}

void FlushFolderOf(const std::filesystem::path&) {
    // The file system journals a rename itself (MOVEFILE_WRITE_THROUGH waits for it); a folder
    // cannot be flushed without administrator rights.
}

std::string ReadSmallFile(const std::filesystem::path& file, std::size_t limit) {
    const HANDLE h = Open(file, GENERIC_READ, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A folder cannot be opened as a file: it is no regular file.
        if (error == ERROR_ACCESS_DENIED && IsFolder(file)) Fail(EINVAL, "not a file");
        Fail(ErrnoFromWin32(error), "open");
    }
    struct Closer {
        HANDLE h;
        ~Closer() { ::CloseHandle(h); }
    } closer{h};
    if (::GetFileType(h) != FILE_TYPE_DISK) Fail(EINVAL, "not a file");
    std::string text;
    char buf[4096];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) FailWin32("read");
        if (n == 0) break;
        if (text.size() + n > limit) Fail(EFBIG, "read");
        text.append(buf, n);
    }
    return text;
}

} // namespace platform
