// The real program twice on the same folder, and ended by the system: the second copy says so
// and ends without touching anything of the first, and SIGTERM ends each of them within 3 s
// although a box stands open in both (the second copy's, and a report of the first's start-up).
#include "tests/support/SpawnProgram.h"
#include "tests/support/TempFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>


namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    for (const auto end = Clock::now() + limit; Clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// SIGTERM, then the time until the process has ended; its exit status in `status`.
std::chrono::milliseconds TerminateAndTime(pid_t pid, int& status) {
    const auto sent = Clock::now();
    ::kill(pid, SIGTERM);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() - sent > std::chrono::seconds(10)) {
            testsupport::KillNow(pid);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent);
}

} // namespace

TEST(SecondCopy, IsRefusedAndSigtermEndsBothWhateverBoxStands) {
    const testsupport::TTempDir temp("regulator-second");
    const auto& dir = temp.Path();
    const fs::path exe = testsupport::CopyProgramInto(dir, REGULATOR_PATH);
    // A parameter outside the model's domain: the first copy's start-up report stands open.
    std::ofstream(dir / "Regulator.ini") << "[Regulace]\r\nTi=0\r\n";
    auto journal = [&] { return testsupport::ReadWholeFile(dir / "Data" / "events.txt"); };

    const pid_t first = testsupport::SpawnOffscreen(exe, dir / "first.err");
    ASSERT_GT(first, 0);
    ASSERT_TRUE(WaitFor([&] { return Count(journal(), "\treport\t") >= 1; }, std::chrono::seconds(30))) << journal();

    const pid_t second = testsupport::SpawnOffscreen(exe, dir / "second.err");
    ASSERT_GT(second, 0);
    ASSERT_TRUE(WaitFor([&] { return testsupport::ReadWholeFile(dir / "second.err").find("Program uz bezi.") !=
                                     std::string::npos; },
                        std::chrono::seconds(30)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = 0;
    EXPECT_EQ(::waitpid(second, &status, WNOHANG), 0) << "its box waits for the operator";
    EXPECT_EQ(Count(journal(), "\tprogram-start\t"), 1) << "the second copy wrote nothing";
    int logs = 0;
    for (const auto& entry : fs::directory_iterator(dir / "Data"))
        logs += entry.path().filename().string().rfind("data_", 0) == 0 ? 1 : 0;
    EXPECT_EQ(logs, 1);

    const auto secondTook = TerminateAndTime(second, status);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by itself, not by its hard limit";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto firstTook = TerminateAndTime(first, status);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::printf("[ figure   ] SIGTERM to exit with a box open: second copy %lld ms, first copy %lld ms\n",
                static_cast<long long>(secondTook.count()), static_cast<long long>(firstTook.count()));
    EXPECT_LT(secondTook, std::chrono::seconds(3));
    EXPECT_LT(firstTook, std::chrono::seconds(3));
    EXPECT_NE(journal().find("\tprogram-exit\tukonceni systemem\r\n"), std::string::npos) << journal();
    EXPECT_EQ(Count(journal(), "\tprogram-exit\t"), 1);
}
