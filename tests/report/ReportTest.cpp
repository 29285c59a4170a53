// Data logs read back as the log writer writes them, odd files, and the run summary.
#include "persistence/DataLog.h"
#include "report/BackgroundRead.h"
#include "report/CsvExport.h"
#include "report/DataLogReader.h"
#include "report/RunRecord.h"
#include "report/RunSettings.h"
#include "report/RunSummary.h"
#include "tests/support/TempFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using persistence::LogLineText;
using persistence::LogRow;
using report::ELogRead;
using report::LogTable;

LogRow Row(double time, double sp1, bool h1, double t1, double sp2, bool h2, double t2) {
    return {time, sp1, h1, t1, sp2, h2, t2};
}

std::string Text(const std::vector<LogRow>& rows) {
    std::string text;
    for (const LogRow& r : rows)
        text += LogLineText(r);
    return text;
}

std::int32_t Tenths(double v) {
    return static_cast<std::int32_t>(std::llround(v * 10.0));
}

// Rows covering what the writer can put in a line: negative values, zero, the heater states, a
// cycle time of 8 characters and more (no space before field 5), values that round.
const std::vector<LogRow> Rows = {
    Row(0.0, 0.0, false, 19.0, 0.0, false, 21.0),
    Row(12.3, 150.0, true, 148.27, 0.0, false, 21.0),
    Row(99.9, -40.0, false, -3.27, 1200.5, true, -0.04),
    Row(99999.9, 150.0, true, 150.0, 150.0, true, 9999.96),
    Row(123456.7, 155.0, false, 12345.6, 80.0, true, 80.0),
    Row(1000000.5, 1.0, true, -12345.6, 2.0, false, 0.0),
};

void ExpectRows(const LogTable& t, const std::vector<LogRow>& rows) {
    ASSERT_EQ(t.Size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(LogLineText(rows[i]));
        EXPECT_EQ(t.Time[i], Tenths(rows[i].CycleTime));
        EXPECT_EQ(t.Side1.Setpoint[i], Tenths(rows[i].Setpoint1));
        EXPECT_EQ(t.Side1.Heater[i], rows[i].Heater1 ? 1 : 0);
        EXPECT_EQ(t.Side1.Temperature[i], Tenths(rows[i].Temperature1));
        EXPECT_EQ(t.Side2.Setpoint[i], Tenths(rows[i].Setpoint2));
        EXPECT_EQ(t.Side2.Heater[i], rows[i].Heater2 ? 1 : 0);
        EXPECT_EQ(t.Side2.Temperature[i], Tenths(rows[i].Temperature2));
    }
}

TEST(DataLogReader, ReadsBackWhatTheWriterWritesInPiecesOfAnySize) {
    const std::string text = Text(Rows);
    ASSERT_NE(text.find("12345.6123456.7\t"), std::string::npos); // the long time follows field 4 directly
    ExpectRows(report::ParseLog(text), Rows);
    for (std::size_t piece : {1u, 2u, 3u, 7u, 57u, 58u}) {
        SCOPED_TRACE(piece);
        report::LogParser parser;
        for (std::size_t at = 0; at < text.size(); at += piece)
            parser.Feed(std::string_view(text).substr(at, piece));
        const LogTable t = parser.Finish();
        ExpectRows(t, Rows);
        EXPECT_FALSE(t.CutLastLine);
    }
}

TEST(DataLogReader, OddFiles) {
    const std::string whole = Text(Rows);
    const std::string last = LogLineText(Rows.back());
    const std::string lastBare = last.substr(0, last.size() - 2);
    const std::string head = whole.substr(0, whole.size() - last.size());
    struct Case {
        const char* what;
        std::string text;
        std::size_t lines;
        bool cut;
        std::size_t skipped;
    };
    const std::vector<Case> cases = {
        {"last line whole, without CR LF", head + lastBare, Rows.size(), false, 0},
        {"last line without LF", head + lastBare + "\r", Rows.size(), false, 0},
        {"last line cut inside its last number", head + lastBare.substr(0, lastBare.size() - 1),
         Rows.size() - 1, true, 0},
        {"last line cut after a tab", head + lastBare.substr(0, lastBare.find('\t') + 1), Rows.size() - 1,
         true, 0},
        {"blank lines", "\r\n" + head + "\r\n   \r\n\n" + last + "\r\n", Rows.size(), false, 0},
        {"LF line ends", LogLineText(Rows[0]).substr(0, 56) + "\n" + last, 2, false, 0},
        {"a broken line after the first", LogLineText(Rows[0]) + "garbage\r\n" + last, 2, false, 1},
        {"halves with different times",
         LogLineText(Rows[0]) + "    1.0\t   2.0\t1\t   3.0    1.5\t   2.0\t1\t   3.0\r\n", 1, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const LogTable t = report::ParseLog(c.text);
        EXPECT_EQ(t.Size(), c.lines);
        EXPECT_EQ(t.CutLastLine, c.cut);
        EXPECT_EQ(t.SkippedLines, c.skipped);
    }
    // The rows before a cut line are all there.
    ExpectRows(report::ParseLog(head + lastBare.substr(0, 20)),
               std::vector<LogRow>(Rows.begin(), Rows.end() - 1));

    const std::vector<std::pair<std::string, std::string>> bad = {
        {"", "empty data log"},
        {"\r\n  \r\n", "empty data log"},
        {"[Nastaveni]\r\nTeplota=150,0\r\n" + whole, "not a data log (line 1)"},
        {"\r\nTime,Temp\n" + whole, "not a data log (line 2)"},
        {std::string("\x7f"
                     "ELF\x02\x01\x01\0\0\0",
                     10),
         "not a data log (line 1)"},
        {"   12.3\t 150.0\t1\t", "no complete line in the data log"},
        {"   12,3\t   150,0\t1\t   148,3   12,3\t     0,0\t0\t    21,0\r\n", "not a data log (line 1)"},
    };
    for (const auto& [text, error] : bad) {
        SCOPED_TRACE(error);
        try {
            report::ParseLog(text);
            ADD_FAILURE() << "read as a log";
        } catch (const ELogRead& e) {
            EXPECT_EQ(std::string(e.what()), error);
        }
    }
}

// A file read in pieces whose line never ends (a binary file) is given up early, not gathered.
TEST(DataLogReader, OverlongLinesAreNotGathered) {
    auto feed = [](const std::string& text) {
        report::LogParser parser;
        for (std::size_t at = 0; at < text.size(); at += 4096)
            parser.Feed(std::string_view(text).substr(at, 4096));
        return parser.Finish();
    };
    const std::string junk(300000, 'x');
    const LogTable t = feed(LogLineText(Rows[0]) + junk + "\r\n" + LogLineText(Rows[1]) + junk);
    ExpectRows(t, {Rows[0], Rows[1]});
    EXPECT_EQ(t.SkippedLines, 2u);
    try {
        feed(junk + "\r\n" + Text(Rows));
        ADD_FAILURE() << "read as a log";
    } catch (const ELogRead& e) {
        EXPECT_EQ(std::string(e.what()), "not a data log (line 1)");
    }
}

TEST(DataLogReader, FilesThatCannotBeReadNameTheFileAndTheReason) {
    const testsupport::TTempDir temp("report_test");
    const auto& dir = temp.Path();
    std::filesystem::create_directories(dir / "data_01_01_27__00_00.txt");
    std::ofstream(dir / "empty.txt").close();
    std::ofstream(dir / "log.txt", std::ios::binary) << Text(Rows);
    std::uint64_t lastProgress = 0;
    const LogTable t = report::ReadLog(dir / "log.txt", [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, Text(Rows).size());
        lastProgress = done;
    });
    ExpectRows(t, Rows);
    EXPECT_EQ(lastProgress, Text(Rows).size());
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"data_01_01_27__00_00.txt", "data_01_01_27__00_00.txt: is a folder, not a data log"},
        {"empty.txt", "empty.txt: empty data log"},
        {"missing.txt", "missing.txt: no such file"},
    };
    for (const auto& [name, error] : bad) {
        try {
            report::ReadLog(dir / name);
            ADD_FAILURE() << name << " read as a log";
        } catch (const ELogRead& e) {
            EXPECT_EQ(std::string(e.what()), error);
        }
    }
}

TEST(BackgroundRead, HandsOverTheTableOrTheFailureAndForgetsADroppedRead) {
    const testsupport::TTempDir temp("report_bg");
    const auto& dir = temp.Path();
    std::ofstream(dir / "log.txt", std::ios::binary) << Text(Rows);
    {
        std::ofstream big(dir / "big.txt", std::ios::binary);
        for (int n = 0; n < 20000; ++n) // several pieces of a megabyte
            big << Text(Rows);
    }
    // Each read tells when it can be taken; one dropped early is simply forgotten.
    std::atomic<int> finished{0};
    auto awaitFinished = [&](int count) {
        for (int n = 0; n < 20000 && finished.load() < count; ++n)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return finished.load() == count;
    };
    report::TBackgroundRead good(dir / "log.txt", [&] { ++finished; });
    ASSERT_TRUE(awaitFinished(1));
    ASSERT_TRUE(good.Done());
    EXPECT_EQ(good.Percent(), 100);
    ExpectRows(good.Take(), Rows);
    report::TBackgroundRead missing(dir / "missing.txt", [&] { ++finished; });
    ASSERT_TRUE(awaitFinished(2));
    ASSERT_TRUE(missing.Done());
    EXPECT_THROW(
        try { missing.Take(); } catch (const ELogRead& e) {
            EXPECT_EQ(std::string(e.what()), "missing.txt: no such file");
            throw;
        },
        ELogRead);
    // Dropped at once: the read goes on alone to its next piece and must touch nothing of ours.
    { report::TBackgroundRead dropped(dir / "big.txt", [&] { ++finished; }); }
}

TEST(RunSummary, KnownAnswersOnASmallLogWithTwoCycles) {
    // Side 1 comes up to 100 and overshoots by 3.5; the second cycle starts above its setpoint,
    // which is no overshoot. Side 2's setpoint drops from 50 to 40 while it is at 45 (no
    // overshoot either) and then overshoots the new setpoint by 1.0.
    const std::vector<LogRow> rows = {
        Row(0.0, 100, true, 90.0, 50, true, 45.0),    Row(0.5, 100, true, 99.0, 50, true, 49.0),
        Row(1.0, 100, false, 101.0, 40, false, 45.0), Row(1.5, 100, false, 103.5, 40, false, 39.0),
        Row(2.0, 100, false, 100.0, 40, true, 41.0),  Row(0.0, 100, false, 105.0, 50, true, 50.0),
        Row(0.5, 100, true, 104.0, 50, false, 52.5),
    };
    const report::RunSummary s = report::Summarize(report::ParseLog(Text(rows)));
    EXPECT_EQ(s.Lines, 7u);
    EXPECT_EQ(s.Cycles, 2);
    EXPECT_EQ(s.Duration, 25); // 2.0 s and 0.5 s
    EXPECT_EQ(s.Side1.MinTemperature, 900);
    EXPECT_EQ(s.Side1.MaxTemperature, 1050);
    EXPECT_EQ(s.Side1.MaxOvershoot, 35);
    EXPECT_EQ(s.Side1.TimeInBand, 10);
    EXPECT_EQ(s.Side1.HeaterOnLines, 3u);
    EXPECT_EQ(s.Side2.MinTemperature, 390);
    EXPECT_EQ(s.Side2.MaxTemperature, 525);
    EXPECT_EQ(s.Side2.MaxOvershoot, 10);
    EXPECT_EQ(s.Side2.TimeInBand, 15);
    EXPECT_EQ(s.Side2.HeaterOnLines, 4u);
    EXPECT_NEAR(s.HeaterDuty(2), 4.0 / 7.0, 1e-12);
    EXPECT_NEAR(s.InBandShare(2), 0.6, 1e-12);
    // Side 1 comes within 2 degC at 0.5 s and holds up to +3.5; side 2 at 0.5 s, then holds the
    // new setpoint from 39.0 (-1.0) and the next cycle's up to +2.5.
    EXPECT_EQ(s.Side1.ReachTime, 5);
    EXPECT_EQ(s.Side1.MaxHoldDeviation, 35);
    EXPECT_EQ(s.Side2.ReachTime, 5);
    EXPECT_EQ(s.Side2.MaxHoldDeviation, 25);

    // A cycle that went on after an outage is one cycle: back by a second, or forward by the
    // outage, whose time is no duration.
    const report::RunSummary resumed = report::Summarize(
        report::ParseLog(Text({Row(0.0, 0, false, 20, 0, false, 20), Row(1.0, 100, true, 20, 0, false, 20),
                               Row(2.0, 100, true, 20, 0, false, 20), Row(1.5, 100, true, 20, 0, false, 20),
                               Row(2.0, 100, true, 20, 0, false, 20), Row(302.0, 100, true, 20, 0, false, 20),
                               Row(302.5, 100, true, 20, 0, false, 20)})));
    EXPECT_EQ(resumed.Cycles, 1);
    EXPECT_EQ(resumed.Duration, 30);
    EXPECT_EQ(resumed.Side1.ReachTime, -1);
    EXPECT_FALSE(resumed.Side1.Held);

    // A log that begins in the middle of a cycle (opened by a Stop) begins no cycle.
    EXPECT_EQ(report::Summarize(report::ParseLog(LogLineText(Row(345.5, 0, false, 20, 0, false, 20)))).Cycles,
              0);

    EXPECT_EQ(report::TenthsText(1483), "148,3");
    EXPECT_EQ(report::TenthsText(-33), "-3,3");
    EXPECT_EQ(report::TenthsText(-3), "-0,3");
    EXPECT_EQ(report::DurationText(36005), "1:00:00,5");
    EXPECT_EQ(report::DurationText(6048000), "7 d 0:00:00,0");
    EXPECT_EQ(report::PercentText(4.0 / 7.0), "57,1 %");
}

TEST(CsvExport, OneRowPerLineWithAHeaderInBothForms) {
    const LogTable log = report::ParseLog(Text({Rows[1], Rows[2], Rows[4]}));
    EXPECT_EQ(report::CsvText(log), std::string(report::CsvHeader) +
                                        "12.3,150.0,1,148.3,0.0,0,21.0\r\n"
                                        "99.9,-40.0,0,-3.3,1200.5,1,0.0\r\n"
                                        "123456.7,155.0,0,12345.6,80.0,1,80.0\r\n");
    EXPECT_EQ(report::CsvText(log, report::CsvForm::Czech), std::string(report::CsvHeaderCzech) +
                                                                "12,3;150,0;1;148,3;0,0;0;21,0\r\n"
                                                                "99,9;-40,0;0;-3,3;1200,5;1;0,0\r\n"
                                                                "123456,7;155,0;0;12345,6;80,0;1;80,0\r\n");
}

// A resumed run, 13:19:05 to 13:25:30 with an outage from 13:20:00 to 13:23:30: the lines of
// one cycle, which went on at the time it had (55 s), with the window's start-up temperatures
// (19,0 and 21,0) until the units reported again.
std::string ResumedLog() {
    std::vector<LogRow> rows;
    for (int n = 0; n <= 110; ++n) // 0 to 55 s
        rows.push_back(Row(n * 0.5, n < 2 ? 0 : 100, true, 20 + n * 0.5, 0, false, 30));
    for (int n = 0; n <= 240; ++n) // 55 s on, up to 175 s
        rows.push_back(Row(55.0 + n * 0.5, 100, false, n < 2 ? 19.0 : 100, 0, false, n < 3 ? 21.0 : 30));
    return Text(rows);
}

TEST(RunRecord, TimesEventsAndOutagesOfAResumedRunFromTheJournal) {
    const LogTable log = report::ParseLog(ResumedLog());
    const std::string journal =
        "2026-12-08 13:10:00\t-\tprogram-start\tRegulace teploty v2.9\r\n"
        "2026-12-08 13:19:05\t-\tcycle-start\tobsluha\r\n"
        "2026-12-08 13:19:06\t-\ttelemetry\tpripojeno\r\n"
        "2026-12-08 13:19:30\t2\tstale\tStrana 2: zadna teplota 10 s, topeni vypnuto.\r\n"
        "2026-12-08 13:19:30\t-\treport\tRegulace teploty: Strana 2: zadna teplota 10 s, "
        "topeni vypnuto.\r\n"
        "2026-12-08 13:19:3\r\n" // a line that is no event
        "2026-12-08 13:23:25\t-\tprogram-start\tRegulace teploty v2.9\r\n"
        "2026-12-08 13:23:25\t1\tport-back\tCOM3\r\n"
        "2026-12-08 13:23:25\t-\tcycle-interrupted\tcas 55 s, vypadek 205 s\r\n"
        "2026-12-08 13:23:30\t-\tcycle-resumed\tcas 55 s\r\n"
        "2026-12-08 13:24:00\t1\trunaway\tStrana 1: topeni nevypina\r\n"
        "2026-12-08 13:24:10\t1\tchange\tr0: 0,02 -> 0,03\r\n"
        "2026-12-08 13:25:30\t-\tcycle-end\tkonec cyklu\r\n"
        "2026-12-08 13:26:00\t-\tprogram-exit\t\r\n";
    const std::vector<report::LoggedEvent> events = report::ParseEvents(journal);
    ASSERT_EQ(events.size(), 13u);
    const report::RunRecord r = report::FindRun(log, "data_08_12_26__13_19.txt", events);
    ASSERT_TRUE(r.Start && r.End);
    EXPECT_TRUE(r.StartToTheSecond);
    EXPECT_TRUE(r.EndFromJournal);
    EXPECT_EQ(report::DateText(*r.Start) + " " + report::ClockText(*r.Start), "08.12.2026 13:19:05");
    EXPECT_EQ(report::ClockText(*r.End), "13:25:30");
    ASSERT_EQ(r.Outages.size(), 1u);
    EXPECT_EQ(r.Outages[0].Line, 111u); // the line that repeats the cycle time
    EXPECT_EQ(r.Outages[0].NoReading1, 2u);
    EXPECT_EQ(r.Outages[0].NoReading2, 3u);
    EXPECT_EQ(report::ClockText(*r.Outages[0].From), "13:20:00");
    EXPECT_EQ(r.Outages[0].Seconds(), 210);
    // The box that repeated an alarm and the broker's note are not listed; a kind of event the
    // report does not know is.
    std::vector<std::string> kinds;
    for (const report::LoggedEvent& e : report::TableEvents(r))
        kinds.push_back(e.Kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"cycle-start", "stale", "program-start", "port-back",
                                               "cycle-interrupted", "cycle-resumed", "runaway", "change",
                                               "cycle-end"}));
    EXPECT_EQ(report::EventName("runaway"), "Topeni nevypina");
    EXPECT_EQ(report::EventName("calibration"), "calibration");
    EXPECT_TRUE(report::IsAlarm("sensor-fault"));
    EXPECT_FALSE(report::IsAlarm("recovered"));

    // Events fall on the lines written at their time: 25 s after the start, and 30 s after the resume.
    const std::vector<double> x = report::RunTimes(log);
    EXPECT_EQ(r.Events[2].Kind, "stale");
    EXPECT_EQ(report::EventRunTime(r, log, x, r.Events[2].Time), 25.0);
    EXPECT_EQ(report::EventRunTime(r, log, x, *r.Outages[0].To + 30), 85.0);

    // The start-up temperatures are no readings: not the coldest, no deviation while holding.
    const report::RunSummary raw = report::Summarize(log);
    const report::RunSummary summary =
        report::Summarize(log, [&r](int side, std::size_t i) { return r.NoReading(side, i); });
    EXPECT_EQ(raw.Side1.MinTemperature, 190);
    EXPECT_EQ(summary.Side1.MinTemperature, 200);
    EXPECT_EQ(summary.Side2.MinTemperature, 300);
    const auto rows = report::RecordRows(summary, r);
    const auto interrupted = std::find_if(rows.begin(), rows.end(),
                                          [](const auto& row) { return row.Label == "Preruseni cyklu"; });
    ASSERT_NE(interrupted, rows.end());
    EXPECT_EQ(interrupted->Side1, "1x, vypadek 3 min 30 s");
    EXPECT_EQ((interrupted - 1)->Side1, "1"); // "Pocet cyklu"

    // A shutdown that kept the cycle is bridged the same way, from the moment it was marked.
    const report::RunRecord shutdown = report::FindRun(
        log, "data_08_12_26__13_19.txt",
        report::ParseEvents(
            "2026-12-08 13:19:05\t-\tcycle-start\tobsluha\r\n"
            "2026-12-08 13:20:00\t-\tcycle-interrupted\tukonceni systemem, cas 55 s, lze pokracovat\r\n"
            "2026-12-08 13:20:00\t1\theaters-off\tCOM3\r\n"
            "2026-12-08 13:20:01\t-\tprogram-exit\tukonceni systemem\r\n"
            "2026-12-08 13:23:25\t-\tprogram-start\tRegulace teploty v2.9\r\n"
            "2026-12-08 13:23:25\t-\tcycle-interrupted\tcas 55 s, vypadek 205 s\r\n"
            "2026-12-08 13:23:30\t-\tcycle-resumed\tcas 55 s\r\n"
            "2026-12-08 13:25:30\t-\tcycle-end\tkonec cyklu\r\n"));
    ASSERT_EQ(shutdown.Outages.size(), 1u);
    EXPECT_EQ(shutdown.Outages[0].Seconds(), 210);
    EXPECT_TRUE(shutdown.EndFromJournal);
    EXPECT_EQ(report::ClockText(*shutdown.End), "13:25:30");

    // Without the journal the lines tell: the minute of the name, half a second a line; a time
    // written twice alone is no outage.
    const report::RunRecord alone = report::FindRun(log, "data_08_12_26__13_19.txt", {});
    EXPECT_FALSE(alone.StartToTheSecond);
    EXPECT_FALSE(alone.EndFromJournal);
    EXPECT_EQ(report::ClockText(*alone.Start), "13:19:00");
    EXPECT_EQ(report::ClockText(*alone.End), "13:21:56"); // 352 lines
    EXPECT_TRUE(alone.Outages.empty());
    const report::RunRecord back = report::FindRun(
        report::ParseLog(Text({Row(20.0, 100, true, 50, 0, false, 30), Row(20.5, 100, true, 50, 0, false, 30),
                               Row(20.0, 100, true, 50, 0, false, 30)})),
        "run.txt", {});
    ASSERT_EQ(back.Outages.size(), 1u); // the cycle time went back: an outage of unknown length
    EXPECT_EQ(back.Outages[0].Line, 2u);
    EXPECT_FALSE(back.Outages[0].Seconds());
    EXPECT_FALSE(back.Start);
    // The second log of a minute begins at the minute's second opening event.
    const report::RunRecord second = report::FindRun(log, "data_08_12_26__13_19_2.txt", events);
    EXPECT_FALSE(second.StartToTheSecond);
    for (const char* name :
         {"data_08_12_26__13_19.csv", "data_31_02_26__13_19.txt", "data_08_12_26__13_19_1.txt", "run.txt"})
        EXPECT_FALSE(report::ParseLogName(name)) << name;
}

TEST(RunSettings, TodaysSettingsAreBroughtBackToTheRunsStartByTheJournalsChangeRecords) {
    const testsupport::TTempDir temp("report_settings");
    std::ofstream(temp.Path() / "Regulator.ini", std::ios::binary)
        << "[Serial]\r\nCom1=COM5\r\n[Nastaveni]\r\nDelkaCyklu=600\r\n[Regulace]\r\nr0=0,03\r\nTi=31,5\r\n"
           "Td_2=4\r\nTvz=5\r\nT1=40\r\n[Bezpecnost]\r\nMaxT1=160\r\n[Prubeh1]\r\nCas1=600\r\nTeplota1="
           "150\r\n"
           "Cas2=0\r\nTeplota2=100\r\n[Protokol]\r\nStrana2=Dolni zona\r\n";
    const report::RunSettings today = report::ReadRunSettings(temp.Path() / "Regulator.ini");
    ASSERT_TRUE(today.Found);
    EXPECT_EQ(today.Side1.Port, "COM5");
    EXPECT_EQ(today.Side2.Port, "COM4");
    EXPECT_EQ(today.Side2.Name, "Dolni zona");
    EXPECT_EQ(today.Side2.Td.Value, "4");
    EXPECT_TRUE(today.Side2.Td.Own);
    EXPECT_FALSE(today.Side2.r0.Own);
    EXPECT_EQ(today.Side1.Program, (std::vector<report::ProgramPoint>{{0, 100}, {600, 150}}));
    const auto rows = report::SettingRows(today);
    auto row = [&rows](const std::string& label) {
        return *std::find_if(rows.begin(), rows.end(),
                             [&](const report::SettingRow& r) { return r.Label == label; });
    };
    EXPECT_EQ(row("Td [s]").Side2, "4 (vlastni)");
    EXPECT_EQ(row("Ti [s]").Side2, "31,5");
    EXPECT_EQ(row("r0").Side1, "0,03");
    EXPECT_EQ(row("Mez teploty (Tmax) [\u00b0C]").Side2, "bez meze");

    // The run began at 10:00:00; the operator changed r0, the limit, the cycle length and a
    // point of program 1 later. A change at the run's own second stays (Start notes the values
    // it starts with).
    const auto changes =
        report::ParseEvents("2026-12-08 09:00:00\t-\tchange\tt1: 30 -> 40\r\n"
                            "2026-12-08 10:00:00\t-\tchange\tDoba cyklu: 300 -> 600\r\n"
                            "2026-12-08 11:00:00\t-\tchange\tr0: 0,02 -> 0,03\r\n"
                            "2026-12-08 11:00:05\t1\tchange\tTmax1: bez meze -> 160\r\n"
                            "2026-12-08 11:00:09\t-\tchange\tSimulace: vypnuto -> zapnuto\r\n"
                            "2026-12-08 11:01:00\t1\tchange\tPrubeh 1: bod 300 s, 120 smazan\r\n"
                            "2026-12-08 11:02:00\t1\tchange\tPrubeh 1: bod 600 s, 150 pridan\r\n");
    const report::LocalSeconds start = *report::LocalSecondsOf(2026, 12, 8, 10, 0, 0);
    report::RunSettings then = today;
    report::UndoChangesSince(then, changes, start);
    EXPECT_TRUE(then.AsOfRun);
    EXPECT_EQ(then.Side1.r0.Value, "0,02");
    EXPECT_EQ(then.Side2.r0.Value, "0,02");
    EXPECT_EQ(then.Side1.Limit, "");
    EXPECT_EQ(then.CycleLength, "600");
    EXPECT_EQ(then.Side1.Standby, "40");
    EXPECT_EQ(then.Side1.Program, (std::vector<report::ProgramPoint>{{0, 100}, {300, 120}}));

    // A record that does not fit today's file (edited by hand since), or a journal that did not
    // record changes yet by the run's start: today's settings, said to be today's.
    for (const auto& journal :
         {report::ParseEvents("2026-12-08 09:00:00\t-\tchange\tt1: 30 -> 40\r\n"
                              "2026-12-08 11:00:00\t-\tchange\tr0: 0,02 -> 0,025\r\n"),
          report::ParseEvents("2026-12-08 11:00:00\t-\tchange\tr0: 0,02 -> 0,03\r\n")}) {
        report::RunSettings kept = today;
        report::UndoChangesSince(kept, journal, start);
        EXPECT_FALSE(kept.AsOfRun);
        EXPECT_EQ(kept.Side1.r0.Value, "0,03");
    }
    EXPECT_FALSE(report::ReadRunSettings(temp.Path() / "missing.ini").Found);
}

} // namespace
