// The profile file service against real files in a temporary folder.
#include "platform/Profile.h"
#include "tests/support/TempFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <grp.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::EProfileWrite;
using platform::ProfileFile;
using namespace std::string_literals;

namespace {

// A fresh folder for each test, gone at its end.
struct TempDir : testsupport::TTempDir {
    TempDir() : TTempDir("profile_test") {}
};

using testsupport::ReadWholeFile;

void WriteFile(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

// Files beside the settings file other than itself: leftovers of a write.
int StrayFiles(const fs::path& dir, const fs::path& keep) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path() != keep) ++n;
    return n;
}

// Runs `body` in a child process and returns its exit status (or 100 + signal). Used where a
// test changes process-wide things (file size limit, mount namespace) or kills the writer.
template <class Body> int InChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return 100 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

class ProfileTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path file = dir.Path() / "Regulator.ini";
    ProfileFile ini{file};
};

TEST_F(ProfileTest, ReadsValuesWithTheirDefaults) {
    WriteFile(file, "top=level\r\n"
                    "[Serial]\r\n"
                    "Com1 = COM7 \r\n"
                    "  Com2=\t\"COM8\"\t\r\n"
                    "Quoted=\"\"x\"\"\r\n"
                    "Half=\"x\r\n"
                    "Empty=\r\n"
                    "; Com3=COM9\r\n"
                    "no equals sign here\r\n"
                    "[ nastaveni ]  trailing\r\n"
                    "ZADANA1=abc\r\n"
                    "[Serial]\r\n"
                    "Com1=second copy\r\n"
                    "Com4=second copy\r\n");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Serial", "Com1", "COM7"},        // spaces around the value go
        {"SERIAL", "com2", "COM8"},        // case-blind names, tabs and one pair of quotes go
        {"Serial", "Quoted", "\"x\""},     // only one pair
        {"Serial", "Half", "\"x"},         // an unpaired quote stays
        {"Serial", "Empty", ""},           // present but empty is not missing
        {"Serial", "Com3", "def"},         // a comment is no key
        {"Serial", "top", "def"},          // keys before the first header belong to no section
        {"Nastaveni", "Zadana1", "abc"},   // spaces inside the brackets, text after them
        {"Serial", "Com4", "def"},         // only the first copy of a section is read
        {"Regulace", "r0", "def"},         // missing section
        {"Serial", "Com9", "def"},         // missing key
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadString(c.section, c.key, "def"), c.expected) << c.section << "/" << c.key;
}

TEST_F(ProfileTest, MissingOrUnusableFileGivesDefaults) {
    EXPECT_EQ(ini.ReadString("Serial", "Com1", "COM3"), "COM3");
    EXPECT_EQ(ini.ReadInteger("Prubeh1", "Cas1", -1), -1);
    fs::create_directory(file); // a folder where the file should be
    EXPECT_EQ(ini.ReadString("Serial", "Com1", "COM3"), "COM3");
    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); // would block a naive reader for ever
    EXPECT_EQ(ini.ReadString("Serial", "Com1", "COM3"), "COM3");
}

TEST_F(ProfileTest, IntegerAndBooleanForms) {
    struct Case {
        const char* stored;
        std::int32_t asInt;   // default 7
        bool asBoolFalseDef;  // default false
        bool asBoolTrueDef;   // default true
    } cases[] = {
        {"16", 16, true, true},
        {"0x10", 16, true, true},
        {"0X1f", 31, true, true},
        {" 0x10 ", 16, true, true},
        {"0x", 7, false, true},
        {"0xg", 7, false, true},
        {"0x80000000", 7, false, true},
        {"0x7FFFFFFF", 2147483647, true, true},
        {"-1", -1, true, true},
        {"+5", 5, true, true},
        {"+-5", 7, false, true}, // one sign only
        {"++5", 7, false, true},
        {"0", 0, false, false},
        {"2", 2, true, true},
        {"-2147483648", -2147483647 - 1, true, true},
        {"2147483648", 7, false, true},
        {"abc", 7, false, true},
        {"12abc", 7, false, true},
        {"1,5", 7, false, true},
        {"true", 7, false, true},
        {"", 7, false, true},
        {"\"42\"", 42, true, true},
    };
    for (const auto& c : cases) {
        WriteFile(file, std::string("[S]\nk=") + c.stored + "\n");
        EXPECT_EQ(ini.ReadInteger("S", "k", 7), c.asInt) << c.stored;
        EXPECT_EQ(ini.ReadBool("S", "k", false), c.asBoolFalseDef) << c.stored;
        EXPECT_EQ(ini.ReadBool("S", "k", true), c.asBoolTrueDef) << c.stored;
    }
    EXPECT_TRUE(ini.ReadBool("S", "missing", true));
    EXPECT_FALSE(ini.ReadBool("S", "missing", false));
}

TEST_F(ProfileTest, LongValuesAreCutOnReading) {
    const std::string longValue(5000, 'x');
    ini.WriteString("S", "k", longValue);
    EXPECT_NE(ReadWholeFile(file).find(longValue), std::string::npos); // written in full
    EXPECT_EQ(ini.ReadString("S", "k", ""), std::string(2047, 'x'));
    ini.WriteString("S", "k", std::string(2047, 'y'));
    EXPECT_EQ(ini.ReadString("S", "k", ""), std::string(2047, 'y'));
}

TEST_F(ProfileTest, NewFileSectionAndKeyAreCreatedWithCrLf) {
    ini.WriteString("Nastaveni", "Zadana1", "150");
    ini.WriteInteger("Prubeh1", "Cas1", -20);
    ini.WriteString("Nastaveni", "Zadana2", "151");
    ini.WriteBool("nastaveni", "UkazKom", true);
    EXPECT_EQ(ReadWholeFile(file), "[Nastaveni]\r\nZadana1=150\r\nZadana2=151\r\nUkazKom=1\r\n"
                              "[Prubeh1]\r\nCas1=-20\r\n");
    EXPECT_EQ(StrayFiles(dir.Path(), file), 0);
}

TEST_F(ProfileTest, WritesKeepEverythingElseByteForByte) {
    struct Case {
        const char* name;
        std::string before;
        std::string after; // after writing nastaveni/zadana1=99, Nastaveni/New=1, X/Y=2
    } cases[] = {
        {"LF file, odd case, comments and unknown lines",
         "; my notes\n[NASTAVENI]\nzadana1 = 150 ; old\n  weird line\n\n; about regulace\n[Regulace]\nr0=1\n",
         "; my notes\n[NASTAVENI]\nzadana1=99\nNew=1\n  weird line\n\n; about regulace\n[Regulace]\nr0=1\n[X]\nY=2\n"},
        {"CR LF file without a final line end",
         "[Nastaveni]\r\nZadana1=1\r\nOther=2",
         "[Nastaveni]\r\nZadana1=99\r\nOther=2\r\nNew=1\r\n[X]\r\nY=2\r\n"},
        {"header as the last line without a line end", "x\n[Nastaveni]",
         "x\n[Nastaveni]\nzadana1=99\nNew=1\n[X]\nY=2\n"},
        {"duplicate keys and sections: the first is written",
         "[Nastaveni]\nZadana1=1\nZadana1=2\n[Nastaveni]\nZadana1=3\n",
         "[Nastaveni]\nZadana1=99\nZadana1=2\nNew=1\n[Nastaveni]\nZadana1=3\n[X]\nY=2\n"},
        {"byte order mark, mixed line ends: the first decides", "\xEF\xBB\xBF[Nastaveni]\nA=1\r\n",
         "\xEF\xBB\xBF[Nastaveni]\nA=1\r\nzadana1=99\nNew=1\n[X]\nY=2\n"},
        {"binary garbage around", "\x01\x02\0\xff[\n[Nastaveni]\n\x80=\x81\n"s,
         "\x01\x02\0\xff[\n[Nastaveni]\n\x80=\x81\nzadana1=99\nNew=1\n[X]\nY=2\n"s},
    };
    for (const auto& c : cases) {
        WriteFile(file, c.before);
        ini.WriteString("nastaveni", "zadana1", "99");
        ini.WriteString("Nastaveni", "New", "1");
        ini.WriteString("X", "Y", "2");
        EXPECT_EQ(ReadWholeFile(file), c.after) << c.name;
        EXPECT_EQ(ini.ReadString("Nastaveni", "Zadana1", ""), "99") << c.name;
    }
}

TEST_F(ProfileTest, LoneCrAtTheEndReadsTheSameBeforeAndAfterAWrite) {
    WriteFile(file, "[S]\nA=5\r");
    EXPECT_EQ(ini.ReadString("S", "A", ""), "5");
    ini.WriteString("S", "B", "6"); // the lone CR now stands before an LF
    EXPECT_EQ(ReadWholeFile(file), "[S]\nA=5\r\nB=6\n");
    EXPECT_EQ(ini.ReadString("S", "A", ""), "5");
}

TEST_F(ProfileTest, ValueLineEndsCannotBreakTheFile) {
    ini.WriteString("S", "k", "a\r\n[Evil]\nb");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "a  [Evil] b");
    EXPECT_EQ(ini.ReadString("Evil", "b", "none"), "none");
}

TEST_F(ProfileTest, EraseRemovesEveryCopyOfTheSectionOnly) {
    WriteFile(file, "; head\r\n[Prubeh1]\r\nCas1=1\r\n; note inside\r\n[Other]\r\nA=1\r\n"
                    "[prubeh1]\r\nCas5=5\r\n[Last]\r\nB=2");
    ini.EraseSection("PRUBEH1");
    EXPECT_EQ(ReadWholeFile(file), "; head\r\n[Other]\r\nA=1\r\n[Last]\r\nB=2");
    EXPECT_EQ(ini.ReadInteger("Prubeh1", "Cas5", -1), -1);

    // Nothing to erase: the file is not touched at all (also not re-created).
    const auto stamp = fs::last_write_time(file);
    ini.EraseSection("Prubeh1");
    EXPECT_EQ(fs::last_write_time(file), stamp);
    fs::remove(file);
    ini.EraseSection("Prubeh1");
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(ProfileTest, NothingIsCachedBetweenCalls) {
    ini.WriteString("S", "k", "1");
    WriteFile(file, "[S]\nk=edited by hand\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "edited by hand");
    ini.WriteString("S", "j", "2");
    EXPECT_EQ(ReadWholeFile(file), "[S]\nk=edited by hand\nj=2\n");
}

TEST_F(ProfileTest, WriteKeepsPermissionsAndWritesThroughLinks) {
    WriteFile(file, "[S]\nk=1\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path link = dir.Path() / "link.ini";
    fs::create_symlink(file, link);
    ProfileFile viaLink(link);
    viaLink.WriteString("S", "k", "2");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(file), "[S]\nk=2\n");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // A relative link to a file not made yet: the file is made where the link points.
    fs::create_directory(dir.Path() / "shared");
    const fs::path dangling = dir.Path() / "dangling.ini";
    fs::create_symlink("shared/new.ini", dangling);
    ProfileFile(dangling).WriteString("S", "k", "3");
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ReadWholeFile(dir.Path() / "shared" / "new.ini"), "[S]\r\nk=3\r\n");
}

// Refused writes. As root, permission bits do not stop a write, so the refusals here come from
// the file system itself: a folder where the file should be, a folder path that runs through a
// plain file, a file size limit hit in the middle of the write (as a full disk would be), and a
// read-only bind mount in a private mount namespace. The permission-bit cases run only when not
// root.
void ExpectRefused(const ProfileFile& ini, const std::function<void()>& write) {
    try {
        write();
        ADD_FAILURE() << "the write was not refused";
    } catch (const EProfileWrite& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini.Path().string());
    }
}

TEST_F(ProfileTest, FolderInThePlaceOfTheFileIsRefused) {
    fs::create_directory(file);
    ExpectRefused(ini, [&] { ini.WriteString("S", "k", "1"); });
    ExpectRefused(ini, [&] { ini.EraseSection("S"); });
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_EQ(StrayFiles(dir.Path(), file), 0);
}

TEST_F(ProfileTest, FolderThatCannotExistIsRefused) {
    WriteFile(dir.Path() / "plain", "x");
    ProfileFile inside(dir.Path() / "plain" / "Regulator.ini");
    ExpectRefused(inside, [&] { inside.WriteString("S", "k", "1"); });
    ProfileFile missing(dir.Path() / "no such folder" / "Regulator.ini");
    ExpectRefused(missing, [&] { missing.WriteString("S", "k", "1"); });
}

TEST_F(ProfileTest, LinksStayLinksAndHardLinksStayJoined) {
    // A relative link to a file not made yet: the file is made through it.
    fs::create_directory(dir.Path() / "real");
    const fs::path relative = dir.Path() / "relative.ini";
    fs::create_symlink("real/Regulator.ini", relative);
    ProfileFile(relative).WriteString("S", "k", "1");
    EXPECT_TRUE(fs::is_symlink(relative));
    EXPECT_EQ(ReadWholeFile(dir.Path() / "real" / "Regulator.ini"), "[S]\r\nk=1\r\n");

    // A link into a missing folder is refused, and stays the link it was.
    const fs::path dangling = dir.Path() / "dangling.ini";
    const fs::path nowhere = dir.Path() / "missing" / "Regulator.ini";
    fs::create_symlink(nowhere, dangling);
    const ProfileFile viaDangling(dangling);
    ExpectRefused(viaDangling, [&] { viaDangling.WriteString("S", "k", "1"); });
    ExpectRefused(viaDangling, [&] {
        platform::ProfileWriteBatch batch(viaDangling);
        viaDangling.WriteString("S", "k", "1");
        batch.Commit();
    });
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(fs::read_symlink(dangling), nowhere);

    // A file with a second hard link is written in place: both names still show one file.
    WriteFile(file, "[S]\nk=old\n");
    const fs::path twin = dir.Path() / "twin.ini";
    fs::create_hard_link(file, twin);
    ini.WriteString("S", "k", "new");
    EXPECT_EQ(ReadWholeFile(twin), "[S]\nk=new\n");
    EXPECT_EQ(fs::hard_link_count(file), 2u);
}

TEST_F(ProfileTest, SavingKeepsTheOwnerOrAtLeastTheGroup) {
    // Another operator of the same group saves a file that someone else owns; then one who may
    // write it only through the permission bits for all.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to set up files of other owners";
    const uid_t owner = 4243;
    const gid_t group = 4242;
    WriteFile(file, "[S]\nk=old\n");
    ASSERT_EQ(::chown(file.c_str(), owner, group), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    fs::permissions(dir.Path(), fs::perms::all); // anyone may create files beside it
    auto saveAs = [&](std::vector<gid_t> groups, const char* value) {
        return InChild([&] {
            if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                return 77;
            ini.WriteString("S", "k", value);
            return 0;
        });
    };
    struct stat st {};
    ASSERT_EQ(saveAs({group}, "member"), 0);
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(ReadWholeFile(file), "[S]\nk=member\n");

    ASSERT_EQ(::chown(file.c_str(), owner, group), 0);
    ASSERT_EQ(saveAs({}, "outsider"), 0);
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, owner);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(ReadWholeFile(file), "[S]\nk=outsider\n");

    ini.WriteString("S", "k", "root"); // who may, keeps the whole owner
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, owner);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(StrayFiles(dir.Path(), file), 0);
}

TEST_F(ProfileTest, FailureInTheMiddleOfAWriteLeavesTheOldFileWhole) {
    const std::string old = "; keep me\r\n[S]\r\nk=old\r\n";
    WriteFile(file, old);
    // A file size limit makes the write of the temporary file fail part way, like a full disk.
    const int status = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 100000;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            ini.WriteString("S", "k", std::string(200000, 'n'));
        } catch (const EProfileWrite& e) {
            return std::string(e.what()) == "Unable to write to " + file.string() ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadWholeFile(file), old);
    EXPECT_EQ(StrayFiles(dir.Path(), file), 0);
}

TEST_F(ProfileTest, KilledWriterLeavesEitherTheOldOrTheNewFile) {
    const std::string oldValue(300000, 'o');
    const std::string newValue(300000, 'n');
    ini.WriteString("S", "k", oldValue);
    ini.WriteString("T", "x", "tail");
    const std::string oldFile = ReadWholeFile(file);
    std::string newFile = oldFile;
    newFile.replace(newFile.find(oldValue), oldValue.size(), newValue);

    std::mt19937 random(12345);
    for (int round = 0; round < 20; ++round) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(pipeFds[0]);
            for (int i = 0;; ++i) {
                ini.WriteString("S", "k", i % 2 ? oldValue : newValue);
                if (i == 0) (void)!::write(pipeFds[1], "x", 1);
            }
        }
        ::close(pipeFds[1]);
        char c = 0;
        ASSERT_EQ(::read(pipeFds[0], &c, 1), 1); // the writer is busy writing
        // Let it get a varying way into its next write before killing it.
        volatile unsigned spin = 0;
        for (unsigned i = random() % 2000000; i > 0; --i) spin = spin + 1;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        ::close(pipeFds[0]);
        const std::string now = ReadWholeFile(file);
        ASSERT_TRUE(now == oldFile || now == newFile) << "round " << round << ": " << now.size() << " bytes";
    }
    // A killed writer may leave its temporary file; the settings file itself is whole, and the
    // next write removes the leftovers.
    EXPECT_EQ(ini.ReadString("T", "x", ""), "tail");
    ini.WriteString("T", "x", "tail");
    EXPECT_EQ(StrayFiles(dir.Path(), file), 0);
}

TEST_F(ProfileTest, OnlyOurOwnLeftoversOfGoneWritersAreRemoved) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string dead = std::to_string(gone);
    const fs::path leftover = dir.Path() / ("Regulator.ini.tmp" + dead + "_3");
    const fs::path kept[] = {
        dir.Path() / "Regulator.ini.tmp1_0", // a writer that is still running (process 1 always is)
        dir.Path() / ("Other.ini.tmp" + dead + "_0"),
        dir.Path() / ("Regulator.ini.tmp" + dead),
        dir.Path() / ("Regulator.ini.tmp" + dead + "_3.bak"),
        dir.Path() / "Regulator.ini.tmpx_1",
    };
    for (const auto& p : kept) WriteFile(p, "x");
    WriteFile(leftover, "x");
    ini.WriteString("S", "k", "1");
    EXPECT_FALSE(fs::exists(leftover));
    WriteFile(leftover, "x");
    ini.RemoveLeftovers(); // as the program's start does
    EXPECT_FALSE(fs::exists(leftover));
    for (const auto& p : kept) EXPECT_TRUE(fs::exists(p)) << p;
}

TEST_F(ProfileTest, ReadOnlyMountRefusesFileAndFolder) {
    WriteFile(file, "[S]\r\nk=old\r\n");
    const fs::path other = dir.Path() / "New.ini";
    const int status = InChild([&] {
        if (::unshare(CLONE_NEWNS) != 0) return 77;
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
        const char* d = dir.Path().c_str();
        if (::mount(d, d, nullptr, MS_BIND, nullptr) != 0) return 77;
        if (::mount(nullptr, d, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) return 77;
        const std::string fileText = "Unable to write to " + file.string();
        const std::string otherText = "Unable to write to " + other.string();
        int failures = 0;
        try {
            ini.WriteString("S", "k", "new"); // an existing file on a read-only file system
            ++failures;
        } catch (const EProfileWrite& e) {
            if (e.what() != fileText) ++failures;
        }
        try {
            ini.EraseSection("S");
            ++failures;
        } catch (const EProfileWrite& e) {
            if (e.what() != fileText) ++failures;
        }
        try {
            ProfileFile(other).WriteString("S", "k", "new"); // a new file in a read-only folder
            ++failures;
        } catch (const EProfileWrite& e) {
            if (e.what() != otherText) ++failures;
        }
        // Reading still works.
        if (ini.ReadString("S", "k", "") != "old") ++failures;
        return failures;
    });
    if (status == 77) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadWholeFile(file), "[S]\r\nk=old\r\n");
}

TEST_F(ProfileTest, ReadOnlyPermissionsRefuseWhenNotRoot) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes whatever the permission bits say";
    WriteFile(file, "[S]\nk=old\n");
    fs::permissions(file, fs::perms::owner_read);
    ExpectRefused(ini, [&] { ini.WriteString("S", "k", "new"); });
    // Through a link the file is refused all the same, and the link stays.
    const fs::path link = dir.Path() / "link.ini";
    fs::create_symlink(file, link);
    const ProfileFile viaLink(link);
    ExpectRefused(viaLink, [&] { viaLink.WriteString("S", "k", "new"); });
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ini.ReadString("S", "k", ""), "old");
}

TEST_F(ProfileTest, WritableFileInAClosedFolderIsWrittenInPlaceWhenNotRoot) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes whatever the permission bits say";
    WriteFile(file, "[S]\nk=old\n");
    fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    ini.WriteString("S", "k", "new");
    {
        platform::ProfileWriteBatch batch(ini);
        ini.WriteString("S", "j", "2");
        batch.Commit();
    }
    EXPECT_EQ(ReadWholeFile(file), "[S]\nk=new\nj=2\n");
    EXPECT_EQ(StrayFiles(dir.Path(), file), 0);
    const ProfileFile other(dir.Path() / "New.ini"); // no new file can be made there
    ExpectRefused(other, [&] { other.WriteString("S", "k", "1"); });
}

TEST_F(ProfileTest, GarbageNeverBreaksReadingAndSurvivesWriting) {
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::string garbage(static_cast<std::size_t>(random() % 3000), '\0');
        for (auto& ch : garbage) {
            const unsigned r = random() % 16;
            ch = r < 3 ? "\n\r[]=;\" "[random() % 8] : static_cast<char>(random() % 256);
        }
        WriteFile(file, garbage);
        EXPECT_EQ(ini.ReadString("Nastaveni", "Zadana1", "150"), "150");
        ini.WriteString("Nastaveni", "Zadana1", "42");
        EXPECT_EQ(ini.ReadString("Nastaveni", "Zadana1", ""), "42");
        // The garbage holds no such section, so it stays in front, byte for byte.
        EXPECT_EQ(ReadWholeFile(file).compare(0, garbage.size(), garbage), 0) << "round " << round;
        ini.EraseSection("Nastaveni");
        EXPECT_EQ(ini.ReadString("Nastaveni", "Zadana1", "gone"), "gone");
        const std::string erased = ReadWholeFile(file);
        EXPECT_EQ(erased.compare(0, garbage.size(), garbage), 0) << "round " << round;
        EXPECT_LE(erased.size(), garbage.size() + 2) << "round " << round; // at most a line end added
    }
}

TEST_F(ProfileTest, HugeLinesAreReadInBoundedPieces) {
    // 8 MB without a line end, then the section: found, and written around.
    std::string big(8 * 1024 * 1024, 'z');
    WriteFile(file, big + "\n[S]\nk=found\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "found");
    ini.WriteString("S", "j", "1");
    EXPECT_EQ(ReadWholeFile(file), big + "\n[S]\nk=found\nj=1\n");
}

} // namespace

TEST(ProfileBatch, GivesTheSameFileAsSingleWritesInOneReplacement) {
    TempDir dir;
    const std::string start = "; kept\r\n[Prubeh1]\r\nCas1=5\r\nCas9=1\r\n[Other]\r\nx=1\r\n";
    const fs::path single = dir.Path() / "single.ini";
    const fs::path batched = dir.Path() / "batched.ini";
    WriteFile(single, start);
    WriteFile(batched, start);
    auto writeAll = [](const ProfileFile& f) {
        f.EraseSection("Prubeh1");
        for (int n = 1; n <= 3; ++n) f.WriteInteger("Prubeh1", "Cas" + std::to_string(n), n * 10);
        f.WriteString("Nastaveni", "Zadana1", "150,5");
        f.EraseSection("Missing");
    };
    writeAll(ProfileFile(single));

    const ProfileFile file(batched);
    struct stat before {};
    ASSERT_EQ(::stat(batched.c_str(), &before), 0);
    {
        platform::ProfileWriteBatch batch(file);
        writeAll(file);
        // Nothing reaches the file before the commit.
        EXPECT_EQ(ReadWholeFile(batched), start);
        batch.Commit();
    }
    EXPECT_EQ(ReadWholeFile(batched), ReadWholeFile(single));
    EXPECT_EQ(StrayFiles(dir.Path(), batched), 1); // only single.ini besides it
}

TEST(ProfileBatch, ARefusedFileIsRefusedAtTheFirstWrite) {
    TempDir dir;
    const fs::path where = dir.Path() / "Regulator.ini";
    fs::create_directory(where); // a folder where the file should be
    const ProfileFile file(where);
    platform::ProfileWriteBatch batch(file);
    EXPECT_THROW(file.WriteString("Regulace", "r0", "1"), EProfileWrite);
    EXPECT_NO_THROW(batch.Commit()); // nothing was gathered
    EXPECT_TRUE(fs::is_directory(where));
}
