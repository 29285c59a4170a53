// The open rule of the file services (platform/Files.h) against real files: nothing but a regular
// file opens and nothing waits, another user's link in a shared folder is not followed, files
// made in a shared folder are the group's to write, and another operator's file in a sticky
// folder is rewritten in place. The cases with files of other owners need root to set them up.
#include "platform/Files.h"
#include "platform/Profile.h"
#include "tests/support/TempFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

namespace fs = std::filesystem;
using platform::FileRefusal;
using testsupport::ReadWholeFile;

namespace {

constexpr uid_t OtherUser = 4243;

// The refusal (or the system's error) that `open` throws; a default code when it throws none.
std::error_code Refusal(const std::function<void()>& open) {
    try {
        open();
    } catch (const std::system_error& e) {
        return e.code();
    }
    return {};
}

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Runs `body` as the user nobody in the given groups, in a child process; its exit code.
int AsNobody(const std::vector<gid_t>& groups, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(77);
        int code = 98;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

} // namespace

TEST(FilesOpenRule, OnlyRegularFilesOpenAndNothingWaits) {
    const testsupport::TTempDir dir("files-rule");
    const fs::path fifo = dir.Path() / "fifo.txt";
    const fs::path heardFifo = dir.Path() / "heard.txt";
    const fs::path folder = dir.Path() / "folder.txt";
    const fs::path device = dir.Path() / "device.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    ASSERT_EQ(::mkfifo(heardFifo.c_str(), 0666), 0);
    const int reader = ::open(heardFifo.c_str(), O_RDONLY | O_NONBLOCK); // a FIFO someone listens on
    ASSERT_GE(reader, 0);
    fs::create_directory(folder);
    fs::create_symlink("/dev/null", device); // the operator's own link, to a device

    for (const fs::path& p : {fifo, heardFifo, folder, device}) {
        const std::error_code refused = make_error_code(FileRefusal::NotRegularFile);
        EXPECT_EQ(Refusal([&] { platform::OpenForAppend(p); }), refused) << p;
        EXPECT_EQ(Refusal([&] { platform::OpenOrCreateForAppend(p); }), refused) << p;
        EXPECT_EQ(Refusal([&] { platform::ReadSmallFile(p, 100); }), refused) << p;
        EXPECT_EQ(Refusal([&] { platform::RewriteInPlace(p, "x"); }), refused) << p;
        EXPECT_EQ(refused.message(), "neni obycejny soubor");
    }
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_directory(folder));

    // A regular file, and the operator's own link to one, open as before.
    std::ofstream(dir.Path() / "plain.txt") << "abc";
    fs::create_symlink("plain.txt", dir.Path() / "link.txt");
    EXPECT_EQ(platform::ReadSmallFile(dir.Path() / "link.txt", 100), "abc");
}

TEST(FilesOpenRule, AnotherUsersLinkInASharedFolderIsNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a link of another user";
    const testsupport::TTempDir dir("files-links");
    const fs::path shared = dir.Path() / "shared";
    const fs::path victim = dir.Path() / "victim.txt";
    fs::create_directory(shared);
    std::ofstream(victim) << "[S]\nk=1\n";
    const fs::path planted = shared / "events.txt";
    fs::create_symlink(victim, planted);
    ASSERT_EQ(::lchown(planted.c_str(), OtherUser, OtherUser), 0);

    const std::error_code foreign = make_error_code(FileRefusal::ForeignLink);
    ASSERT_EQ(::chmod(shared.c_str(), 02775), 0); // the group may write it: shared
    EXPECT_EQ(Refusal([&] { platform::OpenOrCreateForAppend(planted); }), foreign);
    EXPECT_EQ(Refusal([&] { platform::ReadSmallFile(planted, 100); }), foreign);
    EXPECT_EQ(foreign.message(), "odkaz ve sdilene slozce patri jinemu uzivateli");
    const platform::ProfileFile settings(planted);
    EXPECT_THROW(settings.WriteString("S", "k", "$(id>x)"), platform::EProfileWrite);
    EXPECT_EQ(settings.ReadString("S", "k", "none"), "none");
    EXPECT_EQ(ReadWholeFile(victim), "[S]\nk=1\n");
    EXPECT_TRUE(fs::is_symlink(planted));

    // Root's links (an installation's) are followed there, and any link in a folder only its
    // owner may write.
    ASSERT_EQ(::lchown(planted.c_str(), 0, 0), 0);
    EXPECT_EQ(settings.ReadString("S", "k", "none"), "1");
    ASSERT_EQ(::lchown(planted.c_str(), OtherUser, OtherUser), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
    EXPECT_EQ(settings.ReadString("S", "k", "none"), "1");
}

TEST(FilesOpenRule, FilesMadeInASharedFolderAreTheGroupsToWrite) {
    const testsupport::TTempDir dir("files-group");
    const mode_t oldMask = ::umask(022);
    for (const bool setgid : {true, false}) {
        const fs::path folder = dir.Path() / (setgid ? "shared" : "own");
        fs::create_directory(folder);
        ASSERT_EQ(::chmod(folder.c_str(), setgid ? 02775 : 0755), 0);
        platform::CloseFile(platform::CreateNewFile(folder / "data.txt"));
        platform::CloseFile(platform::OpenOrCreateForAppend(folder / "events.txt"));
        platform::ReplaceFile(folder / "Regulator.run", "Verze=1\n");
        platform::ProfileFile(folder / "Regulator.ini").WriteString("MQTT", "Password", "secret");
        const mode_t shared = setgid ? 0664 : 0644;
        EXPECT_EQ(ModeOf(folder / "data.txt"), shared) << folder;
        EXPECT_EQ(ModeOf(folder / "events.txt"), shared) << folder;
        EXPECT_EQ(ModeOf(folder / "Regulator.run"), shared) << folder;
        // The settings hold a password: nothing for users outside the group.
        EXPECT_EQ(ModeOf(folder / "Regulator.ini"), setgid ? 0660u : 0640u) << folder;
    }
    ::umask(oldMask);
}

TEST(FilesOpenRule, AnotherOperatorsFileInAStickyFolderIsRewrittenInPlace) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to set up files of other owners";
    const testsupport::TTempDir dir("files-sticky");
    const gid_t group = 4242;
    const fs::path shared = dir.Path() / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(::chown(shared.c_str(), 0, group), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 03775), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const fs::path journal = shared / "Regulator.run";
    const fs::path settings = shared / "Regulator.ini";
    for (const fs::path& f : {journal, settings}) {
        std::ofstream(f) << "[S]\nk=written by the first operator, a longer text\n";
        ASSERT_EQ(::chown(f.c_str(), OtherUser, group), 0);
        ASSERT_EQ(::chmod(f.c_str(), 0660), 0);
    }
    std::ofstream(shared / "Regulator.run.tmp") << "left by the first operator";
    ASSERT_EQ(::chown((shared / "Regulator.run.tmp").c_str(), OtherUser, group), 0);

    // The second operator of the group may neither replace nor remove the first one's files,
    // but writes them all the same.
    ASSERT_EQ(AsNobody({group},
                       [&] {
                           if (platform::ReplacementRefused(journal) == false) return 1;
                           platform::ReplaceFile(journal, "[S]\nk=2\n");
                           platform::ProfileFile(settings).WriteString("S", "k", "3");
                           return 0;
                       }),
              0);
    EXPECT_EQ(ReadWholeFile(journal), "[S]\nk=2\n");
    EXPECT_EQ(ReadWholeFile(settings), "[S]\nk=3\n");
    for (const fs::path& f : {journal, settings}) {
        struct stat st {};
        ASSERT_EQ(::stat(f.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, OtherUser) << f;
        EXPECT_EQ(st.st_mode & 07777, 0660u) << f;
    }
}
