#include "journal/EventJournal.h"

#include "platform/Clock.h"
#include "tests/support/TempFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testsupport::ReadWholeFile;

struct FixedClock {
    FixedClock() {
        platform::SetLocalClock([] { return platform::LocalDateTime{2026, 12, 8, 14, 5, 3}; });
    }
    ~FixedClock() { platform::SetLocalClock({}); }
};

} // namespace

TEST(EventJournal, AppendsWholeLinesAndTellsListeners) {
    FixedClock clock;
    const testsupport::TTempDir temp("journal-lines");
    const auto& dir = temp.Path();
    journal::TEventJournal j(dir / "Data");
    std::vector<std::string> heard;
    j.AddListener([&](const journal::Event& e) { heard.push_back(e.Kind + "/" + std::to_string(e.Side)); });

    j.Record(0, "program-start", "Regulace teploty v2.9");
    j.Record(1, "port-lost", "line one\nline\ttwo\x1b[2J"); // a detail never breaks the line apart
    journal::TEventJournal again(dir / "Data");        // a later run appends, never empties
    again.Record(2, "stale", "");

    EXPECT_EQ(ReadWholeFile(dir / "Data" / "events.txt"),
              "2026-12-08 14:05:03\t-\tprogram-start\tRegulace teploty v2.9\r\n"
              "2026-12-08 14:05:03\t1\tport-lost\tline one line two?[2J\r\n"
              "2026-12-08 14:05:03\t2\tstale\t\r\n");
    EXPECT_EQ(heard, (std::vector<std::string>{"program-start/0", "port-lost/1"}));
    EXPECT_FALSE(j.TakeFailure());
}

TEST(EventJournal, AFailureIsHandedOutOncePerOutageAndNeverStopsTheListeners) {
    const testsupport::TTempDir temp("journal-fail");
    const auto& dir = temp.Path();
    std::ofstream(dir / "Data") << "a file where the folder should be";
    journal::TEventJournal j(dir / "Data");
    int heard = 0;
    j.AddListener([&](const journal::Event&) { ++heard; });

    j.Record(0, "report", "first");
    j.Record(0, "report", "second");
    const auto failure = j.TakeFailure();
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find("events.txt"), std::string::npos) << *failure;
    EXPECT_FALSE(j.TakeFailure()) << "the same outage is reported once";
    EXPECT_EQ(heard, 2);

    // The folder comes back: the journal writes again, and a later outage is reported afresh.
    std::filesystem::remove(dir / "Data");
    j.Record(0, "report", "third");
    EXPECT_FALSE(j.TakeFailure());
    EXPECT_NE(ReadWholeFile(dir / "Data" / "events.txt").find("third"), std::string::npos);
    std::filesystem::remove_all(dir / "Data");
    std::ofstream(dir / "Data") << "again";
    j.Record(0, "report", "fourth");
    EXPECT_TRUE(j.TakeFailure().has_value());
}

TEST(EventJournal, InASharedFolderEveryOperatorOfTheGroupMayAppend) {
    const testsupport::TTempDir temp("journal-shared");
    const auto& dir = temp.Path();
    std::filesystem::create_directories(dir / "Data");
    ASSERT_EQ(::chmod((dir / "Data").c_str(), 02775), 0);
    const mode_t old = ::umask(022); // an operator's usual mask would leave the file group-read-only
    journal::TEventJournal(dir / "Data").Record(0, "program-start", "");
    journal::TEventJournal(dir / "plain").Record(0, "program-start", "");
    ::umask(old);
    struct stat shared {};
    struct stat plain {};
    ASSERT_EQ(::stat((dir / "Data" / "events.txt").c_str(), &shared), 0);
    ASSERT_EQ(::stat((dir / "plain" / "events.txt").c_str(), &plain), 0);
    EXPECT_TRUE(shared.st_mode & S_IWGRP);
    EXPECT_FALSE(plain.st_mode & S_IWGRP) << "outside a shared folder the mask is respected";
}
