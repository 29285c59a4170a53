#pragma once
// One copy of the program per installation: a lock on a file in the data folder, which every copy
// started on the same settings and data takes at start. The kernel releases it when the process
// ends in any way, so a crash never keeps the next start out.
#include <filesystem>

namespace platform {

class TInstanceLock {
public:
    enum class Result { Held, Busy };

    TInstanceLock() = default;
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;
    ~TInstanceLock();

    // Takes the lock on `file` (a plain file, created when missing and never written). Busy when
    // another process holds it. Throws std::system_error when the file cannot be opened or is no
    // regular file (a link, a FIFO, a folder).
    Result Acquire(const std::filesystem::path& file);
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace platform
