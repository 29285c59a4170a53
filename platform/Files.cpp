// What the file services share on every system: the open rule's refusals as error codes, and
// the replacement, the rewrite in place and the whole read of a file over the system's own steps
// (FileIo.h).
#include "platform/Files.h"
#include "platform/FileIo.h"

#include <cerrno>
#include <string>

namespace platform {
namespace {

class TFileRefusalCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "open rule"; }
    std::string message(int code) const override {
        switch (static_cast<FileRefusal>(code)) {
        case FileRefusal::NotRegularFile:
            return "neni obycejny soubor";
        case FileRefusal::ForeignLink:
            return "odkaz ve sdilene slozce patri jinemu uzivateli";
        }
        return "odmitnuto";
    }
};

// Closes a descriptor whose failure is already on its way, or whose close cannot lose anything.
void CloseQuietly(int fd) noexcept {
    try {
        CloseFile(fd);
    } catch (...) {
    }
}

} // namespace

const std::error_category& FileRefusalCategory() {
    static const TFileRefusalCategory category;
    return category;
}

std::error_code make_error_code(FileRefusal refusal) {
    return {static_cast<int>(refusal), FileRefusalCategory()};
}

int OpenForAppend(const std::filesystem::path& file) {
    return OpenFile(file, FileAccess::Append);
}

void WriteAllAndClose(int fd, std::string_view bytes) {
    try {
        WriteAll(fd, bytes);
    } catch (...) {
        CloseQuietly(fd);
        throw;
    }
    CloseFile(fd);
}

void ReplaceFile(const std::filesystem::path& file, std::string_view bytes) {
    if (ReplacementRefused(file)) {
        RewriteInPlace(file, bytes);
        return;
    }
    const bool exists = fileio::Exists(file);
    // One fixed name: a temporary file left by a process killed while writing is taken away by
    // the next write instead of piling up.
    std::filesystem::path temp = file;
    temp += ".tmp";
    fileio::Remove(temp);
    int fd = -1;
    try {
        fd = CreateNewFile(temp);
    } catch (const std::system_error& e) {
        // Another operator's leftover in a sticky folder, or a folder closed to new files.
        const bool refused = e.code() == std::errc::file_exists || e.code() == std::errc::permission_denied;
        if (!exists || !refused) throw;
        RewriteInPlace(file, bytes);
        return;
    }
    try {
        try {
            WriteAll(fd, bytes);
            fileio::Flush(fd);
        } catch (...) {
            CloseQuietly(fd);
            throw;
        }
        CloseFile(fd); // releases the descriptor even when it fails
    } catch (...) {
        fileio::Remove(temp);
        throw;
    }
    const fileio::Renamed renamed = fileio::RenameOver(temp, file, exists);
    if (renamed.Error != 0) {
        fileio::Remove(temp);
        if (exists && renamed.Refused) {
            RewriteInPlace(file, bytes);
            return;
        }
        fileio::Fail(renamed.Error, "rename");
    }
    FlushFolderOf(file); // the rename itself made durable
}

void RewriteInPlace(const std::filesystem::path& file, std::string_view bytes) {
    const int fd = OpenFile(file, FileAccess::Write);
    try {
        // Written over the old text first and cut after, so a process killed in between leaves
        // the new text whole (with the old one's end behind it when that was longer).
        WriteAll(fd, bytes);
        fileio::Truncate(fd, bytes.size());
        fileio::Flush(fd);
    } catch (...) {
        CloseQuietly(fd);
        throw;
    }
    CloseFile(fd);
}

std::string ReadSmallFile(const std::filesystem::path& file, std::size_t limit) {
    const int fd = OpenFile(file, FileAccess::Read);
    std::string text;
    try {
        char buf[4096];
        for (;;) {
            const std::size_t n = fileio::Read(fd, buf, sizeof buf);
            if (n == 0) break;
            if (text.size() + n > limit) fileio::Fail(EFBIG, "read");
            text.append(buf, n);
        }
    } catch (...) {
        CloseQuietly(fd);
        throw;
    }
    CloseQuietly(fd);
    return text;
}

} // namespace platform
