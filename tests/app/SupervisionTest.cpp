// Safety supervision through the window, with both units on the in-memory device layer and the
// monotonic clock stepped by the test: a silent side is switched off and comes back by itself,
// and a side at its temperature limit stays off until it has cooled and the operator has
// acknowledged the alarm. The other side goes on all the while.
#include "FormFixture.h"

#include "app/AlarmStrip.h"

#include "platform/Clock.h"
#include "serial/ComPort.h"
#include "tests/support/FakeSerialServices.h"

#include <gtest/gtest.h>

#include <chrono>
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
