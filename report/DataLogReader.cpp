#include "report/DataLogReader.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

namespace report {
namespace {

enum class Scan { Ok, Cut, Bad };

struct Fields {
    std::int32_t Time = 0;
    std::int32_t Setpoint1 = 0;
    bool Heater1 = false;
    std::int32_t Temperature1 = 0;
    std::int32_t Time2 = 0;
    std::int32_t Setpoint2 = 0;
    bool Heater2 = false;
    std::int32_t Temperature2 = 0;
};

// A byte scanner over one line. Running out of bytes where more must follow is a cut line, any
// other departure from the format a bad one.
class LineScanner {
public:
    explicit LineScanner(std::string_view line) : p_(line.data()), end_(line.data() + line.size()) {}

    // A number with one decimal: spaces, an optional minus, digits, a point, one digit.
    Scan Number(std::int32_t& tenths) {
        while (p_ < end_ && *p_ == ' ')
            ++p_;
        if (p_ == end_) return Scan::Cut;
        const bool negative = *p_ == '-';
        if (negative && ++p_ == end_) return Scan::Cut;
        std::uint32_t whole = 0;
        const auto [after, ec] = std::from_chars(p_, end_, whole);
        if (after == p_) return Scan::Bad;
        if (ec != std::errc{}) return Scan::Bad;
        p_ = after;
        if (p_ == end_) return Scan::Cut;
        if (*p_ != '.') return Scan::Bad;
        if (++p_ == end_) return Scan::Cut;
        if (*p_ < '0' || *p_ > '9') return Scan::Bad;
        const std::uint64_t value = std::uint64_t{whole} * 10u + static_cast<std::uint64_t>(*p_++ - '0');
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return Scan::Bad;
        tenths = negative ? -static_cast<std::int32_t>(value) : static_cast<std::int32_t>(value);
        return Scan::Ok;
    }
    Scan Char(char c) {
        if (p_ == end_) return Scan::Cut;
        return *p_++ == c ? Scan::Ok : Scan::Bad;
    }
    Scan Heater(bool& on) {
        if (p_ == end_) return Scan::Cut;
        if (*p_ != '0' && *p_ != '1') return Scan::Bad;
        on = *p_++ == '1';
        return Scan::Ok;
    }
    bool AtEnd() const { return p_ == end_; }

private:
    const char* p_;
    const char* end_;
};

#define REPORT_SCAN(step)                                                                                    \
    do {                                                                                                     \
        const Scan r = (step);                                                                               \
        if (r != Scan::Ok) return r;                                                                         \
    } while (false)

Scan ScanLine(std::string_view line, Fields& f) {
    LineScanner s(line);
    REPORT_SCAN(s.Number(f.Time));
    REPORT_SCAN(s.Char('\t'));
    REPORT_SCAN(s.Number(f.Setpoint1));
    REPORT_SCAN(s.Char('\t'));
    REPORT_SCAN(s.Heater(f.Heater1));
    REPORT_SCAN(s.Char('\t'));
    REPORT_SCAN(s.Number(f.Temperature1));
    REPORT_SCAN(s.Number(f.Time2)); // no tab between the halves
    REPORT_SCAN(s.Char('\t'));
    REPORT_SCAN(s.Number(f.Setpoint2));
    REPORT_SCAN(s.Char('\t'));
    REPORT_SCAN(s.Heater(f.Heater2));
    REPORT_SCAN(s.Char('\t'));
    REPORT_SCAN(s.Number(f.Temperature2));
    if (!s.AtEnd()) return Scan::Bad;
    return f.Time == f.Time2 ? Scan::Ok : Scan::Bad; // both halves carry the same cycle time
}

#undef REPORT_SCAN

bool Blank(std::string_view line) {
    for (char c : line) {
        if (c != ' ' && c != '\t' && c != '\r') return false;
    }
    return true;
}

void Add(LogTable& t, const Fields& f) {
    t.Time.push_back(f.Time);
    t.Side1.Setpoint.push_back(f.Setpoint1);
    t.Side1.Heater.push_back(f.Heater1 ? 1 : 0);
    t.Side1.Temperature.push_back(f.Temperature1);
    t.Side2.Setpoint.push_back(f.Setpoint2);
    t.Side2.Heater.push_back(f.Heater2 ? 1 : 0);
    t.Side2.Temperature.push_back(f.Temperature2);
}

std::string NotALog(std::size_t line) {
    return "not a data log (line " + std::to_string(line) + ")";
}

} // namespace

void LogParser::Line(std::string_view line, bool last) {
    ++lineNumber_;
    if (!last && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Blank(line)) return;
    Fields f;
    const Scan r = ScanLine(line, f);
    const bool first = !seenLine_;
    seenLine_ = true;
    if (r == Scan::Ok) {
        Add(table_, f);
    } else if (last && r == Scan::Cut) {
        table_.CutLastLine = true;
    } else if (first) {
        throw ELogRead(NotALog(lineNumber_));
    } else {
        ++table_.SkippedLines;
    }
}

void LogParser::Reserve(std::size_t lines) {
    table_.Time.reserve(lines);
    for (LogSide* side : {&table_.Side1, &table_.Side2}) {
        side->Setpoint.reserve(lines);
        side->Heater.reserve(lines);
        side->Temperature.reserve(lines);
    }
}

void LogParser::Overlong() {
    // Far longer than any log line: no log line, and not kept (a binary file may have no line end).
    ++lineNumber_;
    const bool first = !seenLine_;
    seenLine_ = true;
    carry_.clear();
    skipping_ = true;
    if (first) throw ELogRead(NotALog(lineNumber_));
    ++table_.SkippedLines;
}

void LogParser::Feed(std::string_view piece) {
    if (skipping_) {
        const auto nl = piece.find('\n');
        if (nl == std::string_view::npos) return;
        piece.remove_prefix(nl + 1);
        skipping_ = false;
    }
    if (!carry_.empty()) {
        // Complete the carried line first, then go on in the piece itself.
        const auto nl = piece.find('\n');
        if (nl == std::string_view::npos) {
            carry_.append(piece);
            if (carry_.size() > MaxLineLength) Overlong();
            return;
        }
        carry_.append(piece.substr(0, nl));
        Line(carry_, false);
        carry_.clear();
        piece.remove_prefix(nl + 1);
    }
    const char* p = piece.data();
    const char* const end = p + piece.size();
    while (p < end) {
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (nl == nullptr) {
            carry_.assign(p, end);
            if (carry_.size() > MaxLineLength) Overlong();
            return;
        }
        Line(std::string_view(p, static_cast<std::size_t>(nl - p)), false);
        p = nl + 1;
    }
}

LogTable LogParser::Finish() {
    if (!carry_.empty()) {
        // A last line without its line end: a CR alone at its end means only the LF is missing.
        std::string_view line = carry_;
        const bool whole = line.back() == '\r';
        if (whole) line.remove_suffix(1);
        Line(line, !whole);
        carry_.clear();
    }
    if (!seenLine_) throw ELogRead("empty data log");
    if (table_.Size() == 0)
        throw ELogRead(table_.CutLastLine ? "no complete line in the data log" : NotALog(1));
    return std::move(table_);
}

LogTable ParseLog(std::string_view text) {
    LogParser parser;
    parser.Feed(text);
    return parser.Finish();
}

LogTable ReadLog(const std::filesystem::path& file, const ReadProgress& progress) {
    const std::string name = file.filename().string();
    try {
        std::error_code ec;
        const auto status = std::filesystem::status(file, ec);
        if (ec || !std::filesystem::exists(status)) throw ELogRead("no such file");
        if (std::filesystem::is_directory(status)) throw ELogRead("is a folder, not a data log");
        if (!std::filesystem::is_regular_file(status)) throw ELogRead("not a regular file");
        const std::uint64_t total = std::filesystem::file_size(file, ec);
        if (ec) throw ELogRead("cannot be read: " + ec.message());

        errno = 0;
        std::ifstream in(file, std::ios::binary); // by the path itself: any name on any system
        if (!in) throw ELogRead("cannot be read: " + std::string(std::strerror(errno)));
        LogParser parser;
        std::vector<char> buffer(1u << 20);
        std::uint64_t done = 0;
        for (;;) {
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            const auto n = static_cast<std::size_t>(in.gcount());
            if (n > 0) {
                parser.Feed(std::string_view(buffer.data(), n));
                // Once the first piece has shown a log, room for all of it (a line takes 58 bytes or more).
                if (done == 0) parser.Reserve(static_cast<std::size_t>(total / 56 + 1));
                done += n;
                if (progress) progress(done, total);
            }
            if (n < buffer.size()) {
                if (in.bad()) throw ELogRead("cannot be read: " + std::string(std::strerror(errno)));
                break;
            }
        }
        return parser.Finish();
    } catch (const ELogRead& e) {
        throw ELogRead(name + ": " + e.what());
    }
}

} // namespace report
