#include "platform/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace platform {
namespace {

[[noreturn]] void Fail(int error, const std::filesystem::path& file) {
    throw std::system_error(error, std::generic_category(), file.string());
}

// Opens the lock file for reading (enough for the lock), creating it when missing; a link or
// anything but a regular file is refused, and nothing here can block.
int OpenLockFile(const std::filesystem::path& file) {
    constexpr int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    for (;;) {
        int fd = ::open(file.c_str(), flags);
        if (fd < 0 && errno == ENOENT) fd = ::open(file.c_str(), flags | O_CREAT | O_EXCL, 0664);
        if (fd >= 0) return fd;
        if (errno != EINTR && errno != EEXIST) Fail(errno, file); // EEXIST: made meanwhile, open that
    }
}

} // namespace

TInstanceLock::~TInstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

TInstanceLock::Result TInstanceLock::Acquire(const std::filesystem::path& file) {
    const int fd = OpenLockFile(file);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(fd);
        Fail(error, file);
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return Result::Busy;
        Fail(error, file);
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return Result::Held;
}

} // namespace platform
