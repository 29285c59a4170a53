// What each unit receives from the regulation, byte for byte: Start and Stop by button, action and
// a unit's message, the control ticks of a whole cycle with its warning and its automatic end,
// and a unit whose adapter was pulled out while the other one is still served.
#include "FormFixture.h"

#include "serial/ComPort.h"
#include "tests/support/FakeSerialServices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

using platform::HANDLE;

// Two units on the in-memory device layer; unit 1's writes can be made to fail with a chosen
// error (by default the adapter was pulled out: it cannot be opened either).
class TUnitLines : public testsupport::FakeSerialServices {
public:
    std::atomic<bool> Pulled1{false};
    std::atomic<DWORD> Error1{platform::ERROR_DEVICE_NOT_CONNECTED};

    HANDLE CreateFileA(const std::string& fileName) override {
        const bool com3 = fileName.size() >= 4 && fileName.compare(fileName.size() - 4, 4, "COM3") == 0;
        if (com3 && Pulled1 && Error1 == platform::ERROR_DEVICE_NOT_CONNECTED) {
            SetLastError(platform::ERROR_FILE_NOT_FOUND);
            return platform::INVALID_HANDLE_VALUE;
        }
        const HANDLE h = FakeSerialServices::CreateFileA(fileName);
        if (com3) com3_ = h;
        return h;
    }
    bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD& done,
                   platform::OVERLAPPED& overlapped) override {
        if (Pulled1 && device == com3_) {
            SetLastError(Error1);
            return false;
        }
        return FakeSerialServices::WriteFile(device, buffer, count, done, overlapped);
    }

private:
    std::atomic<HANDLE> com3_{platform::INVALID_HANDLE_VALUE};
};

const std::string On = "@ledka=1&@rele=1&*";
const std::string Off = "@ledka=0&@rele=0&*";

class RegulationUnits : public ::testing::Test {
protected:
    RegulationUnits() {
        EXPECT_TRUE(fx.ShowWithQuietUnits(lines));
        fx.Form().CheckBox3->setChecked(true);
        fx.Boxes.boxes.clear();
    }

    TForm1& F() { return fx.Form(); }

    // What a unit received since the last look.
    std::string Take(int side) { return lines->TakeWritten(side == 1 ? "COM3" : "COM4"); }
    void ExpectReceived(const std::string& unit1, const std::string& unit2, const char* when) {
        EXPECT_EQ(Take(1), unit1) << when;
        EXPECT_EQ(Take(2), unit2) << when;
    }

    // The time base runs on for the given seconds, then one control tick comes, as the window's
    // timers deliver it (errors go to the general report).
    void TickAfter(int seconds) {
        for (int i = 0; i < seconds * 10; ++i) F().TimerCas->OnTimer();
        F().TimerRegulator->OnTimer();
    }
    // A unit's message, character by character as the receive handler passes it on.
    void UnitSends(int side, const std::string& message) {
        for (char ch : message) F().ParseRxChar(side, ch);
    }

    std::shared_ptr<TUnitLines> lines = std::make_shared<TUnitLines>();
    TFormFixture fx;
};

} // namespace

// Cycle length 30 s, control period 5 s, side 1 following a program to 100 degC from 19 degC,
// side 2 without a program (setpoint 0, heater off).
TEST_F(RegulationUnits, AWholeCycleStartedByTheButton) {
    F().S.ProgramTime[1][1] = 0;
    F().S.ProgramTemp[1][1] = 100;
    F().S.ProgramCount[1] = 1;
    F().Edit15->setText("30");
    F().Button5->click();
    ExpectReceived("@START&", "@START&", "Start");

    TickAfter(5);
    ExpectReceived(On, Off, "5 s");
    TickAfter(5);
    ExpectReceived(On, Off, "10 s: exactly 20 s before the end, no warning yet");
    TickAfter(5);
    ExpectReceived("@BEEP&" + On, "@BEEP&" + Off, "15 s: the warning");
    for (int t = 20; t <= 30; t += 5) {
        TickAfter(5);
        ExpectReceived(On, Off, "up to the end");
    }
    TickAfter(5);
    ExpectReceived(Off, Off, "35 s: the end, heaters off and no @STOP&");
    EXPECT_EQ(F().Label26->text(), "35");
    EXPECT_TRUE(F().CheckBoxRegulace->isChecked());
    EXPECT_FALSE(F().CheckBox3->isChecked());

    TickAfter(5);
    ExpectReceived(On, On, "holding at t1 and t2 = 180");
    TickAfter(60);
    ExpectReceived(On, On, "no second end, no second warning");
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST_F(RegulationUnits, WhoStartsAndStopsDecidesWhetherTheUnitsAreTold) {
    F().Start->trigger();
    ExpectReceived("@START&", "@START&", "Start by action");
    F().Stop->trigger();
    ExpectReceived("@STOP&", "@STOP&", "Stop by action");
    F().Button6->click();
    ExpectReceived("@STOP&", "@STOP&", "Stop by button");

    UnitSends(1, "@START&\r");
    ExpectReceived("", "", "Start by unit 1: no echo");
    EXPECT_TRUE(F().CheckBox3->isChecked());
    EXPECT_EQ(F().S.CycleTicks, 0);
    UnitSends(2, "@STOP&\r");
    ExpectReceived("", "", "Stop by unit 2: no echo");
    EXPECT_FALSE(F().CheckBox3->isChecked());
    EXPECT_TRUE(fx.Boxes.boxes.empty());
    const std::string journal = fx.ReadFile("Data/events.txt");
    EXPECT_NE(journal.find("\tcycle-start\tjednotka 1\r\n"), std::string::npos) << journal;
    EXPECT_NE(journal.find("\tcycle-stop\tjednotka 2\r\n"), std::string::npos) << journal;
}

TEST_F(RegulationUnits, StopWhileRegulovatIsUncheckedRegulatesToTheStandbySetpoints) {
    ASSERT_FALSE(F().CheckBoxRegulace->isChecked());
    F().CheckBoxTopeni2->setChecked(true); // the operator's hand
    TickAfter(5);
    ExpectReceived(Off, On, "manual control");
    F().Edit16->setText("10");
    F().Button6->click();
    ExpectReceived("@STOP&", "@STOP&", "Stop");
    // No Start yet, so the cycle length is 0: the first tick ends that cycle and warns at once.
    TickAfter(5);
    ExpectReceived("@BEEP&" + Off, "@BEEP&" + Off, "end of the cycle before any Start");
    TickAfter(5);
    ExpectReceived(Off, On, "19 > 10,5 off; 21 < 179,5 on");
}

TEST_F(RegulationUnits, ANewStartDuringACycleBeginsAgainAtZero) {
    F().S.ProgramTime[2][1] = 0;
    F().S.ProgramTemp[2][1] = 100;
    F().S.ProgramTime[2][2] = 10;
    F().S.ProgramTemp[2][2] = 0;
    F().S.ProgramCount[2] = 2;
    F().Edit15->setText("600");
    F().Button5->click();
    TickAfter(5);
    TickAfter(10);
    EXPECT_EQ(F().Edit12->text(), "0") << "second point applied";
    ExpectReceived("@START&" + Off + Off, "@START&" + On + Off, "first cycle");

    F().Button5->click();
    EXPECT_EQ(F().S.CycleTicks, 0);
    TickAfter(5);
    EXPECT_EQ(F().Edit12->text(), "100") << "the program starts again from its first point";
    ExpectReceived("@START&" + Off, "@START&" + On, "second cycle");
}

TEST_F(RegulationUnits, ANotConnectedUnitIsSkipped) {
    F().Com2Port->SetConnected(false);
    F().Button5->click();
    TickAfter(5);
    ExpectReceived("@START&" + Off, "", "unit 2 closed");
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

// A unit whose adapter was pulled out no longer cuts off the other unit, nor the rest of the tick,
// Start or Stop: its port is closed at the first failing write, which is reported once, and the
// watchdog opens it again once the adapter is back. The alarm strip shows it, no box; the journal
// tells the story.
TEST_F(RegulationUnits, AFailingUnitOneStillLeavesUnitTwoServed) {
    F().S.ProgramTime[2][1] = 0;
    F().S.ProgramTemp[2][1] = 100;
    F().S.ProgramCount[2] = 1;
    F().Edit15->setText("10");
    lines->Pulled1 = true;

    F().Button5->click();
    ExpectReceived("", "@START&", "Start");
    EXPECT_TRUE(fx.Boxes.boxes.empty());
    EXPECT_EQ(StripTexts(F()), QStringList{"Spojeni s jednotkou 1 preruseno."});
    EXPECT_FALSE(F().Com1Port->Connected());
    EXPECT_EQ(F().Shape2->BrushColor(), colors::Red);
    EXPECT_EQ(F().ListBox2->item(0)->text(), "1: Spojeni s jednotkou 1 preruseno.");
    EXPECT_TRUE(F().CheckBoxRegulace->isChecked()) << "the Start went on to its end";
    EXPECT_EQ(F().Label10->palette().color(QPalette::WindowText), colors::Red);

    TickAfter(5);
    ExpectReceived("", "@BEEP&" + On, "warning tick");
    EXPECT_TRUE(F().S.BeepSent);
    TickAfter(10);
    ExpectReceived("", Off, "the automatic end still switches unit 2 off");
    EXPECT_TRUE(F().S.CycleEnded);
    F().Button6->click();
    ExpectReceived("", "@STOP&", "Stop");
    EXPECT_EQ(F().Label10->palette().color(QPalette::WindowText), colors::Blue) << "the Stop went on to its end";

    F().COMTimerTimer(F().COMTimer);
    EXPECT_FALSE(F().Com1Port->Connected()) << "still pulled out";
    lines->Pulled1 = false; // plugged in again: the watchdog opens it, the next tick serves both
    F().COMTimerTimer(F().COMTimer);
    EXPECT_EQ(F().Shape2->BrushColor(), colors::Lime);
    TickAfter(5);
    ExpectReceived(On, On, "both again");
    EXPECT_TRUE(fx.Boxes.boxes.empty());
    EXPECT_EQ(StripTexts(F()), QStringList{"Spojeni s jednotkou 1 obnoveno."});

    const std::string journal = fx.ReadFile("Data/events.txt");
    std::size_t at = 0;
    for (const char* line : {"-\tcycle-start\tobsluha", "1\tport-lost\tCOM3: ", "-\tcycle-end\tkonec cyklu",
                             "-\tcycle-stop\tobsluha", "1\tport-back\tCOM3"}) {
        at = journal.find(line, at);
        ASSERT_NE(at, std::string::npos) << line << " in order in\n" << journal;
    }
}

// A report raised inside the control tick (a write that fails for another reason than a pulled
// adapter) stands open while the ticks go on serving both units; it is not raised again until a
// write to that unit has gone through in between.
TEST_F(RegulationUnits, AReportOpenFromATickStopsNoTick) {
    F().Button5->click();
    Take(1);
    Take(2);
    fx.Boxes.HoldOpen = true;
    lines->Error1 = platform::ERROR_GEN_FAILURE;
    lines->Pulled1 = true;
    TickAfter(5);
    ExpectReceived("", Off, "the failing tick");
    ASSERT_EQ(fx.Boxes.OpenCount(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].title, "Regulace teploty");
    for (int tick = 1; tick <= 3; ++tick) {
        TickAfter(5);
        ExpectReceived("", Off, "while the report stands open");
    }
    EXPECT_TRUE(F().Com1Port->Connected()) << "not a pulled adapter: the port stays open";
    EXPECT_EQ(fx.Boxes.boxes.size(), 1u);

    lines->Pulled1 = false;
    TickAfter(5);
    ExpectReceived(Off, Off, "unit 1 takes its group again");
    lines->Pulled1 = true;
    TickAfter(5);
    EXPECT_TRUE(fx.Boxes.CloseOldest());
    EXPECT_EQ(fx.Boxes.boxes.size(), 2u) << "a new failure after a good write is reported again";
}
