// The real program, killed with SIGKILL at some moment while it writes its data log, loses at
// most the last line's line end: every line before it is whole.
#include "tests/support/SpawnProgram.h"
#include "tests/support/TempFiles.h"
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A line as the log writes it: eight fields, six tabs, a point as decimal separator.
bool IsLogLine(const std::string& line) {
    int tabs = 0;
    for (char c : line) {
        if (c == '\t') {
            ++tabs;
        } else if (!(c == ' ' || c == '.' || c == '-' || (c >= '0' && c <= '9'))) {
            return false;
        }
    }
    return tabs == 6 && line.size() >= 56;
}

std::string ReadLog(const fs::path& data) {
    std::string text;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(data, ec)) {
        // The data log only, not the event journal beside it.
        if (entry.path().filename().string().rfind("data_", 0) != 0) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        text = s.str();
    }
    return text;
}

std::size_t CountLineEnds(const fs::path& data) {
    const std::string text = ReadLog(data);
    std::size_t n = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++n;
    return n;
}

TEST(ProgramKill, KilledWhileLoggingLosesAtMostTheLastLineEnd) {
    const testsupport::TTempDir temp("regulator-kill");
    const auto& dir = temp.Path();
    // The program keeps its files next to itself: run a copy in the temporary folder.
    const fs::path exe = testsupport::CopyProgramInto(dir, REGULATOR_PATH);

    std::mt19937 random(std::random_device{}());
    for (int round = 0; round < 3; ++round) {
        fs::remove_all(dir / "Data");
        const pid_t pid = testsupport::SpawnOffscreen(exe);
        ASSERT_GT(pid, 0);

        // A few refreshes (one line every 500 ms), then a kill at an arbitrary moment.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (CountLineEnds(dir / "Data") < 3 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 700));
        ASSERT_TRUE(testsupport::KillNow(pid));

        ASSERT_TRUE(fs::exists(dir / "Data"));
        const std::string text = ReadLog(dir / "Data");
        ASSERT_FALSE(text.empty()) << "no line was logged";
        // Whole lines with CR LF, then the last line without its line end.
        std::size_t at = 0;
        int lines = 0;
        for (;;) {
            const auto end = text.find("\r\n", at);
            if (end == std::string::npos) break;
            EXPECT_TRUE(IsLogLine(text.substr(at, end - at))) << "line " << lines;
            at = end + 2;
            ++lines;
        }
        EXPECT_TRUE(IsLogLine(text.substr(at))) << "last line: [" << text.substr(at) << "]";
        EXPECT_GE(lines, 2);
    }
}

} // namespace
