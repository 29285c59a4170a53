// The profile (INI) file service. See Profile.h for the rules it keeps; the file operations under
// it are the system's (ProfileIo.h).
#include "platform/Profile.h"

#include "platform/FileIo.h"
#include "platform/Files.h"
#include "platform/ProfileIo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

namespace platform {
namespace {

constexpr std::size_t HeadMax = 64 * 1024; // bytes of a line that are looked at
constexpr std::size_t ChunkSize = 64 * 1024;
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// A stray CR counts as a blank too: a last line ending in a lone CR must read the same after a
// write has put a line end behind it.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind Kind = LineKind::Other;
    std::string_view Name;  // section or key name, trimmed
    std::string_view Value; // raw text after "=" (keys only)
};

ParsedLine ParseLine(std::string_view text) {
    ParsedLine p;
    std::string_view t = Trim(text);
    if (t.empty() || t.front() == ';') return p;
    if (t.front() == '[') {
        const auto close = t.find(']');
        if (close == std::string_view::npos) return p;
        p.Kind = LineKind::Section;
        p.Name = Trim(t.substr(1, close - 1));
        return p;
    }
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) return p;
    p.Name = Trim(text.substr(0, eq));
    if (p.Name.empty()) return p;
    p.Kind = LineKind::Key;
    p.Value = text.substr(eq + 1);
    return p;
}

// File descriptor closed on scope exit.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { profileio::Close(fd_); }
    int Get() const { return fd_; }
    // Gives the descriptor up without closing it.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Takes over `fd`, closing the one held before.
    void Reset(int fd) {
        profileio::Close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Reads a file line by line in bounded memory, keeping the byte offsets of every line.
class FileLines {
public:
    explicit FileLines(int fd) : fd_(fd), buf_(ChunkSize) {}

    // Moves to the next line; false at the end of the file. Throws std::system_error when the
    // file cannot be read.
    bool Next() {
        Head.clear();
        Start = bufOffset_ + pos_;
        std::uint64_t contentLength = 0;
        char last = 0;
        HasLf = false;
        for (;;) {
            if (pos_ == len_ && !Fill()) break;
            const char* b = buf_.data() + pos_;
            const std::size_t n = len_ - pos_;
            const auto* nl = static_cast<const char*>(std::memchr(b, '\n', n));
            const std::size_t take = nl ? static_cast<std::size_t>(nl - b) : n;
            if (take > 0) {
                Head.append(b, std::min(take, HeadMax - std::min(HeadMax, Head.size())));
                contentLength += take;
                last = b[take - 1];
            }
            pos_ += take;
            if (nl) {
                ++pos_;
                HasLf = true;
                break;
            }
        }
        End = bufOffset_ + pos_;
        if (End == Start) return false;
        HasCr = HasLf && contentLength > 0 && last == '\r';
        if (HasCr && Head.size() == contentLength) Head.pop_back();
        if (Start == 0 && std::string_view(Head).substr(0, ByteOrderMark.size()) == ByteOrderMark) {
            Head.erase(0, ByteOrderMark.size());
            Start = ByteOrderMark.size();
        }
        return true;
    }

    std::uint64_t Start = 0; // offset of the line's first byte (after a byte order mark)
    std::uint64_t End = 0;   // offset just past the line's line end
    std::string Head;        // the line without its line end, at most HeadMax bytes
    bool HasLf = false;      // the line ends with LF (only the last line may not)
    bool HasCr = false;      // ... and the LF follows a CR

    std::uint64_t LineEndLength() const { return (HasLf ? 1u : 0u) + (HasCr ? 1u : 0u); }

private:
    bool Fill() {
        if (eof_) return false;
        bufOffset_ += len_;
        pos_ = 0;
        len_ = 0;
        len_ = fileio::Read(fd_, buf_.data(), buf_.size());
        if (len_ == 0) eof_ = true;
        return len_ > 0;
    }

    int fd_ = -1;
    std::vector<char> buf_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    std::uint64_t bufOffset_ = 0;
    bool eof_ = false;
};

std::optional<std::string> FindValue(int fd, std::string_view section, std::string_view key) {
    FileLines lines(fd);
    bool inSection = false;
    while (lines.Next()) {
        const ParsedLine p = ParseLine(lines.Head);
        if (p.Kind == LineKind::Section) {
            if (inSection) return std::nullopt; // only the first copy of a section counts
            inSection = SameName(p.Name, section);
        } else if (inSection && p.Kind == LineKind::Key && SameName(p.Name, key)) {
            return std::string(p.Value);
        }
    }
    return std::nullopt;
}

std::string CleanValue(std::string_view raw) {
    std::string_view v = Trim(raw);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.size() > ProfileValueMax) v = v.substr(0, ProfileValueMax);
    return std::string(v);
}

// What a write needs to know of the file as it stands.
struct FileScan {
    profileio::Facts Facts; // null when the file does not exist
    std::uint64_t Size = 0;
    bool EndsWithLf = true; // an empty file needs no line end before appended text
    std::string LineEnd = "\r\n";
    bool LineEndKnown = false;

    struct Span {
        std::uint64_t Begin = 0;
        std::uint64_t End = 0;
    };
    std::vector<Span> Sections; // every copy of the section: header up to the next header

    // In the first copy of the section:
    bool KeyFound = false;
    std::uint64_t KeyBegin = 0;
    std::uint64_t KeyContentEnd = 0; // before the key line's line end
    std::string KeySpelling;         // the key name as the file writes it
    std::uint64_t InsertAt = 0;      // after the section's last key line (or its header)
};

void ScanFile(int fd, std::string_view section, std::string_view key, FileScan& scan) {
    FileLines lines(fd);
    bool inSection = false;
    int copies = 0;
    while (lines.Next()) {
        if (!scan.LineEndKnown && lines.HasLf) {
            scan.LineEnd = lines.HasCr ? "\r\n" : "\n";
            scan.LineEndKnown = true;
        }
        scan.EndsWithLf = lines.HasLf;
        scan.Size = lines.End;
        const ParsedLine p = ParseLine(lines.Head);
        if (p.Kind == LineKind::Section) {
            if (inSection) scan.Sections.back().End = lines.Start;
            inSection = SameName(p.Name, section);
            if (inSection) {
                ++copies;
                scan.Sections.push_back({lines.Start, lines.End});
                if (copies == 1) scan.InsertAt = lines.End;
            }
        } else if (inSection && copies == 1 && p.Kind == LineKind::Key) {
            scan.InsertAt = lines.End;
            if (!scan.KeyFound && SameName(p.Name, key)) {
                scan.KeyFound = true;
                scan.KeyBegin = lines.Start;
                scan.KeyContentEnd = lines.End - lines.LineEndLength();
                scan.KeySpelling = std::string(p.Name);
            }
        }
    }
    if (inSection) scan.Sections.back().End = scan.Size;
}

struct Edit {
    std::uint64_t Begin = 0; // bytes [Begin, End) of the old file are replaced by Text
    std::uint64_t End = 0;
    std::string Text;
};

// The file a write goes to: symbolic links are followed to the file they name, which need not
// exist yet, so that a write goes through a link and never replaces the link itself. A link the
// open rule refuses (another user's, in a shared folder), one to itself or a long chain stops
// here; opening it then fails.
std::filesystem::path WriteTarget(const std::filesystem::path& file) {
    try {
        return FollowLinks(file);
    } catch (const std::system_error&) {
        return file;
    }
}

// Writes the old content (if any) with the edits (sorted, not overlapping) applied to `out`.
void WriteEdited(int out, int oldFd, std::uint64_t oldSize, const std::vector<Edit>& edits) {
    std::uint64_t pos = 0;
    for (const Edit& e : edits) {
        if (oldFd >= 0) profileio::CopyRange(oldFd, out, pos, e.Begin);
        profileio::WriteAll(out, e.Text.data(), e.Text.size());
        pos = e.End;
    }
    if (oldFd >= 0) profileio::CopyRange(oldFd, out, pos, oldSize);
}

// Rewrites the file with the edits applied, atomically.
void Replace(const std::filesystem::path& target, int oldFd, const FileScan& scan, const std::vector<Edit>& edits) {
    profileio::ReplaceWith(target, scan.Facts.get(), [&](int out) { WriteEdited(out, oldFd, scan.Size, edits); });
}

} // namespace

// The content a batch gathers in memory, written to the file once at its end.
struct ProfileWriteBatch::Stage {
    std::filesystem::path Named;  // as the caller named the file (for the error text)
    std::filesystem::path Target; // the file actually written (links resolved)
    Fd Content;                   // an anonymous in-memory file; -1 until the first change
    profileio::Facts Facts;       // of the file when the batch first changed it (null: none)
    bool Done = false;
};

namespace {

// The batch of this thread, while one lives.
thread_local ProfileWriteBatch::Stage* gStage = nullptr;

// A write inside a batch: the same checks as a single write at the batch's first change, then
// the edits go to the batch's in-memory copy.
template <class Plan>
void ModifyStaged(ProfileWriteBatch::Stage& st, std::string_view section, std::string_view key, Plan plan) {
    FileScan scan;
    Fd old(st.Content.Get() < 0 ? profileio::OpenForWrite(st.Target, scan.Facts) : -1);
    const int source = st.Content.Get() >= 0 ? st.Content.Get() : old.Get();
    if (source >= 0) {
        profileio::Rewind(source);
        ScanFile(source, section, key, scan);
    }
    const std::vector<Edit> edits = plan(scan);
    if (edits.empty()) return;
    Fd next(profileio::MemoryFile());
    WriteEdited(next.Get(), source, scan.Size, edits);
    if (st.Content.Get() < 0) st.Facts = std::move(scan.Facts);
    st.Content.Reset(next.Release());
}

// Opens the file for a write, scans it and hands the scan to `plan`, which returns the edits
// (an empty list when nothing is to change). Every failure becomes EProfileWrite.
template <class Plan>
void Modify(const std::filesystem::path& file, std::string_view section, std::string_view key, Plan plan) {
    try {
        const auto target = WriteTarget(file);
        if (gStage != nullptr && !gStage->Done && gStage->Target == target) {
            ModifyStaged(*gStage, section, key, plan);
            return;
        }
        FileScan scan;
        Fd old(profileio::OpenForWrite(target, scan.Facts));
        if (old.Get() >= 0) ScanFile(old.Get(), section, key, scan);
        const std::vector<Edit> edits = plan(scan);
        if (edits.empty()) return;
        Replace(target, old.Get(), scan, edits);
    } catch (const std::system_error&) { // filesystem_error is one too
        throw EProfileWrite(file);
    }
}

} // namespace

ProfileWriteBatch::ProfileWriteBatch(const ProfileFile& file) {
    if (gStage != nullptr) return; // inside another batch: that one gathers the writes
    stage_ = std::make_unique<Stage>();
    stage_->Named = file.Path();
    stage_->Target = WriteTarget(file.Path());
    gStage = stage_.get();
}

void ProfileWriteBatch::Commit() {
    if (!stage_ || stage_->Done) return;
    stage_->Done = true;
    if (gStage == stage_.get()) gStage = nullptr;
    if (stage_->Content.Get() < 0) return; // nothing changed
    try {
        const int content = stage_->Content.Get();
        const std::uint64_t size = profileio::SizeOf(content);
        profileio::ReplaceWith(stage_->Target, stage_->Facts.get(),
                               [&](int out) { profileio::CopyRange(content, out, 0, size); });
    } catch (const std::system_error&) {
        throw EProfileWrite(stage_->Named);
    }
}

ProfileWriteBatch::~ProfileWriteBatch() {
    if (!stage_) return;
    // A batch left by an error still writes what it gathered before the error; a failure here
    // has nowhere to go.
    try {
        Commit();
    } catch (...) {
    }
    if (gStage == stage_.get()) gStage = nullptr;
}

EProfileWrite::EProfileWrite(const std::filesystem::path& file)
    : std::runtime_error("Unable to write to " + file.string()), file_(file) {}

std::optional<std::int32_t> ProfileParseInteger(std::string_view text) {
    if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::uint32_t value = 0;
        const char* first = text.data() + 2;
        const char* last = text.data() + text.size();
        const auto [end, ec] = std::from_chars(first, last, value, 16);
        if (ec != std::errc() || end != last || value > 0x7FFFFFFFu) return std::nullopt;
        return static_cast<std::int32_t>(value);
    }
    // One sign at most: from_chars reads a "-" itself, so after a dropped "+" no second sign
    // may follow ("+-5" is no integer).
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, value, 10);
    if (ec != std::errc() || end != last) return std::nullopt;
    return value;
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    Fd fd(profileio::OpenRegularForReading(file_));
    if (fd.Get() < 0) return std::string(def);
    try {
        if (auto raw = FindValue(fd.Get(), section, key)) return CleanValue(*raw);
    } catch (const std::system_error&) {
        // An unreadable file reads like a missing one.
    }
    return std::string(def);
}

std::int32_t ProfileFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const {
    // A marker no integer text can equal tells "missing" from any stored value.
    const std::string text = ReadString(section, key, std::string_view("\n", 1));
    if (text == "\n") return def;
    return ProfileParseInteger(text).value_or(def);
}

bool ProfileFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) const {
    std::string oneLine(value);
    std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
    std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
    Modify(file_, section, key, [&](const FileScan& scan) {
        const std::string& eol = scan.LineEnd;
        std::vector<Edit> edits;
        if (scan.KeyFound) {
            edits.push_back({scan.KeyBegin, scan.KeyContentEnd, scan.KeySpelling + "=" + oneLine});
            return edits;
        }
        // A last line without a line end gets one before anything is put after it.
        std::string text;
        std::uint64_t at = scan.Size;
        if (!scan.Sections.empty()) {
            at = scan.InsertAt;
        }
        if (at == scan.Size && !scan.EndsWithLf) text += eol;
        if (scan.Sections.empty()) text += "[" + std::string(section) + "]" + eol;
        text += std::string(key) + "=" + oneLine + eol;
        edits.push_back({at, at, std::move(text)});
        return edits;
    });
}

void ProfileFile::RemoveLeftovers() const noexcept { profileio::RemoveLeftoversOf(WriteTarget(file_)); }

void ProfileFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) const {
    WriteString(section, key, std::to_string(value));
}

void ProfileFile::WriteBool(std::string_view section, std::string_view key, bool value) const {
    WriteString(section, key, value ? "1" : "0");
}

void ProfileFile::EraseSection(std::string_view section) const {
    Modify(file_, section, std::string_view(), [](const FileScan& scan) {
        std::vector<Edit> edits;
        for (const auto& s : scan.Sections) edits.push_back({s.Begin, s.End, std::string()});
        return edits;
    });
}

} // namespace platform

// What both systems' file operations share: the names of temporary files and their tidying up.
namespace platform::profileio {
namespace {

const std::string_view TemporaryMark = ".tmp";

// The name of a temporary file of ours beside `target`: target's name, ".tmp", the writer's
// process id, "_" and a counter.
std::filesystem::path TemporaryName(const std::filesystem::path& target, long pid, unsigned n) {
    std::filesystem::path name = target;
    name += std::string(TemporaryMark) + std::to_string(pid) + "_" + std::to_string(n);
    return name;
}

// The process id in a name TemporaryName gives for `target`, or -1 for any other name.
long TemporaryOwner(const std::string& targetName, const std::string& name) {
    const std::string prefix = targetName + std::string(TemporaryMark);
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
    const char* p = name.data() + prefix.size();
    const char* end = name.data() + name.size();
    long pid = 0;
    auto r = std::from_chars(p, end, pid);
    if (r.ec != std::errc() || r.ptr == end || *r.ptr != '_' || pid <= 0) return -1;
    unsigned n = 0;
    auto r2 = std::from_chars(r.ptr + 1, end, n);
    if (r2.ec != std::errc() || r2.ptr != end) return -1;
    return pid;
}

} // namespace

// Removes temporary files a killed write left beside `target`: ours by their name, and only
// those of a process that is gone (or of this one, which has none in progress when it starts a
// write), so a second copy of the program in the middle of its own write keeps its file.
void RemoveLeftoversOf(const std::filesystem::path& target) noexcept {
    try {
        const auto dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
        const std::string targetName = target.filename().string();
        std::error_code ec;
        for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const long pid = TemporaryOwner(targetName, it->path().filename().string());
            if (pid < 0) continue;
            if (pid == ProcessId() || ProcessGone(pid)) fileio::Remove(it->path());
        }
    } catch (...) {
        // Tidying up is best effort; the write itself does not depend on it.
    }
}

// Creates a new empty file beside `target` that no one else uses; -1 with errno when it cannot.
// The settings hold a password: a new settings file gives nothing to users outside its group.
int CreateTemporary(const std::filesystem::path& target, std::filesystem::path& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = TemporaryName(target, ProcessId(), counter++);
        try {
            return CreateNewFile(name, /*secret=*/true);
        } catch (const std::system_error& e) {
            if (e.code() != std::errc::file_exists) {
                errno = e.code().value();
                return -1;
            }
        }
    }
    errno = EEXIST;
    return -1;
}

int OpenRegularForReading(const std::filesystem::path& file) {
    try {
        return OpenFile(file, FileAccess::Read);
    } catch (const std::system_error&) {
        return -1;
    }
}

int OpenForWrite(const std::filesystem::path& target, Facts& facts) {
    int fd = -1;
    try {
        fd = OpenFile(target, FileAccess::ReadWrite);
    } catch (const std::system_error& e) {
        if (e.code() == std::errc::no_such_file_or_directory) return -1;
        throw;
    }
    try {
        facts = FactsOf(fd);
    } catch (...) {
        Close(fd);
        throw;
    }
    return fd;
}

void CopyRange(int from, int to, std::uint64_t begin, std::uint64_t end) {
    std::vector<char> buf(ChunkSize);
    while (begin < end) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), end - begin));
        const std::size_t got = ReadAt(from, buf.data(), want, begin);
        // The file shrank under us: refuse rather than write a shortened copy.
        if (got == 0) throw std::system_error(EIO, std::generic_category(), "read");
        WriteAll(to, buf.data(), got);
        begin += got;
    }
}

} // namespace platform::profileio
