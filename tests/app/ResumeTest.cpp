// A cycle interrupted by a crash or a power cut, found in the run journal at start-up: asked,
// continued without asking, or given up, with the wall clock stepped by the test.
#include "FormFixture.h"

#include "app/Shape.h"
#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "journal/RunJournal.h"
#include "persistence/DataLog.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace {

namespace fs = std::filesystem;
using journal::RunJournalRead;

constexpr std::int64_t EntryTime = 1796738400;
const std::string OldLog = "data_08_12_26__13_19.txt";     // the interrupted cycle's log
const std::string StartupLog = "data_08_12_26__13_45.txt"; // the log every start begins

const std::string Programs = "[Prubeh1]\r\nCas1=0\r\nTeplota1=100\r\nCas2=1000\r\nTeplota2=200\r\n"
                             "Cas3=2000\r\nTeplota3=300\r\n";

// The wall clock and the local time of the restart.
struct Restart {
    explicit Restart(std::int64_t away) {
        platform::SetWallClock(
            [away] { return std::chrono::system_clock::time_point(std::chrono::seconds(EntryTime + away)); });
        platform::SetLocalClock([] { return platform::LocalDateTime{2026, 12, 8, 13, 45, 0}; });
    }
    ~Restart() {
        platform::SetWallClock({});
        platform::SetLocalClock({});
    }
};

journal::RunEntry Interrupted() {
    journal::RunEntry e;
    e.WallTime = EntryTime;
    e.CycleTicks = 12345;
    e.CycleLength = 3600;
    e.Regulovat = true;
    e.NaPrubeh = true;
    e.ProgramStep1 = 2;
    e.Setpoint1 = 200;
    e.Setpoint2 = 0;
    e.DataLog = OldLog;
    return e;
}

std::string LogLine(double time) {
    persistence::LogRow row;
    row.CycleTime = time;
    return persistence::LogLineText(row);
}

// The killed log: whole lines, the last one without its line end.
const std::string KilledLog = LogLine(1233.9) + LogLine(1234.4).substr(0, LogLine(1234.4).size() - 2);

void Prepare(TFormFixture& fx, const std::string& journalText = journal::RunEntryText(Interrupted())) {
    fs::create_directories(fx.Dir() / "Data");
    fx.WriteFile("Data/" + OldLog, KilledLog);
    fx.WriteFile("Data/Regulator.run", journalText);
}

RunJournalRead Journal(const TFormFixture& fx) {
    return journal::ReadRunJournal(fx.Dir() / "Data" / "Regulator.run");
}

QColor TextColour(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

// The cycle as the journal left it, with the controls a running cycle shows.
void ExpectResumed(TFormFixture& fx) {
    TForm1& f = fx.Form();
    EXPECT_EQ(f.S.CycleTicks, 12345);
    EXPECT_EQ(f.S.CycleLength, 3600);
    EXPECT_EQ(f.S.ProgramStep[1], 2);
    EXPECT_EQ(f.S.Setpoint[1], 200.0);
    EXPECT_EQ(f.Edit1->text(), "200");
    EXPECT_EQ(f.Edit12->text(), "0");
    EXPECT_EQ(f.Edit15->text(), "3600");
    EXPECT_TRUE(f.CheckBoxRegulace->isChecked());
    EXPECT_TRUE(f.CheckBox3->isChecked());
    EXPECT_FALSE(f.CheckBox3->isEnabled());
    EXPECT_TRUE(f.CheckBoxTopeni1->isHidden());
    EXPECT_EQ(TextColour(f.Label10), colors::Red);
    // The chart shows the cycle's logged lines again (side 2 has no program: its live setpoint
    // too), and the measured curves break where the cycle goes on.
    const std::vector<std::pair<double, double>> logged = {{1233.9, 0.0}, {1234.4, 0.0}};
    for (int series : {chart::SeriesTemperature1, chart::SeriesTemperature2}) {
        auto points = f.Chart->Points(series);
        ASSERT_EQ(points.size(), 3u);
        EXPECT_EQ(points.back().first, 1234.5);
        EXPECT_TRUE(std::isnan(points.back().second));
        points.pop_back();
        EXPECT_EQ(points, logged);
    }
    EXPECT_EQ(f.Chart->Points(chart::SeriesSetpoint2), logged);
    ASSERT_NE(persistence::OpenLog(f.S), nullptr);
    EXPECT_EQ(persistence::OpenLog(f.S)->Path().filename(), OldLog);
    const auto j = Journal(fx);
    EXPECT_FALSE(j.Entry.Finished);
    EXPECT_EQ(j.Entry.CycleTicks, 12345);
    const std::string events = fx.ReadFile("Data/events.txt");
    EXPECT_NE(events.find("cycle-interrupted\tcas 1234 s, vypadek 37 s\r\n"), std::string::npos) << events;
    EXPECT_NE(events.find("cycle-resumed\tcas 1234 s\r\n"), std::string::npos) << events;
}

} // namespace

TEST(Resume, AskedWhileTheProgramRunsAndYesContinuesTheCycleAndItsLog) {
    TFormFixture fx(Programs);
    Prepare(fx);
    Restart restart(37);
    fx.Boxes.HoldOpen = true;
    TForm1& f = fx.Show();
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_TRUE(fx.Boxes.boxes[0].question);
    EXPECT_TRUE(fx.Boxes.boxes[0].defaultYes);
    EXPECT_EQ(fx.Boxes.boxes[0].text,
              "Pokracovat v prerusenem cyklu?\n\nCyklus byl prerusen 8.12.2026 13:44:23 v case cyklu 20 min 34 s, "
              "vypadek trval 37 s.\n\nAno: cyklus pokracuje od 20 min 34 s se stejnymi programy a datovym "
              "souborem.\nNe: cyklus se ukonci, regulace zustane vypnuta a topeni vypnuto, dokud obsluha "
              "nespusti novy cyklus.");

    // While the question stands the program runs as after any start; the journal waits.
    for (int i = 0; i < 5; ++i) f.TimerCasTimer(nullptr);
    f.TimerRegulatorTimer(nullptr);
    f.TimerUkazTimer(nullptr);
    EXPECT_EQ(f.S.CycleTicks, 5);
    EXPECT_FALSE(f.CheckBoxRegulace->isChecked());
    EXPECT_EQ(Journal(fx).Entry, Interrupted());

    fx.Boxes.CloseOldest(true);
    ExpectResumed(fx);
    // The log of the wait stays (it holds a line); the cycle's log goes on after its last line.
    EXPECT_FALSE(fx.ReadFile("Data/" + StartupLog).empty());
    f.TimerCasTimer(nullptr);
    f.TimerRegulatorTimer(nullptr); // point 3 lies at 2000 s: the step stays
    EXPECT_EQ(f.S.ProgramStep[1], 2);
    f.TimerUkazTimer(nullptr);
    EXPECT_EQ(f.S.CycleTicks, 12346);
    const std::string line = persistence::LogLineText(persistence::CurrentRow(f.S));
    EXPECT_EQ(fx.ReadFile("Data/" + OldLog), KilledLog + "\r\n" + line.substr(0, line.size() - 2));

    f.Button6Click(f.Button6);
    EXPECT_TRUE(Journal(fx).Entry.Finished);
}

TEST(Resume, UnattendedContinuesWithoutAskingAndLeavesNoEmptyLog) {
    TFormFixture fx(Programs + "[Bezpecnost]\r\nPokracovat=1\r\n");
    Prepare(fx);
    Restart restart(37);
    fx.Show();
    EXPECT_TRUE(fx.Boxes.boxes.empty());
    ExpectResumed(fx);
    EXPECT_FALSE(fs::exists(fx.Dir() / "Data" / StartupLog));
    fx.Close();
    fx.Form().TimerUkazTimer(nullptr); // a tick that comes late must not undo the close
    EXPECT_TRUE(Journal(fx).Entry.Finished);
}

TEST(Resume, TooOldRefusedOrBrokenStartsAsUsual) {
    struct Case {
        const char* name;
        std::string ini;
        std::int64_t away;
        bool answer;
        std::string journalText;
    } cases[] = {
        {"too old", "", 600, true, journal::RunEntryText(Interrupted())},
        {"never", "[Bezpecnost]\r\nMaxVypadek=0\r\nPokracovat=1\r\n", 1, true, journal::RunEntryText(Interrupted())},
        {"no", "", 37, false, journal::RunEntryText(Interrupted())},
        {"broken", "", 37, true, journal::RunEntryText(Interrupted()).substr(0, 120)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFormFixture fx(Programs + c.ini);
        Prepare(fx, c.journalText);
        Restart restart(c.away);
        fx.Boxes.Answer = c.answer;
        TForm1& f = fx.Show();
        EXPECT_FALSE(f.CheckBoxRegulace->isChecked());
        EXPECT_EQ(f.S.CycleTicks, 0);
        ASSERT_NE(persistence::OpenLog(f.S), nullptr);
        EXPECT_EQ(persistence::OpenLog(f.S)->Path().filename(), StartupLog);
        EXPECT_EQ(fx.ReadFile("Data/" + OldLog), KilledLog);
        if (std::string(c.name) == "broken") {
            // Reported once, and put aside so that the next start does not report it again.
            ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
            EXPECT_EQ(fx.Boxes.boxes[0].icon, TBoxIcon::Warning);
            EXPECT_EQ(Journal(fx).State, RunJournalRead::Status::Missing);
            EXPECT_EQ(fx.ReadFile("Data/Regulator.run.bad"), c.journalText);
            continue;
        }
        EXPECT_EQ(fx.Boxes.boxes.size(), c.away == 37 ? 1u : 0u);
        auto finished = Interrupted();
        finished.Finished = true;
        EXPECT_EQ(Journal(fx).Entry, finished);
        EXPECT_NE(fx.ReadFile("Data/events.txt").find("cycle-interrupted"), std::string::npos);
    }
}

// An alarm that stood when the program went away stands again after the resume: the side stays
// off, also once cooled, until the operator has acknowledged it.
TEST(Resume, ALatchedAlarmStaysLatchedAcrossTheOutage) {
    TFormFixture fx(Programs + "[Bezpecnost]\r\nPokracovat=1\r\nMaxT1=150\r\n");
    auto entry = Interrupted();
    entry.Alarms1.OverTemperature = true;
    Prepare(fx, journal::RunEntryText(entry));
    Restart restart(37);
    TForm1& f = fx.Show();
    ASSERT_EQ(f.S.CycleTicks, 12345) << "resumed";
    EXPECT_TRUE(f.ButtonPotvrdit1->isVisibleTo(&f));
    for (char ch : std::string("@t=100,0C\r")) f.ParseRxChar(1, ch);
    f.TimerRegulatorTimer(nullptr);
    EXPECT_FALSE(f.CheckBoxTopeni1->isChecked()) << "cooled during the outage, but not acknowledged";
    EXPECT_TRUE(Journal(fx).Entry.Alarms1.OverTemperature) << "kept for another outage";

    f.ButtonPotvrdit1->click();
    f.TimerRegulatorTimer(nullptr);
    EXPECT_TRUE(f.CheckBoxTopeni1->isChecked()) << "100 degC towards 200: the controller heats again";
    f.TimerUkazTimer(nullptr);
    EXPECT_FALSE(Journal(fx).Entry.Alarms1.OverTemperature);

    // With no cycle to continue, a runaway that stood at the exit stands again all the same.
    TFormFixture idle(Programs);
    auto stopped = Interrupted();
    stopped.Finished = true;
    stopped.Alarms2.RunawayThreshold = 70.0;
    Prepare(idle, journal::RunEntryText(stopped));
    TForm1& g = idle.Show();
    EXPECT_TRUE(idle.Boxes.boxes.empty()) << "nothing to ask, the alarm to tell in the strip";
    EXPECT_EQ(StripTexts(g),
              QStringList{"Strana 2: alarm z minuleho behu trva (topeni se nevypina), topeni vypnuto do potvrzeni."});
    EXPECT_TRUE(g.Supervisor.Runaway(2));
    EXPECT_TRUE(g.ButtonPotvrdit2->isVisibleTo(&g));
}

TEST(Resume, ACycleStartedWhileTheQuestionStandsIsKept) {
    TFormFixture fx(Programs);
    Prepare(fx);
    Restart restart(37);
    fx.Boxes.HoldOpen = true;
    TForm1& f = fx.Show();
    f.Button5Click(f.Button5);
    for (int i = 0; i < 3; ++i) f.TimerCasTimer(nullptr);
    fx.Boxes.CloseOldest(true);
    EXPECT_EQ(f.S.CycleTicks, 3);
    const auto j = Journal(fx);
    EXPECT_FALSE(j.Entry.Finished);
    EXPECT_EQ(j.Entry.CycleTicks, 0);
    EXPECT_NE(j.Entry.DataLog, OldLog);
}

TEST(Resume, AnAnswerThatComesTooLateStartsNothing) {
    TFormFixture fx(Programs);
    Prepare(fx);
    Restart restart(37);
    fx.Boxes.HoldOpen = true;
    TForm1& f = fx.Show();
    platform::SetWallClock(
        [] { return std::chrono::system_clock::time_point(std::chrono::seconds(EntryTime + 600)); });
    fx.Boxes.CloseOldest(true);
    EXPECT_FALSE(f.CheckBoxRegulace->isChecked());
    EXPECT_EQ(f.S.CycleTicks, 0);
    EXPECT_TRUE(Journal(fx).Entry.Finished);
    ASSERT_EQ(fx.Boxes.boxes.size(), 2u);
    EXPECT_EQ(fx.Boxes.boxes[1].text, "Preruseny cyklus uz nelze obnovit (vypadek 600 s).");
}
