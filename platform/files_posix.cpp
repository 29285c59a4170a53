// The file services and the open rule (Files.h) over POSIX files.
#include "platform/Files.h"
#include "platform/FileIo.h"

#include <algorithm>
#include <climits>
#include <string>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <sys/uio.h>
#include <unistd.h>

namespace platform {
namespace {

using fileio::Fail;

[[noreturn]] void Refuse(FileRefusal why) {
    throw std::system_error(make_error_code(why));
}

std::filesystem::path FolderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// A folder others than the operator may write: its group or everybody may, or it belongs to a
// user other than root and the operator.
bool OthersMayWrite(const struct stat& folder) {
    return (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 ||
           (folder.st_uid != 0 && folder.st_uid != ::geteuid());
}

// A link the rule lets the operator follow: root's or the operator's own, or any in a folder
// only the operator (and root) may write.
bool MayFollow(const std::filesystem::path& link, const struct stat& st) {
    if (st.st_uid == 0 || st.st_uid == ::geteuid()) return true;
    struct stat folder {};
    return ::stat(FolderOf(link).c_str(), &folder) == 0 && !OthersMayWrite(folder);
}

std::filesystem::path ReadLink(const std::filesystem::path& link) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
        if (n < 0) Fail(errno, "readlink");
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

int OpenFlags(FileAccess access) {
    switch (access) {
    case FileAccess::Read:
        return O_RDONLY;
    case FileAccess::Write:
        return O_WRONLY;
    case FileAccess::ReadWrite:
        return O_RDWR;
    case FileAccess::Append:
        return O_WRONLY | O_APPEND;
    }
    return O_RDONLY;
}

// A new file in a set-group-ID folder belongs to the folder's group: that group may read and
// write it. A secret file gives nothing to others.
void ShareWithFolderGroup(int fd, const std::filesystem::path& file, bool secret) {
    struct stat folder {};
    struct stat own {};
    if (::fstat(fd, &own) != 0) return;
    mode_t mode = own.st_mode & 07777;
    if (::stat(FolderOf(file).c_str(), &folder) == 0 && (folder.st_mode & S_ISGID) != 0)
        mode |= S_IRGRP | S_IWGRP;
    if (secret) mode &= ~static_cast<mode_t>(S_IRWXO);
    if (mode != (own.st_mode & 07777)) (void)::fchmod(fd, mode);
}

// The attempts at an open whose file is being swapped under it (a link put in its place after
// the look): it is looked at again, a few times.
constexpr int OpenAttempts = 8;

} // namespace

std::filesystem::path FollowLinks(const std::filesystem::path& file) {
    std::filesystem::path at = file;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        if (!MayFollow(at, st)) Refuse(FileRefusal::ForeignLink);
        const std::filesystem::path to = ReadLink(at);
        at = to.is_absolute() ? to : FolderOf(at) / to;
    }
    Fail(ELOOP, "open");
}

int OpenFile(const std::filesystem::path& file, FileAccess access) {
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        const std::filesystem::path target = FollowLinks(file);
        // Nothing but a regular file is even opened: opening a device may already do something.
        struct stat before {};
        if (::lstat(target.c_str(), &before) == 0 && !S_ISREG(before.st_mode) && !S_ISLNK(before.st_mode))
            Refuse(FileRefusal::NotRegularFile);
        const int fd =
            ::open(target.c_str(), OpenFlags(access) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EINTR || error == ELOOP) continue; // a link put there meanwhile: look again
            struct stat now {};
            if (::lstat(target.c_str(), &now) == 0 && !S_ISREG(now.st_mode) && !S_ISLNK(now.st_mode))
                Refuse(FileRefusal::NotRegularFile); // a FIFO without a reader says ENXIO
            Fail(error, "open");
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            const int error = errno;
            (void)::close(fd);
            Fail(error, "stat");
        }
        if (!S_ISREG(st.st_mode)) {
            (void)::close(fd);
            Refuse(FileRefusal::NotRegularFile);
        }
        return fd;
    }
    Fail(ELOOP, "open");
}

bool ReplacementRefused(const std::filesystem::path& file) {
    const uid_t me = ::geteuid();
    if (me == 0) return false;
    struct stat st {};
    struct stat folder {};
    return ::lstat(file.c_str(), &st) == 0 && st.st_uid != me &&
           ::stat(FolderOf(file).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
           folder.st_uid != me;
}

void CreateDirectoryLevel(const std::filesystem::path& dir) {
    if (::mkdir(dir.c_str(), 0777) == 0) return;
    const int error = errno;
    struct stat st {};
    if (error == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
    Fail(error == EEXIST ? ENOTDIR : error, "mkdir");
}

int CreateNewFile(const std::filesystem::path& file, bool secret) {
    for (;;) {
        const int fd =
            ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, secret ? 0660 : 0666);
        if (fd >= 0) {
            ShareWithFolderGroup(fd, file, secret);
            return fd;
        }
        if (errno != EINTR) Fail(errno, "open");
    }
}

int OpenOrCreateForAppend(const std::filesystem::path& file) {
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        try {
            return OpenFile(file, FileAccess::Append);
        } catch (const std::system_error& e) {
            if (e.code() != std::errc::no_such_file_or_directory) throw;
        }
        // Missing (or a link, root's or the operator's, to a file not made yet): made where it
        // is named.
        const std::filesystem::path target = FollowLinks(file);
        const int fd =
            ::open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ShareWithFolderGroup(fd, target, false);
            return fd;
        }
        if (errno != EINTR && errno != EEXIST)
            Fail(errno, "open"); // made meanwhile by someone else: open that
    }
    Fail(EEXIST, "open");
}

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno, "write");
        }
        if (n == 0) Fail(EIO, "write");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void WriteAllPieces(int fd, const std::vector<std::string_view>& pieces) {
    std::vector<iovec> iov;
    iov.reserve(pieces.size());
    for (std::string_view p : pieces) {
        if (!p.empty()) iov.push_back({const_cast<char*>(p.data()), p.size()});
    }
    std::size_t first = 0;
    while (first < iov.size()) {
        const int count = static_cast<int>(std::min<std::size_t>(iov.size() - first, IOV_MAX));
        const ssize_t n = ::writev(fd, iov.data() + first, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno, "write");
        }
        if (n == 0) Fail(EIO, "write");
        // A partial write: skip what went out and go on with the rest.
        auto left = static_cast<std::size_t>(n);
        while (first < iov.size() && left >= iov[first].iov_len) {
            left -= iov[first].iov_len;
            ++first;
        }
        if (left > 0) {
            iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + left;
            iov[first].iov_len -= left;
        }
    }
}

void CloseFile(int fd) {
    // A close interrupted by a signal has released the descriptor on Linux: never retry it.
    if (::close(fd) != 0 && errno != EINTR) Fail(errno, "close");
}

char LastByte(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) Fail(errno, "stat");
    if (st.st_size <= 0) return '\0';
    char last = '\0';
    for (;;) {
        const ssize_t n = ::pread(fd, &last, 1, st.st_size - 1);
        if (n == 1) return last;
        if (n < 0 && errno == EINTR) continue;
        Fail(n < 0 ? errno : EIO, "read");
    }
}

void FlushFolderOf(const std::filesystem::path& file) {
    const auto dir = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        (void)::close(dirFd);
    }
}

namespace fileio {

bool Exists(const std::filesystem::path& file) noexcept {
    struct stat st {};
    return ::lstat(file.c_str(), &st) == 0;
}

void Remove(const std::filesystem::path& file) noexcept {
    (void)::unlink(file.c_str());
}

std::size_t Read(int fd, char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, data, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) Fail(errno, "read");
    }
}

void Flush(int fd) {
    if (::fsync(fd) != 0) Fail(errno, "fsync");
}

void Truncate(int fd, std::uint64_t size) {
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) Fail(errno, "truncate");
}

Renamed RenameOver(const std::filesystem::path& temp, const std::filesystem::path& file, bool /*exists*/) {
    if (::rename(temp.c_str(), file.c_str()) == 0) return {};
    const int error = errno;
    return {error, error == EPERM || error == EACCES};
}

} // namespace fileio

} // namespace platform
