#pragma once
// The data log: one tab-separated text file at a time in the folder "Data" next to the
// executable, one line per display refresh with time, setpoint, heater state and temperature of
// both sides.
//
// A line is handed to the operating system in six pieces, each written at once, and its CR LF
// follows with the first piece of the next line or at close. Nothing is buffered in this
// process, so a process killed at any moment leaves every finished line on disk, the last one
// without its CR LF.
#include "platform/Clock.h"
#include "state/RegulatorState.h"

#include <array>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace persistence {

// An input/output failure of the data log. Its text is the runtime's: "File not found",
// "Invalid filename", "Too many open files", "File access denied", "Disk full", or
// "I/O error <n>" with the system's error number.
class EInOutError : public std::runtime_error {
public:
    EInOutError(int errorCode, const std::string& text) : std::runtime_error(text), ErrorCode(errorCode) {}
    int ErrorCode = 0; // the runtime's code: 2, 3, 4, 5, 101, or the system's error number
};

// Maps a system error number (errno) to the error the log reports.
EInOutError InOutError(int systemError);

// One line of the log: both sides at one moment.
struct LogRow {
    double CycleTime = 0.0;
    double Setpoint1 = 0.0;
    bool Heater1 = false;
    double Temperature1 = 0.0;
    double Setpoint2 = 0.0;
    bool Heater2 = false;
    double Temperature2 = 0.0;
};

// The row as the regulator state holds it now (a side without a heater switch counts as off).
LogRow CurrentRow(const state::RegulatorState& s);

// A number with one decimal: rounded half away from zero on the value as stored (148.25 gives
// 148.3; 12.35, stored just below, gives 12.3), a point as separator whatever the locale,
// right-aligned in 8 characters, longer values in full. A value that rounds to zero is "0.0".
std::string FormatLogNumber(double value);

// The six pieces of a line in the order they are written: fields 1-2 with their tabs, field 3
// with its tab, field 4, fields 5-6 with their tabs, field 7 with its tab, field 8. There is no
// tab between field 4 and field 5. The line end is not part of them.
std::array<std::string, 6> LogPieces(const LogRow& row);

// The whole line as it stands in the file, with its CR LF.
std::string LogLineText(const LogRow& row);

// "data_dd_mm_yy__hh_nn.txt" for the opening time; `copy` 2, 3, ... gives "..._2.txt", "..._3.txt"
// for further logs opened in the same minute.
std::string LogFileName(const platform::LocalDateTime& at, int copy = 1);

// One open log file.
class DataLog : public state::DataLogFile {
public:
    // Creates the folder `dir` if it does not exist (one level) and a new file in it named from
    // the time `at` (readable and writable by the group in a shared folder, so that the next
    // operator can go on with it). An existing file (or whatever else has the name) is never
    // opened or emptied: the next free name "_2", "_3", ... is taken instead. Throws EInOutError.
    static std::unique_ptr<DataLog> Create(const std::filesystem::path& dir, const platform::LocalDateTime& at);

    // Appends to an existing regular file, opened under the open rule of platform/Files.h (a
    // FIFO, a device, a folder or another user's link in a shared folder is refused, with a text
    // that names the file); a file whose last line lacks its CR LF (its writer was killed) gets
    // it before the next line. Throws EInOutError.
    static std::unique_ptr<DataLog> OpenExisting(const std::filesystem::path& file);

    // Opens this log's file again for appending after a failure closed it; never creates or
    // empties a file. A line the failure left incomplete is ended before the next one. Throws
    // EInOutError; the log then stays closed.
    void Reopen();

    ~DataLog() override; // closes quietly if still open
    DataLog(const DataLog&) = delete;
    DataLog& operator=(const DataLog&) = delete;

    // Writes one line in its six pieces, the previous line's CR LF with the first of them.
    // Throws EInOutError; the line is then left incomplete.
    void Write(const LogRow& row);

    // Writes the last line's CR LF, if any, and closes the file; the file is closed afterwards
    // even when that fails. Throws EInOutError.
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    const std::filesystem::path& Path() const { return path_; }

private:
    DataLog(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::filesystem::path path_;
    bool lineEndPending_ = false;
};

// The folder of the logs: "Data" next to the executable.
std::filesystem::path DataLogDir();

// ---- The log of the regulator state (LogOpen, LogFile).

// Ends the current log, if any, and begins a new one in DataLogDir() named from the local time
// now; LogOpen becomes true. Throws EInOutError, and LogOpen then stays false.
void OpenDataLog(state::RegulatorState& s);

// LogOpen := false, then closes the log if one is open. Throws EInOutError (the log is released
// all the same).
void CloseDataLog(state::RegulatorState& s);

// What a refresh did with the data log.
enum class LogWriteResult { Nothing, Written, Resumed };

// Writes the line of the current state if LogOpen. A failing write closes the log (LogOpen
// false) and throws EInOutError, so that the failure is reported once; the closed log keeps its
// file name. While `resume` is true (regulation on), a refresh that finds the log closed by a
// failing write reopens that same file for appending and writes its line there (Resumed); when
// that fails again, nothing is reported and the next refresh tries again. The lines of the
// refreshes in between are lost. OpenDataLog and CloseDataLog end the retries.
LogWriteResult WriteDataLog(state::RegulatorState& s, bool resume = false);

// The open log of the state, or nullptr (also for a log closed by a failing write).
DataLog* OpenLog(const state::RegulatorState& s);

} // namespace persistence
