#include "LogRows.h"
#include "persistence/DataLog.h"
#include "persistence/DataLogRefresh.h"
#include "platform/Clock.h"
#include "platform/ProgramDir.h"
#include "tests/support/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using persistence::LogRow;

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FakeHeater : public state::HeaterSwitchControl {
public:
    explicit FakeHeater(bool on) : on_(on) {}
    bool Checked() const override { return on_; }
    void SetChecked(bool on) override { on_ = on; }

private:
    bool on_ = false;
};

// A temporary folder standing for the executable's folder, and a clock the test sets.
class DataLogFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/datalog_test_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        platform::SetProgramDir(dir_);
        platform::SetLocalClock([this] { return now_; });
        s_.SideState[1].HeaterSwitch = &heater1_;
        s_.SideState[2].HeaterSwitch = &heater2_;
    }
    void TearDown() override {
        s_.LogFile.reset();
        platform::SetLocalClock({});
        platform::SetProgramDir({});
        if (mounted_) ::umount2((dir_ / "Data").c_str(), MNT_DETACH);
        std::error_code ec;
        fs::permissions(dir_ / "Data", fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }

    // Mounts a small tmpfs on Data in a mount namespace of this process only, so nothing is left
    // behind whatever happens. False when the system does not allow it.
    bool MountData(const char* options, unsigned long flags) {
        static const bool privateNamespace = ::unshare(CLONE_NEWNS) == 0 &&
                                             ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        if (!privateNamespace) return false;
        fs::create_directories(dir_ / "Data");
        mounted_ = ::mount("tmpfs", (dir_ / "Data").c_str(), "tmpfs", flags, options) == 0;
        return mounted_;
    }

    fs::path dir_;
    platform::LocalDateTime now_{2026, 12, 7, 14, 5, 33};
    FakeHeater heater1_{true};
    FakeHeater heater2_{false};
    state::RegulatorState s_;
    bool mounted_ = false;
};

// ---- The line ------------------------------------------------------------------------------------

TEST(DataLogLine, ExampleLineByteForByte) {
    LogRow row;
    row.CycleTime = 12.3;
    row.Setpoint1 = 150;
    row.Heater1 = true;
    row.Temperature1 = 148.27;
    row.Setpoint2 = 0;
    row.Heater2 = false;
    row.Temperature2 = 21.0;
    const std::string line = persistence::LogLineText(row);
    EXPECT_EQ(line, "    12.3\t   150.0\t1\t   148.3    12.3\t     0.0\t0\t    21.0\r\n");
    EXPECT_EQ(line.size(), 56u + 2u);
    const std::array<std::string, 6> pieces = {"    12.3\t   150.0\t", "1\t", "   148.3", "    12.3\t     0.0\t", "0\t",
                                               "    21.0"};
    EXPECT_EQ(persistence::LogPieces(row), pieces);
}

TEST(DataLogLine, LongCycleTimeFollowsFieldFourDirectly) {
    LogRow row;
    row.CycleTime = 123456.7;
    row.Setpoint1 = 150;
    row.Temperature1 = -3.27;
    row.Temperature2 = 1e9;
    EXPECT_EQ(persistence::LogLineText(row),
              "123456.7\t   150.0\t0\t    -3.3123456.7\t     0.0\t0\t1000000000.0\r\n");
}

TEST(DataLogLine, OneDecimalHalfAwayFromZeroOnTheStoredValue) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {148.25, "   148.3"},  // exactly halfway: away from zero
        {-148.25, "  -148.3"},
        {12.35, "    12.3"},   // stored just below 12.35
        {148.27, "   148.3"},
        {150.0, "   150.0"},
        {0.25, "     0.3"},
        {0.05, "     0.1"},    // stored just above 0.05
        {-0.04, "     0.0"},   // no negative zero
        {0.0, "     0.0"},
        {-0.0, "     0.0"},
        {-3.27, "    -3.3"},
        {99999.95, " 99999.9"}, // stored below the tie
        {999999.25, "999999.3"},
        {12345678.96, "12345679.0"},
        {-1234567.8, "-1234567.8"},
    };
    for (const auto& c : cases) EXPECT_EQ(persistence::FormatLogNumber(c.value), c.text) << c.value;
}

TEST(DataLogLine, LabelsTruncateWhereTheLogRounds) {
    const struct {
        double value;
        const char* label;
        const char* log;
    } cases[] = {
        {148.27, "148,2", "   148.3"}, {150.49, "150,4", "   150.5"}, {150.0, "150", "   150.0"},
        {-3.27, "-3,2", "    -3.3"},  {19.0, "19", "    19.0"},     {-0.04, "0", "     0.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(persistence::TemperatureLabelText(c.value), c.label) << c.value;
        EXPECT_EQ(persistence::FormatLogNumber(c.value), c.log) << c.value;
    }
    EXPECT_EQ(persistence::CycleTimeLabelText(12.9), "12");
    EXPECT_EQ(persistence::CycleTimeLabelText(0.0), "0");
}

TEST(DataLogLine, FileNameFromTheOpeningTime) {
    EXPECT_EQ(persistence::LogFileName({2026, 12, 7, 14, 5, 59}), "data_07_12_26__14_05.txt");
    EXPECT_EQ(persistence::LogFileName({2027, 2, 1, 9, 5, 0}), "data_01_02_27__09_05.txt");
    EXPECT_EQ(persistence::LogFileName({2000, 1, 1, 0, 0, 0}, 3), "data_01_01_00__00_00_3.txt");
}

TEST(DataLogLine, ErrorTexts) {
    const struct {
        int error;
        const char* text;
    } cases[] = {
        {ENOENT, "File not found"},      {ENOTDIR, "Invalid filename"},  {ENAMETOOLONG, "Invalid filename"},
        {EMFILE, "Too many open files"}, {EACCES, "File access denied"}, {EROFS, "File access denied"},
        {ENOSPC, "Disk full"},           {EIO, "I/O error 5"},
    };
    for (const auto& c : cases) EXPECT_STREQ(persistence::InOutError(c.error).what(), c.text) << c.error;
}

// ---- Opening, writing, closing ---------------------------------------------------------------------

TEST_F(DataLogFolder, LinesReachTheFileAtOnceTheirLineEndWithTheNextLine) {
    persistence::OpenDataLog(s_);
    ASSERT_TRUE(s_.LogOpen);
    const fs::path file = dir_ / "Data" / "data_07_12_26__14_05.txt";
    EXPECT_EQ(persistence::OpenLog(s_)->Path(), file);
    EXPECT_EQ(ReadFile(file), "");

    s_.CycleTicks = 123;
    s_.Setpoint[1] = 150;
    s_.SideState[1].Temperature = 148.27;
    s_.SideState[2].Temperature = 21.0;
    persistence::WriteDataLog(s_);
    const std::string first = "    12.3\t   150.0\t1\t   148.3    12.3\t     0.0\t0\t    21.0";
    EXPECT_EQ(ReadFile(file), first);

    heater2_.SetChecked(true);
    persistence::WriteDataLog(s_);
    const std::string second = "    12.3\t   150.0\t1\t   148.3    12.3\t     0.0\t1\t    21.0";
    EXPECT_EQ(ReadFile(file), first + "\r\n" + second);

    persistence::CloseDataLog(s_);
    EXPECT_FALSE(s_.LogOpen);
    EXPECT_EQ(s_.LogFile, nullptr);
    EXPECT_EQ(ReadFile(file), first + "\r\n" + second + "\r\n");
    persistence::WriteDataLog(s_); // closed: nothing
    persistence::CloseDataLog(s_); // twice is harmless
    EXPECT_EQ(ReadFile(file), first + "\r\n" + second + "\r\n");
}

TEST_F(DataLogFolder, ASecondLogInTheSameMinuteNeverEmptiesTheFirst) {
    persistence::OpenDataLog(s_);
    persistence::WriteDataLog(s_);
    persistence::OpenDataLog(s_); // ends the first one
    persistence::WriteDataLog(s_);
    persistence::CloseDataLog(s_);
    persistence::OpenDataLog(s_);
    const auto data = dir_ / "Data";
    EXPECT_EQ(persistence::OpenLog(s_)->Path(), data / "data_07_12_26__14_05_3.txt");
    EXPECT_EQ(ReadFile(data / "data_07_12_26__14_05.txt").size(), 58u);
    EXPECT_EQ(ReadFile(data / "data_07_12_26__14_05_2.txt").size(), 58u);
    now_.Minute = 6;
    persistence::OpenDataLog(s_);
    EXPECT_EQ(persistence::OpenLog(s_)->Path(), data / "data_07_12_26__14_06.txt");
}

TEST_F(DataLogFolder, ALogContinuedAfterAKillGetsItsLastLineEndFirst) {
    const fs::path file = dir_ / "log.txt";
    const std::string killed = "line one\r\nline two"; // its writer died before the line end
    for (const std::string& before : {killed, killed + "\r\n", std::string()}) {
        std::ofstream(file, std::ios::binary) << before;
        auto log = persistence::DataLog::OpenExisting(file);
        log->Write(persistence::LogRow{});
        log->Close();
        const std::string line = persistence::LogLineText(persistence::LogRow{});
        const std::string glue = before == killed ? "\r\n" : "";
        EXPECT_EQ(ReadFile(file), before + glue + line) << before;
    }
}

TEST_F(DataLogFolder, AFullDiskIsReportedOnceAndTheLogClosed) {
    std::ofstream(dir_ / "full.txt").flush();
    s_.LogFile = persistence::DataLog::OpenExisting(dir_ / "full.txt");
    s_.LogOpen = true;
    try {
        FileSizeLimit full(0);
        persistence::WriteDataLog(s_);
        FAIL() << "no error";
    } catch (const persistence::EInOutError& e) {
        EXPECT_STREQ(e.what(), "Disk full");
        EXPECT_EQ(e.ErrorCode, 101);
    }
    EXPECT_FALSE(s_.LogOpen);
    EXPECT_EQ(persistence::OpenLog(s_), nullptr);
    EXPECT_NO_THROW(persistence::WriteDataLog(s_)); // no second report
    persistence::OpenDataLog(s_);                   // the next opening tries afresh
    EXPECT_TRUE(s_.LogOpen);
}

TEST_F(DataLogFolder, WhatIsNoLogFileIsRefusedByNameWithoutWaiting) {
    // A FIFO nobody reads would hold the program for ever; a folder or a device is no log.
    const fs::path fifo = dir_ / "data_fifo.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    fs::create_directory(dir_ / "data_folder.txt");
    fs::create_symlink("/dev/null", dir_ / "data_device.txt");
    for (const char* name : {"data_fifo.txt", "data_folder.txt", "data_device.txt"}) {
        try {
            persistence::DataLog::OpenExisting(dir_ / name);
            ADD_FAILURE() << name << " was opened";
        } catch (const persistence::EInOutError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Soubor dat odmitnut: " + (dir_ / name).string() + " (neni obycejny soubor)");
            EXPECT_EQ(e.ErrorCode, 5);
        }
    }
}

TEST_F(DataLogFolder, WhileRegulatingTheSameFileGoesOnAfterAFailedWrite) {
    using persistence::LogWriteResult;
    s_.CycleTicks = 123;
    s_.Setpoint[1] = 150;
    s_.SideState[1].Temperature = 148.27;
    s_.SideState[2].Temperature = 21.0;
    persistence::OpenDataLog(s_);
    persistence::WriteDataLog(s_, true);
    const fs::path file = persistence::OpenLog(s_)->Path();
    const std::string line = "    12.3\t   150.0\t1\t   148.3    12.3\t     0.0\t0\t    21.0";
    {
        FileSizeLimit full(fs::file_size(file) + 10); // the next line stops after 10 bytes
        EXPECT_THROW(persistence::WriteDataLog(s_, true), persistence::EInOutError);
        EXPECT_FALSE(s_.LogOpen);
        EXPECT_EQ(persistence::WriteDataLog(s_, true), LogWriteResult::Nothing); // still full: quiet
    }
    EXPECT_EQ(persistence::WriteDataLog(s_, false), LogWriteResult::Nothing); // not regulating: no retry
    heater2_.SetChecked(true);
    EXPECT_EQ(persistence::WriteDataLog(s_, true), LogWriteResult::Resumed);
    EXPECT_TRUE(s_.LogOpen);
    EXPECT_EQ(persistence::WriteDataLog(s_, true), LogWriteResult::Written);
    persistence::CloseDataLog(s_);
    // The broken line is ended, nothing before it is lost, and no other file was begun.
    const std::string resumed = line.substr(0, line.size() - 10) + "1\t    21.0"; // heater 2 now on
    EXPECT_EQ(ReadFile(file), line + "\r\n" + line.substr(0, 8) + "\r\n" + resumed + "\r\n" + resumed + "\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);

    // A new log ends the retries: the old file is never written again.
    persistence::OpenDataLog(s_);
    const fs::path second = persistence::OpenLog(s_)->Path();
    {
        FileSizeLimit full(0);
        EXPECT_THROW(persistence::WriteDataLog(s_, true), persistence::EInOutError);
    }
    persistence::OpenDataLog(s_);
    EXPECT_EQ(persistence::WriteDataLog(s_, true), LogWriteResult::Written);
    EXPECT_NE(persistence::OpenLog(s_)->Path(), second);
}

TEST_F(DataLogFolder, AFullFileSystemGivesDiskFull) {
    if (!MountData("size=4k", 0)) GTEST_SKIP() << "cannot mount a small file system here";
    persistence::OpenDataLog(s_);
    std::string error;
    for (int n = 0; n < 200 && error.empty(); ++n) {
        try {
            persistence::WriteDataLog(s_);
        } catch (const persistence::EInOutError& e) {
            error = e.what();
        }
    }
    EXPECT_EQ(error, "Disk full");
    EXPECT_FALSE(s_.LogOpen);
}

TEST_F(DataLogFolder, AReadOnlyDataFolderGivesFileAccessDenied) {
    fs::create_directories(dir_ / "Data");
    if (::geteuid() == 0) {
        // Permissions do not stop the superuser: mount a read-only file system there instead.
        if (!MountData("size=4k", MS_RDONLY)) GTEST_SKIP() << "running as root and cannot mount";
    } else {
        fs::permissions(dir_ / "Data", fs::perms::owner_read | fs::perms::owner_exec);
    }
    try {
        persistence::OpenDataLog(s_);
        FAIL() << "no error";
    } catch (const persistence::EInOutError& e) {
        EXPECT_STREQ(e.what(), "File access denied");
    }
    EXPECT_FALSE(s_.LogOpen);
    EXPECT_NO_THROW(persistence::WriteDataLog(s_));
}

TEST_F(DataLogFolder, DataThatIsNoFolderGivesInvalidFilename) {
    std::ofstream(dir_ / "Data") << "x";
    try {
        persistence::OpenDataLog(s_);
        FAIL() << "no error";
    } catch (const persistence::EInOutError& e) {
        EXPECT_STREQ(e.what(), "Invalid filename");
    }
    EXPECT_FALSE(s_.LogOpen);
}

// ---- A process killed while it writes ------------------------------------------------------------

struct Writer {
    pid_t pid = -1;
    FILE* out = nullptr; // its line numbers
    int in = -1;         // the byte that lets it go on in step mode
};

// The writer beside this suite when it is there (./test runs the suite as nobody from a copy in a
// folder that user can reach, with the writer copied beside it), else the one the build made.
std::string WriterPath() {
    std::error_code ec;
    const fs::path beside = fs::read_symlink("/proc/self/exe", ec).parent_path() / "datalog_writer";
    return !ec && fs::exists(beside) ? beside.string() : std::string(DATALOG_WRITER);
}

Writer StartWriter(const fs::path& dir, const char* mode) {
    int toChild[2];
    int fromChild[2];
    EXPECT_EQ(::pipe(toChild), 0);
    EXPECT_EQ(::pipe(fromChild), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    const std::string d = dir.string();
    const std::string path = WriterPath();
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(d.c_str()), const_cast<char*>(mode), nullptr};
    Writer w;
    EXPECT_EQ(posix_spawn(&w.pid, path.c_str(), &actions, nullptr, argv, environ), 0) << path;
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    w.out = ::fdopen(fromChild[0], "r");
    w.in = toChild[1];
    return w;
}

long NextReported(Writer& w) {
    long n = -1;
    return std::fscanf(w.out, "%ld", &n) == 1 ? n : -1;
}

void Kill(Writer& w) {
    ::kill(w.pid, SIGKILL);
    int status = 0;
    ::waitpid(w.pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    std::fclose(w.out);
    ::close(w.in);
}

std::string ExpectedLines(long count) {
    std::string text;
    for (long n = 0; n < count; ++n) text += persistence::LogLineText(RowOf(n));
    return text;
}

TEST_F(DataLogFolder, KilledAfterARefreshLosesOnlyTheLastLineEnd) {
    Writer w = StartWriter(dir_, "step");
    for (long n = 0; n < 25; ++n) {
        ASSERT_EQ(NextReported(w), n);
        if (n < 24) {
            ASSERT_EQ(::write(w.in, "g", 1), 1);
        }
    }
    Kill(w); // while it waits after line 24
    const std::string expected = ExpectedLines(25);
    EXPECT_EQ(ReadFile(dir_ / "Data" / "data_07_12_26__14_05.txt"), expected.substr(0, expected.size() - 2));
}

TEST_F(DataLogFolder, KilledAtAnyMomentLosesOnlyTheLastLineEnd) {
    Writer w = StartWriter(dir_, "run");
    long reported = -1;
    while (reported < 3000) {
        const long n = NextReported(w);
        ASSERT_GE(n, 0) << "the writer ended after line " << reported;
        reported = n;
    }
    Kill(w);
    const std::string text = ReadFile(dir_ / "Data" / "data_07_12_26__14_05.txt");
    // Every line but the last is whole and in order; the last lacks only its line end.
    long n = 0;
    std::size_t at = 0;
    for (;; ++n) {
        const std::string line = persistence::LogLineText(RowOf(n));
        if (text.compare(at, line.size(), line) != 0) break;
        at += line.size();
    }
    EXPECT_GE(n, reported); // the line reported last is whole but for its line end
    const std::string rest = text.substr(at);
    const std::string last = persistence::LogLineText(RowOf(n));
    EXPECT_EQ(rest, last.substr(0, last.size() - 2));
}

} // namespace
