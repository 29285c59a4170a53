// The real program, set to continue an interrupted cycle without asking, killed with SIGKILL at
// random moments of a running cycle and started again, twenty times: every start continues the
// cycle where the run journal left it (within a second of the last logged cycle time), with the
// programs' setpoints, in the one data log of the cycle, whose earlier lines stay as they were.
#include "tests/support/SpawnProgram.h"
#include "tests/support/TempFiles.h"
#include "journal/RunJournal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string LogName = "data_08_12_26__13_19.txt";

using testsupport::ReadWholeFile;

std::vector<fs::path> DataLogs(const fs::path& data) {
    std::vector<fs::path> logs;
    for (const auto& entry : fs::directory_iterator(data)) {
        if (entry.path().filename().string().rfind("data_", 0) == 0) logs.push_back(entry.path());
    }
    return logs;
}

struct Line {
    double Time = -1;
    double Setpoint1 = -1;
};

// "  1234.5\t   110.0\t1\t    19.0  1234.5\t..." : the first two fields.
Line Parse(const std::string& text) {
    Line l;
    char* end = nullptr;
    l.Time = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\t') return {};
    l.Setpoint1 = std::strtod(end + 1, &end);
    if (end == nullptr || *end != '\t') return {};
    return l;
}

// The lines of a log text (the last one may lack its line end).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find("\r\n", at);
        out.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 2;
    }
    return out;
}

} // namespace

TEST(ResumeKill, EveryRestartContinuesTheKilledCycleInItsOneLog) {
    const testsupport::TTempDir temp("regulator-resume");
    const auto& dir = temp.Path();
    fs::create_directories(dir / "Data");
    const fs::path exe = testsupport::CopyProgramInto(dir, REGULATOR_PATH);
    std::ofstream(dir / "Regulator.ini", std::ios::binary)
        << "[Regulace]\r\nTvz=0,5\r\n[Prubeh1]\r\nCas1=0\r\nTeplota1=110\r\nCas2=105\r\nTeplota2=120\r\n"
        << "[Bezpecnost]\r\nPokracovat=1\r\n"; // a short control period: every run steps the programs

    // A cycle that was running at 100 s when the program went away a moment ago.
    journal::RunEntry start;
    start.WallTime = journal::EpochSeconds(std::chrono::system_clock::now());
    start.CycleTicks = 1000;
    start.CycleLength = 100000;
    start.Regulovat = true;
    start.NaPrubeh = true;
    start.ProgramStep1 = 1;
    start.Setpoint1 = 110;
    start.DataLog = LogName;
    journal::WriteRunJournal(dir / "Data" / "Regulator.run", start);
    std::ofstream(dir / "Data" / LogName, std::ios::binary).flush();

    std::mt19937 random(std::random_device{}());
    const fs::path log = dir / "Data" / LogName;
    std::string before;              // the log as the last kill left it
    double resumeFrom = 100.0;       // the cycle time the journal held at the last kill
    std::int32_t stepBefore = 1;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const pid_t pid = testsupport::SpawnOffscreen(exe);
        ASSERT_GT(pid, 0);
        // The first line of the continued cycle, then a kill at a random moment.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (ReadWholeFile(log).size() <= before.size() + 2 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1200));
        ASSERT_TRUE(testsupport::KillNow(pid));

        const std::string text = ReadWholeFile(log);
        ASSERT_EQ(DataLogs(dir / "Data").size(), 1u) << "a second log was begun";
        ASSERT_EQ(text.compare(0, before.size(), before), 0) << "earlier lines changed";
        const auto lines = Lines(text.substr(before.size() + (before.empty() ? 0 : 2)));
        ASSERT_FALSE(lines.empty()) << "nothing logged after the restart";
        if (!before.empty()) {
            EXPECT_EQ(text.substr(before.size(), 2), "\r\n");
        }
        for (const auto& l : lines) {
            const Line parsed = Parse(l);
            ASSERT_GE(parsed.Time, 0) << "[" << l << "]";
            // The programs go on from their steps: never the settings' setpoint nor 0.
            EXPECT_TRUE(parsed.Setpoint1 == 110.0 || parsed.Setpoint1 == 120.0) << l;
        }
        const double first = Parse(lines.front()).Time;
        EXPECT_GE(first, resumeFrom) << "the outage was counted back";
        EXPECT_LE(first, resumeFrom + 1.0) << "did not continue from the journal";

        const auto read = journal::ReadRunJournal(dir / "Data" / "Regulator.run");
        ASSERT_EQ(read.State, journal::RunJournalRead::Status::Ok) << read.Problem;
        EXPECT_FALSE(read.Entry.Finished);
        EXPECT_EQ(read.Entry.DataLog, LogName);
        EXPECT_GE(read.Entry.ProgramStep1, stepBefore);
        const double journalTime = static_cast<double>(read.Entry.CycleTicks) / 10.0;
        const double lastLogged = Parse(lines.back()).Time;
        EXPECT_LE(std::abs(lastLogged - journalTime), 1.0 + 1e-9)
            << "journal at " << journalTime << ", last line at " << lastLogged;

        before = text;
        resumeFrom = journalTime;
        stepBefore = read.Entry.ProgramStep1;
    }
    EXPECT_EQ(stepBefore, 2) << "the program never reached its second point";
}
