#include "platform/Files.h"

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

[[noreturn]] void Fail(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

} // namespace

void CreateDirectoryLevel(const std::filesystem::path& dir) {
    if (::mkdir(dir.c_str(), 0777) == 0) return;
    const int error = errno;
    struct stat st {};
    if (error == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
    Fail(error == EEXIST ? ENOTDIR : error, "mkdir");
}

int CreateNewFile(const std::filesystem::path& file) {
    for (;;) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EINTR) Fail(errno, "open");
    }
}

int OpenForAppend(const std::filesystem::path& file) {
    for (;;) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0) return fd;
        if (errno != EINTR) Fail(errno, "open");
    }
}

int OpenOrCreateForAppend(const std::filesystem::path& file) {
    for (;;) {
        int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0) return fd;
        if (errno == EINTR) continue;
        if (errno != ENOENT) Fail(errno, "open");
        fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EINTR || errno == EEXIST) continue; // made meanwhile by someone else: open that
            Fail(errno, "open");
        }
        const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
        struct stat dir {};
        struct stat own {};
        if (::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISGID) != 0 && ::fstat(fd, &own) == 0)
            (void)::fchmod(fd, (own.st_mode & 07777) | S_IRGRP | S_IWGRP);
        return fd;
    }
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
    // A close interrupted by a signal has released the descriptor on Linux: never retry it.
    if (::close(fd) != 0 && errno != EINTR) Fail(errno, "close");
}

void ReplaceFile(const std::filesystem::path& file, std::string_view bytes) {
    // One fixed name: a temporary file left by a process killed while writing is taken away by
    // the next write instead of piling up.
    std::filesystem::path temp = file;
    temp += ".tmp";
    (void)::unlink(temp.c_str());
    const int fd = CreateNewFile(temp);
    try {
        try {
            WriteAll(fd, bytes);
            if (::fsync(fd) != 0) Fail(errno, "fsync");
        } catch (...) {
            (void)::close(fd);
            throw;
        }
        CloseFile(fd); // releases the descriptor even when it fails
    } catch (...) {
        (void)::unlink(temp.c_str());
        throw;
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        const int error = errno;
        (void)::unlink(temp.c_str());
        Fail(error, "rename");
    }
    FlushFolderOf(file); // the rename itself made durable
}

void FlushFolderOf(const std::filesystem::path& file) {
    const auto dir = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        (void)::close(dirFd);
    }
}

std::string ReadSmallFile(const std::filesystem::path& file, std::size_t limit) {
    int fd = -1;
    for (;;) {
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) break;
        if (errno != EINTR) Fail(errno, "open");
    }
    std::string text;
    try {
        struct stat st {};
        if (::fstat(fd, &st) != 0) Fail(errno, "stat");
        if (!S_ISREG(st.st_mode)) Fail(EINVAL, "not a file");
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0) {
                if (errno == EINTR) continue;
                Fail(errno, "read");
            }
            if (n == 0) break;
            if (text.size() + static_cast<std::size_t>(n) > limit) Fail(EFBIG, "read");
            text.append(buf, static_cast<std::size_t>(n));
        }
    } catch (...) {
        (void)::close(fd);
        throw;
    }
    (void)::close(fd);
    return text;
}

} // namespace platform
