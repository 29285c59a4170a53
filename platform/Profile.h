#pragma once
// Our own profile (INI) file service, standing in for the operating system's one: read one key
// with a default, write one key, erase a section. Every call is a complete operation on the file
// itself; nothing is cached between calls, so a file edited by hand between two calls is seen
// exactly as it then is, and no file handle stays open.
//
// The format: "[Section]" header lines and "Key=Value" lines. Section and key names compare
// without regard to case (ASCII letters). Lines before the first header, comment lines starting
// with ";", and lines of any other form are never matched, and every write keeps them byte for
// byte, as it keeps all sections and keys it does not change. When a section or a key appears
// more than once, the first one is the one read and written.
//
// Line ends: LF and CR LF read alike. A write keeps the style the file already has (its first
// line end decides); a new file, or one with no line end yet, gets CR LF. A UTF-8 byte order mark
// at the start of the file is kept and otherwise ignored.
//
// Writes never leave a half-written file: the new content goes to a temporary file beside the
// old one, is flushed to the disk and then renamed over it, so a crash or a full disk in the
// middle of a write leaves the old file whole. The replacement keeps the old file's permission
// bits, its owner where the writer may give it and else its group, so that whoever could write
// the file before still can; a new file gives nothing to users outside its group (it may hold a
// password). A symbolic link stays a link: the write goes through it to the file it names (a
// link whose file cannot be written is refused). Where a replacement would change the file for
// others or is not allowed, the file is written in place instead (written, flushed and synced): a
// file with other hard links, a writable file in a folder the writer may not create files in, a
// file whose group the writer cannot keep, and another operator's file in a sticky shared folder.
// A temporary file that a killed write left behind is removed by the next write (or by
// RemoveLeftovers).
//
// The file is opened, for reading and writing alike, under the open rule of Files.h: only a
// regular file, never waiting on a FIFO or a device, and through a link in a shared folder only
// when the link is root's or the operator's.
//
// Reading is bounded in memory whatever the file holds (garbage, binary data, very long lines):
// the file is read in pieces and only the first 64 KiB of each line are looked at.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// The file system refused a write or an erase. The text is "Unable to write to " followed by
// the full path of the file, as the caller named it.
class EProfileWrite : public std::runtime_error {
public:
    explicit EProfileWrite(const std::filesystem::path& file);
    const std::filesystem::path& File() const { return file_; }

private:
    std::filesystem::path file_;
};

// Values longer than this are cut to it on reading.
inline constexpr std::size_t ProfileValueMax = 2047;

// The stored integer form: a value of at least three characters beginning with "0x" or "0X" is
// hexadecimal (up to 0x7FFFFFFF); anything else must be a whole signed decimal number in the
// 32-bit range. Anything else, including an empty text, is not an integer (nullopt).
std::optional<std::int32_t> ProfileParseInteger(std::string_view text);

// One profile file, named by its path. Holds only the path; every call goes to the file.
// Section and key names must not contain line ends, "[", "]" or "=" (they are the program's own).
class ProfileFile {
public:
    explicit ProfileFile(std::filesystem::path file) : file_(std::move(file)) {}

    const std::filesystem::path& Path() const { return file_; }

    // The value of the key: spaces, tabs and stray CRs around it and one pair of enclosing double quotes
    // removed, cut to ProfileValueMax characters. A missing, unreadable or non-regular file, a
    // missing section and a missing key give `def`. Never throws (but std::bad_alloc).
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;

    // The key read as text and then as ProfileParseInteger; not an integer gives `def`.
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;

    // The key read as an integer with the default 1 for true and 0 for false; non-zero is true.
    // A word such as "true" is no integer and gives `def`.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    // Sets the key to `value`, creating the file, the section (appended at the end) or the key
    // (after the section's last key) when missing. An existing key line is replaced by the key
    // as the file spells it, "=" and the value, keeping its line end. Line ends inside `value`
    // become spaces, as a value is one line. Throws EProfileWrite when the file cannot be
    // written; the old file is then unchanged.
    void WriteString(std::string_view section, std::string_view key, std::string_view value) const;

    // Writes decimal digits, with "-" when negative.
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value) const;

    // Writes "1" for true and "0" for false.
    void WriteBool(std::string_view section, std::string_view key, bool value) const;

    // Removes the section: its header and every line up to the next header, for every copy of
    // the section in the file. A missing file or section leaves the file untouched. Throws
    // EProfileWrite when the file cannot be written; the old file is then unchanged.
    void EraseSection(std::string_view section) const;

    // Removes the temporary files that writes killed half way left beside the file (the file's
    // name, ".tmp", a process id, "_" and a number) when their process is gone. Other files are
    // never touched. Best effort: never throws.
    void RemoveLeftovers() const noexcept;

private:
    std::filesystem::path file_;
};

// Many writes in a row (a whole program table, say) as one change of the file: while a batch
// lives on this thread, the writes to its file go to a copy in memory, after the same checks a
// single write makes at the first of them (so a refused file is still refused at once, with
// nothing changed), and Commit() replaces the file with the result in one atomic step. Saving
// two full programs key by key would otherwise replace the file 400 times, which takes seconds.
// Reads inside a batch see the file as it was before the batch.
class ProfileWriteBatch {
public:
    explicit ProfileWriteBatch(const ProfileFile& file);
    // Writes what the batch gathered. Throws EProfileWrite when the file cannot be written; the
    // old file is then unchanged.
    void Commit();
    // Commits when Commit() was not called (an error left the writer), dropping a failure.
    ~ProfileWriteBatch();
    ProfileWriteBatch(const ProfileWriteBatch&) = delete;
    ProfileWriteBatch& operator=(const ProfileWriteBatch&) = delete;

    struct Stage;

private:
    std::unique_ptr<Stage> stage_;
};

} // namespace platform
