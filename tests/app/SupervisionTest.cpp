// Safety supervision through the window, with both units on the in-memory device layer and the
// monotonic clock stepped by the test: a silent side is switched off and comes back by itself,
// and a side at its temperature limit stays off until it has cooled and the operator has
// acknowledged the alarm. The other side goes on all the while.
#include "FormFixture.h"

#include "app/AlarmStrip.h"
#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "persistence/DataLog.h"
#include "persistence/DataLogRefresh.h"
#include "platform/Clock.h"
#include "serial/ComPort.h"
#include "tests/support/FakeSerialServices.h"

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>

namespace {

using namespace std::chrono_literals;

const std::string On = "@ledka=1&@rele=1&*";
const std::string Off = "@ledka=0&@rele=0&*";
const std::string Beep = "@BEEP&";

std::chrono::steady_clock::time_point gNow{};

std::string Times(const std::string& group, int n) {
    std::string all;
    for (int i = 0; i < n; ++i)
        all += group;
    return all;
}

class Supervision : public ::testing::Test {
protected:
    explicit Supervision(const std::string& ini = {}) : fx(ini) {}

    void SetUp() override {
        gNow = std::chrono::steady_clock::time_point{} + 5h;
        platform::SetSteadyClock([] { return gNow; });
        ASSERT_TRUE(fx.ShowWithQuietUnits(lines));
        fx.Boxes.boxes.clear();
    }

    TForm1& F() { return fx.Form(); }

    std::string Take(int side) { return lines->TakeWritten(side == 1 ? "COM3" : "COM4"); }
    void Report(int side, const std::string& five) {
        for (char ch : "@t=" + five + "C\r")
            F().ParseRxChar(side, ch);
    }
    // One second passes: the reports given arrive, the display refreshes, the control tick runs.
    void Second(const std::string& report1, const std::string& report2) {
        gNow += 1s;
        if (!report1.empty()) Report(1, report1);
        if (!report2.empty()) Report(2, report2);
        F().TimerUkaz->OnTimer();
        F().TimerRegulator->OnTimer();
    }
    QColor TextColour(int side) {
        return (side == 1 ? F().LabelTeplota1 : F().LabelTeplota2)->palette().color(QPalette::WindowText);
    }
    // The big label's ground, when it has one.
    QColor Ground(int side) {
        const QLabel* label = side == 1 ? F().LabelTeplota1 : F().LabelTeplota2;
        return label->autoFillBackground() ? label->palette().color(QPalette::Window) : QColor();
    }
    QStringList BoxTexts() const {
        QStringList texts;
        for (const auto& b : fx.Boxes.boxes)
            texts << b.text;
        return texts;
    }

    std::shared_ptr<testsupport::FakeSerialServices> lines =
        std::make_shared<testsupport::FakeSerialServices>();
    TFormFixture fx;
};

// By hand ("Regulovat" off): the operator's ticks are overruled while a side is silent. No box:
// the alarm stands in the strip and on the side's big label, is heard at once and every 10 s
// until acknowledged, and STOP works all the while; the side recovers by itself.
TEST_F(Supervision, ASilentSideIsSwitchedOffShownHeardAndComesBackByItself) {
    F().CheckBoxTopeni1->setChecked(true);
    F().CheckBoxTopeni2->setChecked(true);
    Second(" 20,0", " 30,0");
    Take(1);
    Take(2);

    // Unit 1 falls silent after 1 s; 10 s later (to the millisecond) nothing happens yet.
    for (int s = 2; s <= 11; ++s)
        Second("", " 30,0");
    EXPECT_EQ(Take(1), Times(On, 10));
    EXPECT_EQ(Take(2), Times(On, 10));
    EXPECT_TRUE(StripTexts(F()).isEmpty());

    // Past the limit: the refresh sends "=0" at once and sounds the alarm; the tick sends "=0" again.
    gNow += 1ms;
    F().TimerUkaz->OnTimer();
    EXPECT_EQ(Take(1), Off + Beep);
    EXPECT_EQ(fx.Bells, 1);
    F().TimerRegulator->OnTimer();
    EXPECT_EQ(Take(1), Off);
    EXPECT_FALSE(F().CheckBoxTopeni1->isChecked());
    EXPECT_EQ(F().Shape1->BrushColor(), colors::Grey);
    EXPECT_EQ(F().LabelTeplota1->text(), "---");
    EXPECT_EQ(Ground(1), QColor(255, 0, 0));
    EXPECT_EQ(TextColour(2), colors::Green);
    EXPECT_EQ(StripTexts(F()), QStringList{"Strana 1: zadna teplota 10 s, topeni vypnuto."});
    EXPECT_EQ(F().ListBox2->item(0)->text(), "Strana 1: zadna teplota 10 s, topeni vypnuto.");
    EXPECT_EQ(F().LabelStav1->text(), "Strana 1: zadana 150, netopi, ALARM: bez teploty");
    // A gap in side 1's curve; the data log keeps its lines, with the last temperature.
    EXPECT_TRUE(std::isnan(F().Chart->Points(chart::SeriesTemperature1).back().second));
    EXPECT_EQ(F().Chart->Points(chart::SeriesTemperature2).back().second, 30.0);
    const std::string log = fx.ReadFile("Data/" + persistence::OpenLog(F().S)->Path().filename().string());
    EXPECT_NE(log.rfind("\t0\t    20.0"), std::string::npos) << log;

    // The operator cannot heat a silent side by hand; side 2 is served all along. The alarm is
    // heard again 10 s after it was first.
    F().CheckBoxTopeni1->setChecked(true);
    F().TimerRegulator->OnTimer();
    EXPECT_EQ(Take(1), Off) << "the tick has the last word, without the refresh's help";
    for (int s = 1; s <= 9; ++s)
        Second("", " 30,0");
    EXPECT_EQ(Take(1), Times(Off, 9));
    EXPECT_EQ(Take(2), Times(On, 11));
    Second("", " 30,0");
    EXPECT_EQ(Take(1), Beep + Off);
    EXPECT_EQ(Take(2), On);
    EXPECT_EQ(fx.Bells, 2);

    // Acknowledged: it stands on, shown as acknowledged, and is heard no more. STOP works.
    F().PanelAlarmy->ButtonPotvrdit->click();
    EXPECT_EQ(StripTexts(F()), QStringList{"Strana 1: zadna teplota 10 s, topeni vypnuto.  (potvrzeno)"});
    F().Button6->click();
    EXPECT_EQ(Take(1), "@STOP&");
    EXPECT_EQ(Take(2), "@STOP&");
    EXPECT_TRUE(F().CheckBoxRegulace->isChecked());
    for (int s = 1; s <= 12; ++s)
        Second("", " 30,0");
    EXPECT_EQ(fx.Bells, 2);

    // Reports again: said once, the label is current again, and the controller may heat.
    Take(1);
    Second(" 21,0", " 30,0");
    EXPECT_EQ(F().LabelTeplota1->text(), "21");
    EXPECT_EQ(TextColour(1), colors::Green);
    EXPECT_EQ(StripTexts(F()), QStringList{"Strana 1: teplota opet prichazi."});
    EXPECT_EQ(F().ListBox2->item(0)->text(), "Strana 1: teplota opet prichazi.");
    Second(" 21,0", " 30,0");
    EXPECT_TRUE(Take(1).ends_with(On));
    EXPECT_TRUE(fx.Boxes.boxes.empty());

    const std::string journal = fx.ReadFile("Data/events.txt");
    for (const char* line : {"\t1\tstale\tStrana 1: zadna teplota 10 s, topeni vypnuto.\r\n",
                             "\t1\tacknowledged\tPotvrzeno: Strana 1: zadna teplota",
                             "\t1\trecovered\tStrana 1: teplota opet prichazi.\r\n"})
        EXPECT_NE(journal.find(line), std::string::npos) << line << "\n" << journal;
    EXPECT_EQ(journal.find("\t2\tstale"), std::string::npos);
}

// The refresh's own "=0" to a side that has just fallen silent fails without the device being
// gone: reported as a failing control tick is, not swallowed; the alarm stands in the strip.
TEST_F(Supervision, AFailedSwitchOffAtTheRefreshIsReported) {
    F().CheckBoxTopeni1->setChecked(true);
    for (int s = 1; s <= 11; ++s)
        Second(s == 1 ? " 20,0" : "", " 30,0");
    gNow += 1ms;
    lines->FailNext(testsupport::Call::WriteFile, platform::ERROR_GEN_FAILURE);
    F().TimerUkaz->OnTimer();
    const QStringList texts = BoxTexts();
    ASSERT_EQ(texts.size(), 1) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts[0].startsWith("WriteFile function failed")) << texts[0].toStdString();
    EXPECT_EQ(StripTexts(F()), QStringList{"Strana 1: zadna teplota 10 s, topeni vypnuto."});
}

// A unit with a broken sensor sends reports that are no temperature: shown as before, but they
// do not count as current, and the third in a row switches the side off at once, without waiting
// for a tick. A good report ends the fault by itself.
TEST_F(Supervision, NonsenseFromASensorSwitchesItsSideOffAtOnce) {
    F().CheckBoxRegulace->setChecked(true); // towards t1 = t2 = 180: heating
    Second(" 90,0", " 90,0");
    Second(" 90,0", " 90,0");
    Take(1);
    Take(2);
    Report(1, "ERR  ");
    Report(1, " 9999"); // a number, but no oven's temperature
    EXPECT_EQ(Take(1), "") << "two are not yet a fault";
    EXPECT_EQ(F().S.SideState[1].Temperature, 9999.0) << "the display and the log show what came";
    F().TimerUkaz->OnTimer();
    EXPECT_EQ(F().LabelTeplota1->text(), "9999");
    EXPECT_TRUE(std::isnan(F().Chart->Points(chart::SeriesTemperature1).back().second)) << "but it is not drawn";
    Report(1, "ERR  ");
    EXPECT_EQ(Take(1), Off) << "the third switches the heater off at once";
    EXPECT_EQ(F().S.SideState[1].Temperature, 0.0);
    EXPECT_EQ(StripTexts(F()), QStringList{"Strana 1: cidlo hlasi nesmysl, topeni vypnuto."});
    Second("ERR  ", " 90,0");
    EXPECT_EQ(Take(1), Beep + Off);
    EXPECT_EQ(Take(2), On) << "the other side regulates on";
    EXPECT_EQ(F().LabelTeplota1->text(), "---") << "no current temperature";
    EXPECT_EQ(Ground(1), QColor(255, 0, 0));

    Second(" 91,0", " 90,0");
    EXPECT_EQ(Take(1), On);
    EXPECT_EQ(TextColour(1), colors::Green);
    EXPECT_EQ(F().ListBox2->item(0)->text(), "Strana 1: cidlo opet hlasi teplotu.");
    EXPECT_EQ(StripTexts(F()), QStringList{"Strana 1: cidlo opet hlasi teplotu."});
    EXPECT_TRUE(BoxTexts().isEmpty());
    const std::string journal = fx.ReadFile("Data/events.txt");
    EXPECT_NE(journal.find("\t1\tsensor-fault\tStrana 1: cidlo hlasi nesmysl, topeni vypnuto.\r\n"), std::string::npos)
        << journal;
}

// A heater that does not switch off (a welded relay): commanded off, the side rises on. Inertia
// may carry it more than 10 degC on for a while; only 120 s after the switch-off does a rise of
// more than 10 degC above the switch-off temperature count. The alarm then stands, with the
// unit's buzzer every 10 s, until acknowledged and cooled.
TEST_F(Supervision, AHeaterThatKeepsHeatingWhileOffIsARunaway) {
    F().CheckBoxTopeni1->setChecked(true);
    Second(" 50,0", " 30,0");
    F().CheckBoxTopeni1->setChecked(false);
    Second(" 50,0", " 30,0"); // the switch-off, at 50
    Take(1);
    // Inertia: 15 degC on within a minute, then down again: no alarm.
    auto text = [](double t) { return persistence::FormatLogNumber(t).substr(3); };
    int second = 0;
    for (; second < 60; ++second) Second(text(50.0 + second * 0.25), " 30,0");
    for (; second < 118; ++second) Second(text(65.0 - (second - 60) * 0.25), " 30,0");
    EXPECT_EQ(Take(1), Times(Off, 118));
    // Then it rises again, as a welded relay makes it: past 60 degC means a runaway.
    for (double rising = 50.5; rising <= 60.0; rising += 0.5) {
        Second(text(rising), " 30,0");
        EXPECT_TRUE(StripTexts(F()).isEmpty()) << rising;
    }
    double t = 60.5;
    Second(text(t), " 30,0");
    EXPECT_EQ(StripTexts(F()), QStringList{"Strana 1: topeni se nevypina, teplota stoupla z 50 na 60,5 pri "
                                           "vypnutem topeni. Odpojte topeni od site!"});
    EXPECT_TRUE(BoxTexts().isEmpty());
    EXPECT_TRUE(F().ButtonPotvrdit1->isVisibleTo(&F()));
    EXPECT_TRUE(F().LabelTeplota1->autoFillBackground());
    Take(1);
    for (int i = 0; i < 30; ++i) Second(text(t += 0.5), " 30,0");
    const std::string sent = Take(1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 'B'), 3) << "the buzzer every 10 s: " << sent;

    // The operator cuts the mains: it cools; acknowledged, the side is released 5 degC below the
    // alarm's threshold (60), and the buzzer (heard until then, acknowledged or not) stops.
    F().ButtonPotvrdit1->click();
    Second(" 55,1", " 30,0");
    EXPECT_TRUE(F().Supervisor.Runaway(1));
    Second(" 55,0", " 30,0");
    EXPECT_FALSE(F().Supervisor.Runaway(1));
    EXPECT_EQ(F().ListBox2->item(0)->text(), "Strana 1: teplota klesla, topeni opet povoleno.");
    Take(1);
    for (int i = 0; i < 12; ++i) Second(" 54,0", " 30,0");
    EXPECT_EQ(Take(1), Times(Off, 12));
    const std::string journal = fx.ReadFile("Data/events.txt");
    for (const char* line : {"\t1\trunaway\tStrana 1: topeni se nevypina", "\t1\tacknowledged\t",
                             "\t1\trecovered\tStrana 1: teplota klesla"})
        EXPECT_NE(journal.find(line), std::string::npos) << line << "\n" << journal;
}

// The limits apply on their own, by Enter in their box or "Nastavit": in force at once, a running
// cycle goes on untouched, and a settings file that refuses them does not keep them from
// protecting the run.
TEST_F(Supervision, ALimitTakesEffectOnItsOwnWithoutRestartingTheCycle) {
    F().Button5->click();
    for (int i = 0; i < 50; ++i) F().TimerCasTimer(F().TimerCas);
    Second(" 50,0", " 50,0");
    const auto ticks = F().S.CycleTicks;
    const std::string log = persistence::OpenLog(F().S)->Path().string();
    std::filesystem::create_directory(fx.Dir() / "Regulator.ini"); // refuses every write
    fx.Boxes.boxes.clear();
    Take(1);

    F().EditMaxT1->setText("45");
    F().EditMaxT1->setFocus();
    QTest::keyClick(F().EditMaxT1, Qt::Key_Return);
    EXPECT_EQ(F().S.CycleTicks, ticks) << "no new cycle";
    EXPECT_EQ(persistence::OpenLog(F().S)->Path().string(), log) << "no new log";
    EXPECT_EQ(F().Supervisor.GetLimits().MaxT[1], 45.0);
    EXPECT_EQ(Take(1), Off) << "50 is past the new limit: off at once";
    EXPECT_EQ(StripTexts(F()),
              QStringList{"Strana 1: teplota 50 dosahla meze 45, topeni vypnuto do vychladnuti a potvrzeni."});
    const QStringList texts = BoxTexts();
    ASSERT_EQ(texts.size(), 1) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts[0].contains("Regulator.ini")) << texts[0].toStdString();

    F().EditMaxT2->setText("40");
    F().ButtonMaxT->click();
    EXPECT_EQ(F().Supervisor.GetLimits().MaxT[2], 40.0);
    EXPECT_EQ(F().S.CycleTicks, ticks);
}

class SupervisionWithLimits : public Supervision {
protected:
    SupervisionWithLimits() : Supervision("[Bezpecnost]\r\nMaxT2=300\r\n") {}
};

// Regulating: side 1 reaches the limit typed on the "Regulator" tab and stays off until it has
// cooled 5 degC below it and the alarm was acknowledged; side 2 regulates on.
TEST_F(SupervisionWithLimits, OverTemperatureStaysOffUntilCooledAndAcknowledged) {
    EXPECT_EQ(F().EditMaxT1->text(), "");
    EXPECT_EQ(F().EditMaxT2->text(), "300");
    F().EditMaxT1->setText(" 100,0");
    F().EditMaxT2->setText("abc"); // no number: the limit in force stays
    F().Button4->click();
    EXPECT_EQ(F().EditMaxT1->text(), "100");
    EXPECT_EQ(F().EditMaxT2->text(), "300");
    EXPECT_NE(fx.ReadFile("Regulator.ini").find("[Bezpecnost]\r\nMaxT2=300\r\nMaxT1=100\r\n"),
              std::string::npos)
        << fx.ReadFile("Regulator.ini");

    // Regulating towards t1 = t2 = 180 (the first tick ends the never-started cycle).
    F().CheckBoxRegulace->setChecked(true);
    Second(" 90,0", " 90,0");
    Take(1);
    Take(2);
    Second(" 99,9", " 90,0");
    EXPECT_EQ(Take(1), On);
    EXPECT_EQ(Take(2), On);

    Second("100,0", "100,0");
    EXPECT_EQ(Take(1), Off + Beep + Off) << "at once from the refresh, heard, then from the tick";
    EXPECT_EQ(Take(2), On);
    EXPECT_EQ(
        StripTexts(F()),
        QStringList{"Strana 1: teplota 100 dosahla meze 100, topeni vypnuto do vychladnuti a potvrzeni."});
    EXPECT_TRUE(F().ButtonPotvrdit1->isVisibleTo(&F()));
    EXPECT_FALSE(F().ButtonPotvrdit2->isVisibleTo(&F()));
    EXPECT_EQ(F().LabelTeplota1->text(), "100") << "a current temperature, shown on the alarm's ground";
    EXPECT_EQ(Ground(1), QColor(255, 0, 0));

    // Cooled well below, but not acknowledged: off.
    Second(" 80,0", " 90,0");
    EXPECT_EQ(Take(1), Off);
    // Acknowledged while still too warm (96 > 100 - 5): off until it has cooled.
    Second(" 96,0", " 90,0");
    F().ButtonPotvrdit1->click();
    EXPECT_FALSE(F().ButtonPotvrdit1->isVisibleTo(&F()));
    Second(" 95,1", " 90,0");
    EXPECT_EQ(Take(1), Off + Off);
    // 5 degC below the limit: the controller has the side again.
    Second(" 95,0", " 90,0");
    EXPECT_EQ(Take(1), On);
    EXPECT_FALSE(F().LabelTeplota1->autoFillBackground());
    EXPECT_EQ(F().ListBox2->item(0)->text(), "Strana 1: teplota pod mezi, topeni opet povoleno.");
    EXPECT_EQ(StripTexts(F()), QStringList{"Strana 1: teplota pod mezi, topeni opet povoleno."});
    EXPECT_TRUE(BoxTexts().isEmpty());
    EXPECT_EQ(Take(2), Times(On, 4));

    const std::string journal = fx.ReadFile("Data/events.txt");
    for (const char* line : {"\t1\tchange\tTmax1: bez meze -> 100\r\n", "\t1\tover-temperature\t",
                             "\t1\tacknowledged\t", "\t1\trecovered\tStrana 1: teplota pod"})
        EXPECT_NE(journal.find(line), std::string::npos) << line << "\n" << journal;
}

} // namespace
