// The profile service's file operations over POSIX files.
#include "platform/Files.h"
#include "platform/ProfileIo.h"

#include <cerrno>
#include <csignal>
#include <system_error>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::profileio {

struct FileFacts {
    struct stat Stat {};
};

void FileFactsDeleter::operator()(FileFacts* facts) const { delete facts; }

namespace {

[[noreturn]] void Fail(int error, const char* what) { throw std::system_error(error, std::generic_category(), what); }

// Closed on scope exit unless released.
struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Release() {
        const int f = fd;
        fd = -1;
        return f;
    }
    bool Close() {
        const int f = fd;
        fd = -1;
        return f < 0 || ::close(f) == 0;
    }
};

// Gives the new file the old one's owner where allowed, else at least its group, so that
// whoever could write the file before still can. False when not even the group can be kept.
bool KeepOwnerAndGroup(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) == 0) return true;
    if (::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0) return true;
    struct stat now {};
    return ::fstat(fd, &now) == 0 && now.st_gid == old.st_gid;
}

// Writes the new content over the file itself: what `fill` writes is gathered in memory first
// (it may read the old file), then written from the start of the file, which is cut to its new
// length and flushed to the disk. Not atomic; used only where a replacement would change the file
// for others (see ReplaceWith).
void WriteInPlace(const std::filesystem::path& target, const std::function<void(int)>& fill) {
    Fd content(MemoryFile());
    fill(content.fd);
    const std::uint64_t size = SizeOf(content.fd);
    Fd out(OpenFile(target, FileAccess::Write));
    CopyRange(content.fd, out.fd, 0, size);
    if (::ftruncate(out.fd, static_cast<off_t>(size)) != 0) Fail(errno, "truncate");
    if (::fsync(out.fd) != 0) Fail(errno, "fsync");
    if (!out.Close()) Fail(errno, "close");
}

} // namespace

Facts FactsOf(int fd) {
    Facts f(new FileFacts);
    if (::fstat(fd, &f->Stat) != 0) Fail(errno, "stat");
    return f;
}

std::size_t ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset) {
    for (;;) {
        const ssize_t got = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) Fail(errno, "read");
        return static_cast<std::size_t>(got);
    }
}

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) Fail(put < 0 ? errno : EIO, "write");
        data += put;
        size -= static_cast<std::size_t>(put);
    }
}

void Rewind(int fd) {
    if (::lseek(fd, 0, SEEK_SET) < 0) Fail(errno, "seek");
}

std::uint64_t SizeOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) Fail(errno, "stat");
    return static_cast<std::uint64_t>(st.st_size);
}

int MemoryFile() {
    const int fd = ::memfd_create("Regulator.ini", MFD_CLOEXEC);
    if (fd < 0) Fail(errno, "memfd_create");
    return fd;
}

void Close(int fd) noexcept {
    if (fd >= 0) ::close(fd);
}

long ProcessId() { return static_cast<long>(::getpid()); }

bool ProcessGone(long pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// Where a replacement would change who may write the file or split it from its other names, or
// is not allowed, the file is written in place instead: a file with more than one hard link; a
// writable file in a folder the writer may not create files in (an installation that opens up
// only the settings file); a file whose group the writer cannot give to a new file; and another
// user's file in a sticky shared folder, whose files only their owners may replace.
void ReplaceWith(const std::filesystem::path& target, const FileFacts* facts, const std::function<void(int)>& fill) {
    RemoveLeftoversOf(target);
    if (facts && (facts->Stat.st_nlink > 1 || ReplacementRefused(target))) {
        WriteInPlace(target, fill);
        return;
    }
    std::filesystem::path tempName;
    Fd temp(CreateTemporary(target, tempName));
    if (temp.fd < 0) {
        const int error = errno;
        if (facts && (error == EACCES || error == EPERM)) {
            WriteInPlace(target, fill);
            return;
        }
        Fail(error, "create");
    }
    bool committed = false;
    struct Cleanup {
        const std::filesystem::path& name;
        const bool& done;
        ~Cleanup() {
            if (!done) ::unlink(name.c_str());
        }
    } cleanup{tempName, committed};

    if (facts) {
        if (!KeepOwnerAndGroup(temp.fd, facts->Stat)) {
            temp.Close();
            WriteInPlace(target, fill);
            return;
        }
        // After the owner: a change of owner may clear the set-id bits.
        (void)::fchmod(temp.fd, facts->Stat.st_mode & 07777);
    }
    fill(temp.fd);
    if (::fsync(temp.fd) != 0) Fail(errno, "fsync");
    if (!temp.Close()) Fail(errno, "close");
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
        const int error = errno;
        if (facts && (error == EPERM || error == EACCES)) {
            WriteInPlace(target, fill);
            return;
        }
        Fail(error, "rename");
    }
    committed = true;
    // Make the rename itself durable; a failure here no longer endangers either version.
    FlushFolderOf(target);
}

} // namespace platform::profileio
