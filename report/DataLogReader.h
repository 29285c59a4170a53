#pragma once
// Reads a data log back: the lines the log writer writes (eight fields, seven tabs, CR LF),
// column by column.
//
// Values are kept as whole tenths, exactly as written (one decimal), in 32-bit columns: a week of
// lines takes about 26 MB. A file is read in chunks by a plain byte scanner, so a day of lines
// (172,800) reads in a few tens of milliseconds.
//
// What counts as a log:
// - blank lines are skipped; a line may end in CR LF or LF alone;
// - the last line may lack its line end: whole, it is used; cut (a prefix of a line, as left by
//   a writer that is still writing or was killed), it is ignored;
// - a file whose first line is no log line is not a log; a later line that is no log line is
//   skipped and counted.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace report {

// A file that cannot be read as a data log; the text is one line naming the reason.
class ELogRead : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The columns of one side.
struct LogSide {
    std::vector<std::int32_t> Setpoint;    // tenths of a degree Celsius
    std::vector<std::uint8_t> Heater;      // 1 on, 0 off
    std::vector<std::int32_t> Temperature; // tenths of a degree Celsius
};

// The lines of one log.
struct LogTable {
    std::vector<std::int32_t> Time; // cycle time, tenths of a second
    LogSide Side1;
    LogSide Side2;
    std::size_t SkippedLines = 0; // lines after the first that are no log lines
    bool CutLastLine = false;     // the last line was cut and is not in the table

    std::size_t Size() const { return Time.size(); }
    const LogSide& Side(int side) const { return side == 1 ? Side1 : Side2; }
    double TimeAt(std::size_t i) const { return Time[i] / 10.0; }
};

// Tenths as a plain number (1483 -> 148.3).
inline double FromTenths(std::int32_t tenths) {
    return tenths / 10.0;
}

// Reads log text that arrives in pieces of any size.
class LogParser {
public:
    // Makes room for about this many lines at once (a log's size tells it), so that a long
    // log is not copied while its columns grow.
    void Reserve(std::size_t lines);
    // Takes the next piece of the file. Throws ELogRead when the first line is no log line.
    void Feed(std::string_view piece);
    // Ends the file (its last line may lack a line end) and hands over the table. Throws
    // ELogRead when the text is no log or holds no complete line.
    LogTable Finish();

private:
    void Line(std::string_view line, bool last);
    void Overlong();
    static constexpr std::size_t MaxLineLength = 1024; // a log line has about 60 bytes
    LogTable table_;
    std::string carry_; // the start of a line whose end has not arrived yet
    std::size_t lineNumber_ = 0;
    bool seenLine_ = false; // a non-blank line has been met
    bool skipping_ = false; // within an overlong line, up to its end
};

// The whole text of a log. Throws ELogRead.
LogTable ParseLog(std::string_view text);

// Progress of a long read: bytes read so far and the file's size.
using ReadProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Reads the log file `file`. Throws ELogRead for a file that does not exist, cannot be read, is
// a folder, is empty or is no log, with a text such as "data.txt: not a data log (line 1)".
LogTable ReadLog(const std::filesystem::path& file, const ReadProgress& progress = {});

} // namespace report
