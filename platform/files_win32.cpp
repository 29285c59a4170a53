// The file services and the open rule (Files.h) over Win32: CreateFileW on the path's own wide
// name, WriteFile, FlushFileBuffers, ReplaceFileW / MoveFileExW. The callers hold CRT descriptors
// (the same int as on Linux); each wraps a Win32 handle. Failures carry the errno value that
// stands for the system's error (the one translation is ErrnoFromWin32).
//
// The open rule on Windows: only a disk file is opened (a device, a pipe or a folder in its place
// is refused); symbolic links are left to the system, since making one takes an administrator (or
// developer mode), so no operator can put one in the shared folder. Who may replace or write a
// file is the folder's access list (the installer opens the data folder to the Users group).
#include "platform/FileIo.h"
#include "platform/Files.h"
#include "platform/System.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
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

using fileio::Fail;

[[noreturn]] void FailWin32(const char* what) {
    Fail(ErrnoFromWin32(::GetLastError()), what);
}

// Every file is shared for reading, writing and deleting, as POSIX files are: a reader, a second
// appender or the replacement of the settings file never finds it locked.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const std::filesystem::path& file, DWORD access, DWORD disposition) {
    return ::CreateFileW(file.c_str(), access, ShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

[[noreturn]] void Refuse(FileRefusal why) {
    throw std::system_error(make_error_code(why));
}

DWORD AccessOf(FileAccess access) {
    switch (access) {
    case FileAccess::Read:
        return GENERIC_READ;
    case FileAccess::Write:
        return GENERIC_WRITE;
    case FileAccess::ReadWrite:
        return GENERIC_READ | GENERIC_WRITE;
    case FileAccess::Append:
        return FILE_APPEND_DATA | SYNCHRONIZE; // every write lands at the end, whoever else appends
    }
    return GENERIC_READ;
}

int FlagsOf(FileAccess access) {
    switch (access) {
    case FileAccess::Read:
        return _O_RDONLY;
    case FileAccess::Write:
        return _O_WRONLY;
    case FileAccess::ReadWrite:
        return _O_RDWR;
    case FileAccess::Append:
        return _O_WRONLY | _O_APPEND;
    }
    return _O_RDONLY;
}

bool IsFolder(const std::filesystem::path& p) {
    const DWORD a = ::GetFileAttributesW(p.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

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

void CreateDirectoryLevel(const std::filesystem::path& dir) {
    if (::CreateDirectoryW(dir.c_str(), nullptr)) return;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && IsFolder(dir)) return;
    Fail(error == ERROR_ALREADY_EXISTS ? ENOTDIR : ErrnoFromWin32(error), "mkdir");
}

std::filesystem::path FollowLinks(const std::filesystem::path& file) {
    return file; // the system follows them (see above)
}

int OpenFile(const std::filesystem::path& file, FileAccess access) {
    const HANDLE h = Open(file, AccessOf(access), OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A folder cannot be opened as a file: it is no regular file.
        if (error == ERROR_ACCESS_DENIED && IsFolder(file)) Refuse(FileRefusal::NotRegularFile);
        Fail(ErrnoFromWin32(error), "open");
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        Refuse(FileRefusal::NotRegularFile);
    }
    return Descriptor(h, FlagsOf(access));
}

bool ReplacementRefused(const std::filesystem::path&) {
    return false; // the folder's access list decides, and a refused replacement is written in place
}

int CreateNewFile(const std::filesystem::path& file, bool /*secret*/) {
    // A new file takes the folder's inherited access list: in the installed program's data
    // folder, the Users group's (which also decides who reads the settings' password).
    const HANDLE h = Open(file, GENERIC_WRITE, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) FailWin32("open");
    return Descriptor(h, _O_WRONLY);
}

int OpenOrCreateForAppend(const std::filesystem::path& file) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        try {
            return OpenFile(file, FileAccess::Append);
        } catch (const std::system_error& e) {
            if (e.code() != std::errc::no_such_file_or_directory) throw;
        }
        const HANDLE h = Open(file, AccessOf(FileAccess::Append), CREATE_NEW);
        if (h != INVALID_HANDLE_VALUE) return Descriptor(h, FlagsOf(FileAccess::Append));
        if (::GetLastError() != ERROR_FILE_EXISTS) FailWin32("open"); // made meanwhile: open that
    }
    Fail(EEXIST, "open");
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

void CloseFile(int fd) {
    if (::_close(fd) != 0) Fail(errno, "close");
}

char LastByte(int fd) {
    const HANDLE h = HandleOf(fd);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h, &size)) FailWin32("stat");
    if (size.QuadPart <= 0) return '\0';
    OVERLAPPED at{};
    const auto offset = static_cast<unsigned long long>(size.QuadPart - 1);
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    char last = '\0';
    DWORD n = 0;
    if (!::ReadFile(h, &last, 1, &n, &at)) FailWin32("read");
    if (n != 1) Fail(EIO, "read");
    return last;
}

void FlushFolderOf(const std::filesystem::path&) {
    // The file system journals a rename itself (MOVEFILE_WRITE_THROUGH waits for it); a folder
    // cannot be flushed without administrator rights.
}

namespace fileio {

bool Exists(const std::filesystem::path& file) noexcept {
    return ::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Remove(const std::filesystem::path& file) noexcept {
    (void)::DeleteFileW(file.c_str());
}

std::size_t Read(int fd, char* data, std::size_t size) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD n = 0;
    if (!::ReadFile(HandleOf(fd), data, piece, &n, nullptr)) FailWin32("read");
    return n;
}

void Flush(int fd) {
    if (!::FlushFileBuffers(HandleOf(fd))) FailWin32("flush");
}

void Truncate(int fd, std::uint64_t size) {
    const HANDLE h = HandleOf(fd);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) || !::SetEndOfFile(h)) FailWin32("truncate");
}

Renamed RenameOver(const std::filesystem::path& temp, const std::filesystem::path& file, bool exists) {
    // ReplaceFileW keeps the old file's permissions and attributes; a file that is not there yet
    // is simply moved into place. Both are one step on the disk.
    if (exists && ::ReplaceFileW(file.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                 nullptr, nullptr))
        return {};
    if (::MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    const DWORD error = ::GetLastError();
    return {ErrnoFromWin32(error), error == ERROR_ACCESS_DENIED};
}

} // namespace fileio

} // namespace platform
