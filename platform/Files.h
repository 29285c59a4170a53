#pragma once
// Stand-ins for the operating system's file services that the data log needs: create one
// directory level, create a new file without touching an existing one, write a piece at once,
// close. Failures throw std::system_error carrying the system's error number (errno).
#include <filesystem>
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
// Throws std::system_error.
int OpenOrCreateForAppend(const std::filesystem::path& file);

// Hands all bytes to the operating system (write(2), repeated only for a partial write).
// Nothing is buffered in this process. Throws std::system_error.
void WriteAll(int fd, std::string_view bytes);

// Hands several pieces to the operating system in one call (writev(2), continued only for a
// partial write), in order, so they reach the file together: a process killed at any moment
// leaves all of them or none. Throws std::system_error.
void WriteAllPieces(int fd, const std::vector<std::string_view>& pieces);

// Closes the descriptor. Throws std::system_error when the close reports a failure.
void CloseFile(int fd);

} // namespace platform
