#pragma once
// The system calls the file services (Files.h) are built on, one implementation per system
// (files_posix.cpp, files_win32.cpp). Private to platform/: how a file is replaced, rewritten in
// place or read whole is the same on both systems (Files.cpp); only these steps differ. Files are
// CRT descriptors on both. Failures throw std::system_error carrying an errno value.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace platform::fileio {

[[noreturn]] inline void Fail(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

// Something stands under the name: a file, a folder, or a link (even one that leads nowhere).
bool Exists(const std::filesystem::path& file) noexcept;

// Removes the file; best effort.
void Remove(const std::filesystem::path& file) noexcept;

// Reads up to `size` bytes at the current position; 0 at the end. Throws.
std::size_t Read(int fd, char* data, std::size_t size);

// Flushes what was written to the file to the disk. Throws.
void Flush(int fd);

// Cuts the file to `size` bytes. Throws.
void Truncate(int fd, std::uint64_t size);

// What putting a file in another's place came to.
struct Renamed {
    int Error = 0;        // 0: done; else the errno value that tells why not
    bool Refused = false; // refused for want of permission (the other may be written in place)
};

// Puts `temp` in the place of `file` in one step; `exists` tells that a file stands there.
Renamed RenameOver(const std::filesystem::path& temp, const std::filesystem::path& file, bool exists);

} // namespace platform::fileio
