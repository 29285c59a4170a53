#pragma once
// The real program for end-to-end tests: a copy in a temporary folder (it keeps its files next to
// itself) started on Qt's offscreen platform, to be killed or closed by the test.
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testsupport {

// Copies the program at `program` into `dir` and returns the copy's path.
inline std::filesystem::path CopyProgramInto(const std::filesystem::path& dir, const std::filesystem::path& program) {
    const std::filesystem::path exe = dir / program.filename();
    std::filesystem::copy_file(program, exe);
    std::filesystem::permissions(exe, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    return exe;
}

// Starts `exe` with this process's environment and QT_QPA_PLATFORM=offscreen, its standard error
// into `errors` when one is given; -1 on failure.
inline pid_t SpawnOffscreen(const std::filesystem::path& exe, const std::filesystem::path& errors = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = exe.string();
    char* argv[] = {path.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!errors.empty()) posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Kills the process with SIGKILL and waits for it; true when the signal ended it.
inline bool KillNow(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status);
}

} // namespace testsupport
