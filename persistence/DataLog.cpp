#include "persistence/DataLog.h"

#include "platform/Files.h"
#include "platform/ProgramDir.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <utility>

namespace persistence {
namespace {

constexpr int MaxCopiesPerMinute = 9999;

// A file the open rule refused is named, so that the operator can find what is in its place.
EInOutError FromSystem(const std::system_error& e, const std::filesystem::path& file) {
    if (e.code().category() == platform::FileRefusalCategory())
        return {5, "Soubor dat odmitnut: " + file.string() + " (" + e.code().message() + ")"};
    return InOutError(e.code().value());
}

std::string TwoDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", n % 100);
    return buf;
}

const char* HeaterText(bool on) { return on ? "1" : "0"; }

bool Checked(const state::HeaterSwitchControl* heater) { return heater != nullptr && heater->Checked(); }

// The file is not empty and does not end with a line end. A file that cannot be read tells
// nothing (no line end is added).
bool LastLineOpen(const std::filesystem::path& file) {
    try {
        const int fd = platform::OpenFile(file, platform::FileAccess::Read);
        char last = '\0';
        try {
            last = platform::LastByte(fd);
        } catch (const std::system_error&) {
        }
        platform::CloseFile(fd);
        return last != '\0' && last != '\n';
    } catch (const std::system_error&) {
        return false;
    }
}

} // namespace

EInOutError InOutError(int systemError) {
    switch (systemError) {
    case ENOENT:
        return {2, "File not found"};
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
        return {3, "Invalid filename"};
    case EMFILE:
    case ENFILE:
        return {4, "Too many open files"};
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return {5, "File access denied"};
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return {101, "Disk full"};
    default:
        return {systemError, "I/O error " + std::to_string(systemError)};
    }
}

LogRow CurrentRow(const state::RegulatorState& s) {
    LogRow row;
    row.CycleTime = s.CycleTime();
    row.Setpoint1 = s.Setpoint[1];
    row.Heater1 = Checked(s.SideState[1].HeaterSwitch);
    row.Temperature1 = s.SideState[1].Temperature;
    row.Setpoint2 = s.Setpoint[2];
    row.Heater2 = Checked(s.SideState[2].HeaterSwitch);
    row.Temperature2 = s.SideState[2].Temperature;
    return row;
}

std::string FormatLogNumber(double value) {
    std::string text;
    char buf[400];
    const double magnitude = std::fabs(value);
    // An exact tie (the value times 10 ends in exactly .5) happens only when the value times 20
    // is an odd whole number with no rounding in the product; it rounds away from zero. Every
    // other value is rounded correctly from its exact binary value by to_chars.
    const double twenty = magnitude * 20.0;
    const bool tie = std::isfinite(twenty) && std::fma(magnitude, 20.0, -twenty) == 0.0 &&
                     twenty == std::floor(twenty) && std::fmod(twenty, 2.0) == 1.0;
    if (tie) {
        const auto tenths = static_cast<unsigned long long>((twenty + 1.0) / 2.0);
        text = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
    } else {
        const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, 1);
        text.assign(buf, res.ptr);
    }
    if (std::signbit(value) && text != "0.0") text.insert(0, "-");
    if (text.size() < 8) text.insert(0, 8 - text.size(), ' ');
    return text;
}

std::array<std::string, 6> LogPieces(const LogRow& row) {
    const std::string time = FormatLogNumber(row.CycleTime);
    return {
        time + "\t" + FormatLogNumber(row.Setpoint1) + "\t",
        std::string(HeaterText(row.Heater1)) + "\t",
        FormatLogNumber(row.Temperature1),
        time + "\t" + FormatLogNumber(row.Setpoint2) + "\t",
        std::string(HeaterText(row.Heater2)) + "\t",
        FormatLogNumber(row.Temperature2),
    };
}

std::string LogLineText(const LogRow& row) {
    std::string line;
    for (const auto& piece : LogPieces(row)) line += piece;
    return line + "\r\n";
}

std::string LogFileName(const platform::LocalDateTime& at, int copy) {
    std::string name = "data_" + TwoDigits(at.Day) + "_" + TwoDigits(at.Month) + "_" + TwoDigits(at.Year) + "__" +
                       TwoDigits(at.Hour) + "_" + TwoDigits(at.Minute);
    if (copy > 1) name += "_" + std::to_string(copy);
    return name + ".txt";
}

std::unique_ptr<DataLog> DataLog::Create(const std::filesystem::path& dir, const platform::LocalDateTime& at) {
    try {
        platform::CreateDirectoryLevel(dir);
        for (int copy = 1;; ++copy) {
            auto path = dir / LogFileName(at, copy);
            try {
                const int fd = platform::CreateNewFile(path);
                return std::unique_ptr<DataLog>(new DataLog(fd, std::move(path)));
            } catch (const std::system_error& e) {
                if (e.code() != std::errc::file_exists || copy >= MaxCopiesPerMinute) throw;
            }
        }
    } catch (const std::system_error& e) {
        throw FromSystem(e, dir);
    }
}

std::unique_ptr<DataLog> DataLog::OpenExisting(const std::filesystem::path& file) {
    try {
        std::unique_ptr<DataLog> log(new DataLog(platform::OpenForAppend(file), file));
        // A log whose writer was killed lacks its last line's CR LF: it goes before the next line.
        log->lineEndPending_ = LastLineOpen(file);
        return log;
    } catch (const std::system_error& e) {
        throw FromSystem(e, file);
    }
}

void DataLog::Reopen() {
    if (fd_ >= 0) return;
    try {
        fd_ = platform::OpenForAppend(path_);
        lineEndPending_ = LastLineOpen(path_);
    } catch (const std::system_error& e) {
        throw FromSystem(e, path_);
    }
}

DataLog::~DataLog() {
    try {
        Close();
    } catch (...) {
        // Destruction has no one to report to; Close has released the descriptor.
    }
}

void DataLog::Write(const LogRow& row) {
    if (fd_ < 0) throw InOutError(EBADF);
    const auto pieces = LogPieces(row);
    // The previous line's end and the six pieces go to the system in one call, so a process
    // killed at any moment loses at most the last line's line end, never half a line.
    std::vector<std::string_view> out;
    if (lineEndPending_) out.emplace_back("\r\n");
    for (const auto& piece : pieces) out.emplace_back(piece);
    try {
        platform::WriteAllPieces(fd_, out);
    } catch (const std::system_error& e) {
        lineEndPending_ = false;
        throw FromSystem(e, path_);
    }
    lineEndPending_ = true;
}

void DataLog::Close() {
    if (fd_ < 0) return;
    const int fd = std::exchange(fd_, -1);
    try {
        platform::WriteAllAndClose(fd, std::exchange(lineEndPending_, false) ? "\r\n" : "");
    } catch (const std::system_error& e) {
        throw FromSystem(e, path_);
    }
}

std::filesystem::path DataLogDir() { return platform::ProgramDir() / "Data"; }

void OpenDataLog(state::RegulatorState& s) {
    if (s.LogFile) CloseDataLog(s);
    s.LogOpen = false;
    s.LogFile = DataLog::Create(DataLogDir(), platform::LocalNow());
    s.LogOpen = true;
}

void CloseDataLog(state::RegulatorState& s) {
    s.LogOpen = false;
    auto file = std::move(s.LogFile);
    if (auto* log = dynamic_cast<DataLog*>(file.get())) log->Close();
}

namespace {

// After a failing write: closes the file and keeps the log object, so that its file can be
// reopened (LogOpen stays false).
void CloseAfterFailure(state::RegulatorState& s, DataLog& log) {
    s.LogOpen = false;
    try {
        log.Close();
    } catch (const EInOutError&) {
        // The write's failure is the one that counts.
    }
}

} // namespace

LogWriteResult WriteDataLog(state::RegulatorState& s, bool resume) {
    auto* log = dynamic_cast<DataLog*>(s.LogFile.get());
    if (!s.LogOpen) {
        // A log closed by a failing write is tried again quietly; the failure was reported.
        if (!resume || log == nullptr || log->IsOpen()) return LogWriteResult::Nothing;
        try {
            log->Reopen();
            log->Write(CurrentRow(s));
        } catch (const EInOutError&) {
            CloseAfterFailure(s, *log);
            return LogWriteResult::Nothing;
        }
        s.LogOpen = true;
        return LogWriteResult::Resumed;
    }
    if (log == nullptr || !log->IsOpen()) {
        s.LogOpen = false;
        return LogWriteResult::Nothing;
    }
    try {
        log->Write(CurrentRow(s));
    } catch (const EInOutError&) {
        CloseAfterFailure(s, *log);
        throw;
    }
    return LogWriteResult::Written;
}

DataLog* OpenLog(const state::RegulatorState& s) {
    auto* log = dynamic_cast<DataLog*>(s.LogFile.get());
    return log != nullptr && log->IsOpen() ? log : nullptr;
}

} // namespace persistence
