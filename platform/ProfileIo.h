#pragma once
// The file operations the profile service is built on, one implementation per system
// (profile_io_posix.cpp, profile_io_win32.cpp). Private to platform/: the service's rules
// (Profile.h) are the same on both; only how a file is opened, read, replaced or written in place
// differs. Files are CRT descriptors on both systems; reading at the current position and removing
// a file are the file services' own steps (FileIo.h). Failures throw std::system_error carrying an
// errno value.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

namespace platform::profileio {

// What a replacement must keep of the file it replaces (owner, group, permission bits, links).
struct FileFacts;
struct FileFactsDeleter {
    void operator()(FileFacts* facts) const;
};
using Facts = std::unique_ptr<FileFacts, FileFactsDeleter>;

// Opens an existing regular file for reading under the open rule (Files.h); -1 when there is
// none that can be read. A FIFO or a device named like the file is refused rather than waited on
// or read for ever.
int OpenRegularForReading(const std::filesystem::path& file);

// Opens the file for reading and writing under the open rule (Files.h); -1 when there is none
// yet. A read-only file is refused here. `facts` gets what a replacement must keep.
int OpenForWrite(const std::filesystem::path& target, Facts& facts);
// What a replacement of the open file must keep. Throws.
Facts FactsOf(int fd);

// Reads up to `size` bytes at `offset`, not moving the position; 0 at the end. Throws.
std::size_t ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset);
void WriteAll(int fd, const char* data, std::size_t size);
void Rewind(int fd);
std::uint64_t SizeOf(int fd);

// A file in memory (or a temporary one nobody else sees) for content gathered before it is written.
int MemoryFile();

void Close(int fd) noexcept;

// This process's id, and whether the process of an id has ended.
long ProcessId();
bool ProcessGone(long pid);

// A new empty file beside `target` for its replacement, giving nothing to users outside its group
// (the shared part names it). -1 when none can be made, errno telling why.
int CreateTemporary(const std::filesystem::path& target, std::filesystem::path& name);

// Replaces `target` atomically with what `fill` writes into a temporary file beside it, keeping
// what `facts` (null: the file did not exist) says; where a replacement would change the file for
// others (other hard links, a folder the writer may not create files in, an owner it cannot
// keep), the content is written over the file itself instead.
void ReplaceWith(const std::filesystem::path& target, const FileFacts* facts, const std::function<void(int)>& fill);

// Removes temporary files that killed writes left beside `target`. Best effort; never throws.
void RemoveLeftoversOf(const std::filesystem::path& target) noexcept;

// Copies bytes [begin, end) of `from` to the current position of `to`; a file that shrank under
// us is refused rather than copied short. Throws.
void CopyRange(int from, int to, std::uint64_t begin, std::uint64_t end);

} // namespace platform::profileio
