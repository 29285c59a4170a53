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

#include <fcntl.h>
#include <spawn.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Starts the program offscreen with its standard error going to `errors`.
pid_t SpawnWithErrors(const fs::path& exe, const fs::path& errors) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = exe.string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

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

    const pid_t first = SpawnWithErrors(exe, dir / "first.err");
    ASSERT_GT(first, 0);
    ASSERT_TRUE(WaitFor([&] { return Count(journal(), "\treport\t") >= 1; }, std::chrono::seconds(30))) << journal();

    const pid_t second = SpawnWithErrors(exe, dir / "second.err");
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
