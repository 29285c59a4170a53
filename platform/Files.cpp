#include "platform/Files.h"

#include <algorithm>
#include <climits>

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
        const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EINTR) Fail(errno, "open");
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

void CloseFile(int fd) {
    // A close interrupted by a signal has released the descriptor on Linux: never retry it.
    if (::close(fd) != 0 && errno != EINTR) Fail(errno, "close");
}

} // namespace platform
