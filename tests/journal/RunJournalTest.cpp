#include "journal/RunJournal.h"
#include "tests/support/TempFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using journal::RunJournalRead;

using testsupport::ReadWholeFile;

void Put(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

journal::RunEntry Running() {
    journal::RunEntry e;
    e.WallTime = 1796738400;
    e.CycleTicks = 12345;
    e.CycleLength = -5;
    e.BeepSent = true;
    e.Regulovat = true;
    e.NaPrubeh = true;
    e.ProgramStep1 = 3;
    e.ProgramStep2 = 100;
    e.Setpoint1 = 150;
    e.Setpoint2 = 120.25;
    e.DataLog = "data_08_12_26__13_19_2.txt";
    e.Alarms1.OverTemperature = true;
    e.Alarms2.RunawayThreshold = 85.5;
    e.Alarms2.SensorFault = true;
    return e;
}

} // namespace

TEST(RunJournal, AnEntryReadsBackAsWrittenInReadableText) {
    const testsupport::TTempDir temp("runjournal-roundtrip");
    const auto& dir = temp.Path();
    const auto file = dir / "Regulator.run";
    journal::WriteRunJournal(file, Running());
    const std::string text = ReadWholeFile(file);
    EXPECT_EQ(text.rfind("; ", 0), 0u);
    EXPECT_NE(text.find("\r\nVerze=2\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nUnik1=\r\nCidlo1=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nUnik2=85,5\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nCasCyklu=1234,5\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nZadana2=120,25\r\n"), std::string::npos);

    const auto read = journal::ReadRunJournal(file);
    ASSERT_EQ(read.State, RunJournalRead::Status::Ok) << read.Problem;
    EXPECT_EQ(read.Entry, Running());
    // Rewritten in place, with nothing left beside it.
    auto finished = Running();
    finished.Finished = true;
    finished.DataLog.clear();
    journal::WriteRunJournal(file, finished);
    EXPECT_EQ(journal::ReadRunJournal(file).Entry, finished);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST(RunJournal, AnythingButAWholeEntryOfThisVersionIsBroken) {
    const testsupport::TTempDir temp("runjournal-garbage");
    const auto& dir = temp.Path();
    const auto file = dir / "Regulator.run";
    EXPECT_EQ(journal::ReadRunJournal(file).State, RunJournalRead::Status::Missing);

    const std::string good = journal::RunEntryText(Running());
    auto with = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        const auto at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return t.replace(at, from.size(), to);
    };
    const std::string cases[] = {
        "",
        std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10),
        good.substr(0, good.size() / 2),            // truncated by hand
        with("Verze=2", "Verze=3"),                 // another version
        with("Verze=2", "Verze=1"),                 // an older version does not know the alarms
        with("Verze=2\r\n", ""),                    // no version
        with("Cidlo2=1\r\n", ""),                   // an alarm missing
        with("Unik2=85,5", "Unik2=hodne"),
        with("Regulovat=1", "Regulovat=ano"),
        with("Krok1=3", "Krok1=101"),               // beyond the program tables
        with("CasCyklu=1234,5", "CasCyklu=-1"),
        with("Zadana1=150", "Zadana1=1e999"),
        with("Zapsano=1796738400", "Zapsano=17967x"),
        with("DataLog=data_08_12_26__13_19_2.txt", "DataLog=../Regulator.ini"),
        with("Pipnuto=1\r\n", "Pipnuto=1\r\nPipnuto=1\r\n"),
        with("Pipnuto=1\r\n", "Pipnuto=1\r\nNeco=1\r\n"),
        with("Pipnuto=1\r\n", "Pipnuto=1\r\nbez rovnitka\r\n"),
        good + std::string(20000, ';'),             // far too long for a journal
    };
    for (const auto& text : cases) {
        Put(file, text);
        const auto read = journal::ReadRunJournal(file);
        EXPECT_EQ(read.State, RunJournalRead::Status::Broken) << "[" << text.substr(0, 80) << "]";
        EXPECT_FALSE(read.Problem.empty());
    }
    // LF line ends, a byte order mark and comments are fine: the operator may have looked at it
    // in an editor.
    std::string lf = good;
    for (auto at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at)) lf.erase(at, 1);
    Put(file, "\xEF\xBB\xBF; prohlednuto\n" + lf);
    EXPECT_EQ(journal::ReadRunJournal(file).State, RunJournalRead::Status::Ok);

    // A journal of the version before the alarms were kept reads with none.
    std::string older = with("Verze=2", "Verze=1");
    older.erase(older.find("Prehrati1="));
    Put(file, older);
    const auto read = journal::ReadRunJournal(file);
    ASSERT_EQ(read.State, RunJournalRead::Status::Ok) << read.Problem;
    EXPECT_EQ(read.Entry.Alarms1, journal::SideAlarms{});
    EXPECT_EQ(read.Entry.Alarms2, journal::SideAlarms{});
}

TEST(RunJournal, WriterKeepsToASecondOfCycleTimeAndFinishesOnce) {
    const testsupport::TTempDir temp("runjournal-writer");
    const auto& dir = temp.Path();
    const auto file = dir / "Regulator.run";
    journal::TRunJournal writer(file);
    auto ticksOnDisk = [&] { return journal::ReadRunJournal(file).Entry.CycleTicks; };

    auto e = Running();
    e.Alarms1 = e.Alarms2 = {};
    e.Finished = true;
    writer.Update(e, true); // no cycle ran in this session and no alarm stands: nothing to write
    EXPECT_FALSE(fs::exists(file));

    e.Finished = false;
    for (std::int64_t ticks : {100, 105, 109}) {
        e.CycleTicks = ticks;
        writer.Update(e, false);
    }
    EXPECT_EQ(ticksOnDisk(), 100);
    e.CycleTicks = 110;
    writer.Update(e, false);
    EXPECT_EQ(ticksOnDisk(), 110);
    e.CycleTicks = 3; // a new cycle
    writer.Update(e, false);
    EXPECT_EQ(ticksOnDisk(), 3);
    e.CycleTicks = 4;
    e.DataLog = "data_08_12_26__13_20.txt"; // a new log
    writer.Update(e, false);
    EXPECT_EQ(ticksOnDisk(), 4);
    e.CycleTicks = 5;
    writer.Update(e, true);
    EXPECT_EQ(ticksOnDisk(), 5);
    EXPECT_TRUE(writer.WroteCycle());

    e.Finished = true;
    e.CycleTicks = 7;
    writer.Update(e, false);
    EXPECT_TRUE(journal::ReadRunJournal(file).Entry.Finished);
    e.CycleTicks = 8;
    writer.Update(e, true);
    EXPECT_EQ(ticksOnDisk(), 7);
    // An alarm that latches with no cycle running is kept too: a restart must not release it.
    e.Alarms2.OverTemperature = true;
    writer.Update(e, false);
    EXPECT_TRUE(journal::ReadRunJournal(file).Entry.Alarms2.OverTemperature);
    EXPECT_FALSE(writer.TakeFailure());

    // A folder that cannot be written: reported once, and again after a success.
    journal::TRunJournal lost(dir / "missing" / "Regulator.run");
    lost.Finish(Running());
    EXPECT_TRUE(lost.TakeFailure());
    lost.Finish(Running());
    EXPECT_FALSE(lost.TakeFailure());

    // A cycle stopped while its "finished" could not be written: every following update tries
    // again, so the stopped cycle is never continued at the next start.
    journal::TRunJournal stopped(dir / "later" / "Regulator.run");
    e = Running();
    stopped.Update(e, true);
    e.Finished = true;
    stopped.Update(e, false);
    stopped.Update(e, false);
    EXPECT_FALSE(fs::exists(dir / "later" / "Regulator.run"));
    fs::create_directory(dir / "later");
    stopped.Update(e, false);
    EXPECT_TRUE(journal::ReadRunJournal(dir / "later" / "Regulator.run").Entry.Finished);
    // The same for an interrupted cycle given up at start-up.
    journal::TRunJournal givenUp(dir / "afterwards" / "Regulator.run");
    givenUp.Finish(Running());
    fs::create_directory(dir / "afterwards");
    e.CycleTicks = 1;
    givenUp.Update(e, false);
    EXPECT_TRUE(journal::ReadRunJournal(dir / "afterwards" / "Regulator.run").Entry.Finished);
}

TEST(RunJournal, AnUnfinishedCycleIsContinuedOnlyWithinTheOutageLimit) {
    using namespace std::chrono;
    const testsupport::TTempDir temp("runjournal-decide");
    const auto& dir = temp.Path();
    const auto entryTime = system_clock::time_point(seconds(Running().WallTime));
    struct Case {
        const char* ini;
        bool finished;
        int away; // s
        journal::ResumeChoice choice;
    } cases[] = {
        {"", true, 10, journal::ResumeChoice::Nothing},
        {"", false, 0, journal::ResumeChoice::Ask},
        {"", false, 599, journal::ResumeChoice::Ask},
        {"", false, 600, journal::ResumeChoice::TooOld},
        {"", false, -1, journal::ResumeChoice::TooOld}, // the clock went back
        {"[Bezpecnost]\nPokracovat=1\n", false, 30, journal::ResumeChoice::Continue},
        {"[Bezpecnost]\nMaxVypadek=0\nPokracovat=1\n", false, 0, journal::ResumeChoice::TooOld},
        {"[Bezpecnost]\nMaxVypadek=3600\n", false, 3599, journal::ResumeChoice::Ask},
        {"[Bezpecnost]\nMaxVypadek=abc\n", false, 700, journal::ResumeChoice::TooOld},
    };
    for (const auto& c : cases) {
        Put(dir / "Regulator.ini", c.ini);
        const auto settings = journal::ReadResumeSettings(platform::ProfileFile(dir / "Regulator.ini"));
        auto e = Running();
        e.Finished = c.finished;
        EXPECT_EQ(journal::DecideResume(e, entryTime + seconds(c.away), settings), c.choice)
            << c.ini << " away " << c.away;
    }
}
