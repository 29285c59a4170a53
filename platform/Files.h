#pragma once
// Stand-ins for the operating system's file services that the data log needs: create one
// directory level, create a new file without touching an existing one, write a piece at once,
// close. Failures throw std::system_error carrying the system's error number (errno).
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Creates the directory (one level); an existing directory is fine.
// Throws std::system_error when it cannot be created or a non-directory has its name.
void CreateDirectoryLevel(const std::filesystem::path& dir);

// Creates a new, empty file for writing and returns its descriptor; never opens or empties an
// existing file. Throws std::system_error; errc::file_exists when the name is taken.
int CreateNewFile(const std::filesystem::path& file);

// Opens an existing file for appending (a device such as /dev/full included).
// Throws std::system_error.
int OpenForAppend(const std::filesystem::path& file);

// Opens a file for appending, creating it when missing (an existing file is never emptied).
// A file created in a shared folder (one with the set-group-ID bit, whose files belong to the
// folder's group) is made writable by that group, so that every operator of the group can append
// to it. Throws std::system_error.
int OpenOrCreateForAppend(const std::filesystem::path& file);

// Hands all bytes to the operating system (write(2), repeated only for a partial write).
// Nothing is buffered in this process. Throws std::system_error.
void WriteAll(int fd, std::string_view bytes);

// Hands several pieces to the operating system in one call (writev(2), continued only for a
// partial write), in order, so they reach the file together: a process killed at any moment
// leaves all of them or none. Throws std::system_error.
void WriteAllPieces(int fd, const std::vector<std::string_view>& pieces);

// Hands the bytes to the operating system, then closes the descriptor; it is closed even when
// the write fails (that failure is the one thrown). Throws std::system_error.
void WriteAllAndClose(int fd, std::string_view bytes);

// Closes the descriptor. Throws std::system_error when the close reports a failure.
void CloseFile(int fd);

// Replaces the whole file with `bytes` in one atomic step: they go to a new temporary file beside
// it (the file's name and ".tmp"; one writer per file), which is flushed to the disk and renamed over the old one (then the folder is flushed), so
// a process killed or a power cut at any moment leaves either the whole old or the whole new
// file. Throws std::system_error; the old file is then unchanged and no temporary file stays.
void ReplaceFile(const std::filesystem::path& file, std::string_view bytes);

// Flushes the folder holding `file` to the disk, so that a rename in it is durable; best effort
// (a failure leaves either version of the file, so there is nothing to report).
void FlushFolderOf(const std::filesystem::path& file);

// Reads a whole regular file of at most `limit` bytes. Throws std::system_error (EFBIG when the
// file is longer, ENOENT when it does not exist, EINVAL when it is no regular file).
std::string ReadSmallFile(const std::filesystem::path& file, std::size_t limit);

} // namespace platform
