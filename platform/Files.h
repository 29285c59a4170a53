#pragma once
// Stand-ins for the operating system's file services that the logs, the journals and the
// settings file need: create one directory level, open a file under the open rule below, create
// a new file without touching an existing one, write a piece at once, replace a file in one
// step, close. Failures throw std::system_error carrying the system's error number (errno), or
// a FileRefusal of the open rule.
//
// The open rule. Every file the program writes or reads back (the data logs, the event journal,
// the run journal, the settings file) is opened through these functions, so that nothing put in
// a shared folder can stop the program or be turned against anyone:
// - Only a regular file is opened. A FIFO, a device, a socket or a folder in its place is refused
//   (FileRefusal::NotRegularFile) without waiting on it: no open blocks.
// - In a folder others may write (the group or everybody may write it, or it belongs to a user
//   other than root and the operator), a symbolic link is followed only when it belongs to root
//   or to the operator running the program (FileRefusal::ForeignLink), the rule the kernel
//   applies in world-writable sticky folders. The links an installation makes (root's) and the
//   operator's own keep working.
// The rule judges the file's own name (and every link it leads through); the folders on the way
// belong to the installation, whose shared folders are sticky so no operator can replace them.
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

namespace platform {

// Why the open rule refused a file. Its messages are the operator's: "neni obycejny soubor",
// "odkaz ve sdilene slozce patri jinemu uzivateli".
enum class FileRefusal { NotRegularFile = 1, ForeignLink = 2 };
const std::error_category& FileRefusalCategory();
std::error_code make_error_code(FileRefusal refusal);

// What an opened file is for.
enum class FileAccess { Read, Write, ReadWrite, Append };

// The file that `file` names, its symbolic links followed under the open rule (it may not exist
// yet). Throws std::system_error: FileRefusal::ForeignLink, ELOOP for a chain of links too long.
std::filesystem::path FollowLinks(const std::filesystem::path& file);

// Opens an existing file under the open rule, never creating one. Throws std::system_error:
// ENOENT when there is none, a FileRefusal, or the system's error.
int OpenFile(const std::filesystem::path& file, FileAccess access);

// True when a replacement of the file (a new file renamed over it) would be refused: the file
// belongs to another user in a sticky folder, which keeps every user's files from the others.
// Such a file is rewritten in place instead. Never throws.
bool ReplacementRefused(const std::filesystem::path& file);

// Creates the directory (one level); an existing directory is fine.
// Throws std::system_error when it cannot be created or a non-directory has its name.
void CreateDirectoryLevel(const std::filesystem::path& dir);

// Creates a new, empty file for writing and returns its descriptor; never opens or empties an
// existing file nor follows a link. A file created in a shared folder (one with the set-group-ID
// bit, whose files belong to the folder's group) is made readable and writable by that group,
// so that every operator of the group can go on with it. With `secret`, users outside the file's
// group get no access at all (the settings file holds a password). Throws std::system_error;
// errc::file_exists when the name is taken.
int CreateNewFile(const std::filesystem::path& file, bool secret = false);

// Opens an existing regular file for appending, under the open rule. Throws std::system_error.
int OpenForAppend(const std::filesystem::path& file);

// Opens a file for appending under the open rule, creating it (as CreateNewFile does) when
// missing; an existing file is never emptied. Throws std::system_error.
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
// it (the file's name and ".tmp"; one writer per file), which is flushed to the disk and renamed
// over the old one (then the folder is flushed), so a process killed or a power cut at any moment
// leaves either the whole old or the whole new file. Throws std::system_error; the old file is
// then unchanged and no temporary file stays.
// A file that may not be replaced (ReplacementRefused, or a rename refused for want of
// permission: another operator's file in a shared folder) is rewritten in place instead, under
// the open rule: written from its start, cut to the new length and flushed. That is not atomic:
// a process killed between the write and the cut may leave the end of the old text behind it.
void ReplaceFile(const std::filesystem::path& file, std::string_view bytes);

// Rewrites an existing file in place under the open rule, as ReplaceFile does where a
// replacement is refused. Throws std::system_error.
void RewriteInPlace(const std::filesystem::path& file, std::string_view bytes);

// The last byte of a regular file open for reading, or '\0' when it is empty. Throws
// std::system_error.
char LastByte(int fd);

// Flushes the folder holding `file` to the disk, so that a rename in it is durable; best effort
// (a failure leaves either version of the file, so there is nothing to report).
void FlushFolderOf(const std::filesystem::path& file);

// Reads a whole regular file of at most `limit` bytes, opened under the open rule. Throws
// std::system_error (EFBIG when the file is longer, ENOENT when it does not exist, a FileRefusal).
std::string ReadSmallFile(const std::filesystem::path& file, std::size_t limit);

} // namespace platform

template <> struct std::is_error_code_enum<platform::FileRefusal> : std::true_type {};
