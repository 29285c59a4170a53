// Safety supervision through the window, with both units on the in-memory device layer and the
// monotonic clock stepped by the test: a silent side is switched off and comes back by itself,
// and a side at its temperature limit stays off until it has cooled and the operator has
// acknowledged the alarm. The other side goes on all the while.
#include "FormFixture.h"

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

// By hand ("Regulovat" off): the operator's ticks are overruled while a side is silent.
TEST_F(Supervision, ASilentSideIsSwitchedOffAndComesBackByItself) {
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
    EXPECT_TRUE(BoxTexts().isEmpty());

    // Past the limit: the refresh sends "=0" at once, the tick sends it again.
    gNow += 1ms;
    F().TimerUkaz->OnTimer();
    EXPECT_EQ(Take(1), Off);
    F().TimerRegulator->OnTimer();
    EXPECT_EQ(Take(1), Off);
    EXPECT_FALSE(F().CheckBoxTopeni1->isChecked());
    EXPECT_EQ(F().Shape1->BrushColor(), colors::Grey);
    EXPECT_EQ(TextColour(1), colors::Grey);
    EXPECT_EQ(TextColour(2), colors::Green);
    EXPECT_EQ(BoxTexts(), QStringList{"Strana 1: zadna teplota 10 s, topeni vypnuto."});
    EXPECT_EQ(F().ListBox2->item(0)->text(), "Strana 1: zadna teplota 10 s, topeni vypnuto.");

    // The operator cannot heat a silent side by hand; side 2 is served all along.
    F().CheckBoxTopeni1->setChecked(true);
    F().TimerRegulator->OnTimer();
    EXPECT_EQ(Take(1), Off) << "the tick has the last word, without the refresh's help";
    Second("", " 30,0");
    EXPECT_EQ(Take(1), Off);
    EXPECT_EQ(Take(2), Times(On, 3));
    EXPECT_TRUE(F().CheckBoxTopeni2->isChecked());
    EXPECT_EQ(BoxTexts().size(), 1) << "one report per silence";

    // Reports again: said once, the label is current again, and the operator may heat.
    Second(" 21,0", " 30,0");
    EXPECT_EQ(TextColour(1), colors::Green);
    EXPECT_EQ(BoxTexts().size(), 2);
    EXPECT_EQ(BoxTexts().back(), "Strana 1: teplota opet prichazi.");
    EXPECT_EQ(F().ListBox2->item(0)->text(), "Strana 1: teplota opet prichazi.");
    Take(1);
    F().CheckBoxTopeni1->setChecked(true);
    Second(" 21,0", " 30,0");
    EXPECT_EQ(Take(1), On);

    const std::string journal = fx.ReadFile("Data/events.txt");
    EXPECT_NE(journal.find("\t1\tstale\tStrana 1: zadna teplota 10 s, topeni vypnuto.\r\n"),
              std::string::npos)
        << journal;
    EXPECT_NE(journal.find("\t1\trecovered\tStrana 1: teplota opet prichazi.\r\n"), std::string::npos)
        << journal;
    EXPECT_EQ(journal.find("\t2\tstale"), std::string::npos);
}

// The refresh's own "=0" to a side that has just fallen silent fails without the device being
// gone: reported as a failing control tick is, not swallowed.
TEST_F(Supervision, AFailedSwitchOffAtTheRefreshIsReported) {
    F().CheckBoxTopeni1->setChecked(true);
    for (int s = 1; s <= 11; ++s)
        Second(s == 1 ? " 20,0" : "", " 30,0");
    gNow += 1ms;
    lines->FailNext(testsupport::Call::WriteFile, platform::ERROR_GEN_FAILURE);
    F().TimerUkaz->OnTimer();
    const QStringList texts = BoxTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join(" | ").toStdString();
    EXPECT_EQ(texts[0], "Strana 1: zadna teplota 10 s, topeni vypnuto.");
    EXPECT_TRUE(texts[1].startsWith("WriteFile function failed")) << texts[1].toStdString();
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
    EXPECT_EQ(Take(1), Off + Off) << "at once from the refresh, then from the tick";
    EXPECT_EQ(Take(2), On);
    EXPECT_EQ(
        BoxTexts(),
        QStringList{"Strana 1: teplota 100 dosahla meze 100, topeni vypnuto do vychladnuti a potvrzeni."});
    EXPECT_TRUE(F().ButtonPotvrdit1->isVisibleTo(&F()));
    EXPECT_FALSE(F().ButtonPotvrdit2->isVisibleTo(&F()));
    EXPECT_TRUE(F().LabelTeplota1->autoFillBackground());
    EXPECT_EQ(F().LabelTeplota1->palette().color(QPalette::Window), QColor(255, 0, 0));

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
    EXPECT_EQ(BoxTexts().size(), 1);
    EXPECT_EQ(Take(2), Times(On, 4));

    const std::string journal = fx.ReadFile("Data/events.txt");
    for (const char* line :
         {"\t1\tover-temperature\t", "\t1\tacknowledged\t", "\t1\trecovered\tStrana 1: teplota pod"})
        EXPECT_NE(journal.find(line), std::string::npos) << line << "\n" << journal;
}

} // namespace
