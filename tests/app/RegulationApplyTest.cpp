// The apply-parameters operation, the heater lamps, Start and Stop as the window shows them, the
// control tick's own logic and the simulation, driven through the window offscreen.
#include "FormFixture.h"

#include "chart/TChart.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void SetTexts(TForm1&, std::initializer_list<std::pair<QLineEdit*, const char*>> texts) {
    for (const auto& [edit, text] : texts) edit->setText(QString::fromUtf8(text));
}

struct Coefficients {
    double ModelGain, FastTau, SlowTau, FastDecay, FastInput, SlowDecay, SlowInput;
    bool operator==(const Coefficients&) const = default;
};
Coefficients Snapshot(const state::RegulatorState& S) {
    return {S.ModelGain, S.FastTau, S.SlowTau, S.FastDecay, S.FastInput, S.SlowDecay, S.SlowInput};
}

QColor TextColour(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

} // namespace

TEST(RegulationApply, StartUpAppliesTheDesignParameters) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    EXPECT_TRUE(fx.Boxes.boxes.empty());
    EXPECT_EQ(f.TimerRegulator->Interval(), 5000);
    EXPECT_EQ(f.TimerSimulace->Interval(), 5000);
    EXPECT_EQ(f.S.ControlPeriod, 5.0);
    EXPECT_NEAR(f.S.ModelGain, 59.8434, 5e-5);
    EXPECT_NEAR(f.S.FastInput, 51.3709, 5e-5);
    EXPECT_NEAR(f.S.SlowDecay, 0.841342, 5e-7);
    EXPECT_EQ(f.S.Setpoint[1], 150.0);
    EXPECT_EQ(f.S.Setpoint[2], 150.0);
    // Regulation is off: the heater switches are the operator's, "Na prubeh" is his choice.
    EXPECT_FALSE(f.CheckBoxTopeni1->isHidden());
    EXPECT_FALSE(f.CheckBoxTopeni2->isHidden());
    EXPECT_TRUE(f.CheckBox3->isEnabled());
}

TEST(RegulationApply, TvzIsClampedAndTheIntervalTruncated) {
    struct Case {
        const char* entered;
        const char* shown;
        int interval;
        double controlPeriod;
    } cases[] = {
        {"7", "60", 60000, 60.0},   {"0", "5", 5000, 5.0},         {"-1", "5", 5000, 5.0},
        {"0,05", "5", 5000, 5.0},   {"6", "6", 6000, 6.0},         {"0,1", "0,1", 100, 0.1},
        {"0,1234", "0,1234", 123, 0.123}, {" 2,50 ", "2,5", 2500, 2.5}, {"60", "60", 60000, 60.0},
    };
    TFormFixture fx;
    TForm1& f = fx.Show();
    for (const auto& c : cases) {
        f.Edit8->setText(QString::fromUtf8(c.entered));
        f.Button4->click();
        EXPECT_EQ(f.Edit8->text(), QString::fromUtf8(c.shown)) << c.entered;
        EXPECT_EQ(f.TimerRegulator->Interval(), c.interval) << c.entered;
        EXPECT_EQ(f.TimerSimulace->Interval(), c.interval) << c.entered;
        EXPECT_EQ(f.S.ControlPeriod, c.controlPeriod) << c.entered;
    }
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST(RegulationApply, TextsThatAreNoNumberKeepThePreviousValue) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    SetTexts(f, {{f.Edit1, "abc"}, {f.Edit12, "120,50"}, {f.Edit2, "abc"}, {f.Edit3, "31.5"},
                 {f.Edit4, ""}, {f.Edit8, "1E400"}});
    f.Button4->click();
    EXPECT_EQ(f.S.Setpoint[1], 150.0);
    EXPECT_EQ(f.Edit1->text(), "150");
    EXPECT_EQ(f.S.Setpoint[2], 120.5);
    EXPECT_EQ(f.Edit12->text(), "120,5");
    EXPECT_EQ(f.S.r0, 0.01995);
    EXPECT_EQ(f.Edit2->text(), "0,01995");
    EXPECT_EQ(f.S.Ti, 31.5);
    EXPECT_EQ(f.Edit3->text(), "31,5");
    EXPECT_EQ(f.S.Td, 2.35);
    EXPECT_EQ(f.Edit4->text(), "2,35");
    EXPECT_EQ(f.S.Tvz, 5.0);
    EXPECT_EQ(f.Edit8->text(), "5");
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

// Parameters outside the model's domain: the error reaches the general report, what came before
// the failing step stays, the coefficients not yet computed keep their values, the heaters are
// not switched off and nothing else of the operation happens.
TEST(RegulationApply, FailuresEndTheApplyAtTheFailingStep) {
    struct Case {
        const char* r0;
        const char* Ti;
        const char* Td;
        const char* error;
        bool gainStored;
    } cases[] = {
        {"0,01995", "0", "2,35", "Floating point division by zero.", false},
        {"0", "31,5", "2,35", "Floating point division by zero.", false},
        {"0,01995", "10", "2,5", "Floating point division by zero.", false},
        {"0,01995", "9", "2,5", "Invalid floating point operation.", false},
        {"0,01995", "31,5", "0", "Floating point division by zero.", true},
        {"0,01995", "31,5", "-1", "Invalid floating point operation.", false},
    };
    for (const auto& c : cases) {
        TFormFixture fx;
        TForm1& f = fx.Show();
        const auto before = Snapshot(f.S);
        f.CheckBoxTopeni1->setChecked(true);
        SetTexts(f, {{f.Edit1, "99"}, {f.Edit2, c.r0}, {f.Edit3, c.Ti}, {f.Edit4, c.Td}, {f.Edit8, "2"}});
        f.Button4->click();

        ASSERT_EQ(fx.Boxes.boxes.size(), 1u) << c.Ti << " " << c.Td;
        EXPECT_EQ(fx.Boxes.boxes[0].title, "Regulace teploty");
        EXPECT_EQ(fx.Boxes.boxes[0].text, c.error);
        // Steps before the failure happened.
        EXPECT_EQ(f.S.Setpoint[1], 99.0);
        EXPECT_EQ(f.TimerRegulator->Interval(), 2000);
        EXPECT_EQ(f.S.ControlPeriod, 2.0);
        // The coefficients.
        const auto after = Snapshot(f.S);
        if (c.gainStored) {
            EXPECT_DOUBLE_EQ(after.ModelGain, 1.0 / 0.01995);
            EXPECT_EQ(after.FastTau, 0.0);
            EXPECT_EQ(after.SlowTau, 31.5);
        } else {
            EXPECT_EQ(after.ModelGain, before.ModelGain);
            EXPECT_EQ(after.FastTau, before.FastTau);
            EXPECT_EQ(after.SlowTau, before.SlowTau);
        }
        EXPECT_EQ(after.FastDecay, before.FastDecay);
        EXPECT_EQ(after.FastInput, before.FastInput);
        EXPECT_EQ(after.SlowDecay, before.SlowDecay);
        EXPECT_EQ(after.SlowInput, before.SlowInput);
        // Steps 11 and 12 did not happen.
        EXPECT_TRUE(f.CheckBoxTopeni1->isChecked());
    }
}

TEST(RegulationApply, RegulovatWithAndWithoutNaPrubeh) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.S.CycleTicks = 1234;
    f.CheckBoxTopeni2->setChecked(true);

    // "Na prubeh" unchecked: setpoints typed in the boxes stay, the cycle time runs on.
    f.CheckBox3->setChecked(false);
    f.Edit1->setText("130");
    f.CheckBoxRegulace->setChecked(true);
    EXPECT_EQ(f.S.Setpoint[1], 130.0);
    EXPECT_EQ(f.Edit1->text(), "130");
    EXPECT_EQ(f.S.CycleTicks, 1234);
    EXPECT_FALSE(f.CheckBoxTopeni2->isChecked());
    EXPECT_TRUE(f.CheckBoxTopeni1->isHidden());
    EXPECT_TRUE(f.CheckBoxTopeni2->isHidden());
    EXPECT_FALSE(f.CheckBox3->isEnabled());

    // Off again; then on with "Na prubeh": a new cycle with setpoints 0.
    f.CheckBoxRegulace->setChecked(false);
    EXPECT_FALSE(f.CheckBoxTopeni1->isHidden());
    EXPECT_TRUE(f.CheckBox3->isEnabled());
    f.CheckBox3->setChecked(true);
    f.S.BeepSent = f.S.CycleEnded = true;
    f.CheckBoxRegulace->setChecked(true);
    EXPECT_EQ(f.Edit1->text(), "0");
    EXPECT_EQ(f.Edit12->text(), "0");
    EXPECT_EQ(f.S.Setpoint[1], 0.0);
    EXPECT_EQ(f.S.Setpoint[2], 0.0);
    EXPECT_EQ(f.S.CycleTicks, 0);
    EXPECT_FALSE(f.S.BeepSent);
    EXPECT_FALSE(f.S.CycleEnded);
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST(RegulationApply, EveryApplyResetsTheModel) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.CheckBoxRegulace->setChecked(true);
    f.CheckBoxTopeni1->setChecked(true); // hidden, but code may still set it
    f.TimerRegulatorTimer(f.TimerRegulator);
    f.S.ProgramStep[1] = 3;
    f.S.SideState[1].FastLag = 5.0;
    f.Button4->click();
    EXPECT_EQ(f.S.SideState[1].FastLag, 0.0);
    EXPECT_EQ(f.S.SideState[1].SlowLag, 0.0);
    EXPECT_EQ(f.S.ProgramStep[1], 0);
}

TEST(HeaterLamps, FollowTheirSwitch) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    EXPECT_EQ(f.Shape1->BrushColor(), colors::Grey);
    EXPECT_EQ(f.Shape3->BrushColor(), colors::Grey);
    f.CheckBoxTopeni1->setChecked(true);
    EXPECT_EQ(f.Shape1->BrushColor(), colors::Red);
    EXPECT_EQ(f.Shape3->BrushColor(), colors::Grey);
    f.CheckBoxTopeni2->setChecked(true);
    EXPECT_EQ(f.Shape3->BrushColor(), colors::Red);
    f.Button4->click(); // every apply switches both heaters off
    EXPECT_EQ(f.Shape1->BrushColor(), colors::Grey);
    EXPECT_EQ(f.Shape3->BrushColor(), colors::Grey);
}

TEST(StartStop, StartBeginsACycleAndStopHoldsTheStandbySetpoints) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.CheckBox3->setChecked(false);
    f.Edit15->setText("abc");
    f.S.CycleTicks = 777;
    f.Button5->click();
    EXPECT_EQ(f.S.CycleLength, 180);
    EXPECT_EQ(f.Edit15->text(), "180");
    EXPECT_EQ(f.S.CycleTicks, 0);
    EXPECT_TRUE(f.CheckBoxRegulace->isChecked());
    EXPECT_TRUE(f.CheckBox3->isChecked());
    EXPECT_FALSE(f.CheckBox3->isEnabled());
    EXPECT_EQ(f.Edit1->text(), "0");
    EXPECT_EQ(TextColour(f.Label10), colors::Red);

    f.S.CycleTicks = 1239; // 123,9 s
    f.Edit16->setText("60");
    f.Edit17->setText("70,5");
    f.Button6->click();
    EXPECT_EQ(f.Label26->text(), "123");
    EXPECT_EQ(f.Edit1->text(), "60");
    EXPECT_EQ(f.Edit12->text(), "70,5");
    EXPECT_EQ(f.S.Setpoint[1], 60.0);
    EXPECT_EQ(f.S.Setpoint[2], 70.5);
    EXPECT_TRUE(f.CheckBoxRegulace->isChecked());
    EXPECT_FALSE(f.CheckBox3->isChecked());
    EXPECT_EQ(f.S.CycleTicks, 1239); // Stop does not restart the time
    EXPECT_EQ(TextColour(f.Label10), colors::Blue);
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST(StartStop, StopWhileRegulovatIsUncheckedSwitchesRegulationOn) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    ASSERT_FALSE(f.CheckBoxRegulace->isChecked());
    f.Stop->trigger();
    EXPECT_TRUE(f.CheckBoxRegulace->isChecked());
    EXPECT_EQ(f.S.Setpoint[1], 180.0);
    EXPECT_EQ(f.S.Setpoint[2], 180.0);
    EXPECT_TRUE(f.CheckBoxTopeni1->isHidden());
}

TEST(StartStop, AFailingApplyEndsTheStartThere) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.Edit3->setText("0");
    f.Button5->click();
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].text, "Floating point division by zero.");
    EXPECT_TRUE(f.CheckBoxRegulace->isChecked());
    EXPECT_EQ(TextColour(f.Label10), colors::Blue) << "the colour step after the apply did not run";
}

TEST(ControlTick, StepsTheProgramsOnePointPerTickAndDecides) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.S.ProgramTime[1][1] = 0;
    f.S.ProgramTemp[1][1] = 80;
    f.S.ProgramTime[1][2] = 2;
    f.S.ProgramTemp[1][2] = 145;
    f.S.ProgramCount[1] = 2;
    f.Edit15->setText("600");
    f.Button5->click();
    for (int i = 0; i < 50; ++i) f.TimerCasTimer(f.TimerCas);
    f.TimerRegulatorTimer(f.TimerRegulator);
    EXPECT_EQ(f.Edit1->text(), "80");
    EXPECT_EQ(f.S.Setpoint[2], 0.0) << "an empty program leaves its side at 0";
    EXPECT_TRUE(f.CheckBoxTopeni1->isChecked()); // 19 < 79,5
    f.TimerRegulatorTimer(f.TimerRegulator);
    EXPECT_EQ(f.Edit1->text(), "145");
    EXPECT_TRUE(f.CheckBoxTopeni1->isChecked()); // 19 + 41,8762 < 144,5
    EXPECT_EQ(f.Shape1->BrushColor(), colors::Red);
    EXPECT_FALSE(f.CheckBoxTopeni2->isChecked()); // 21 > 0,5
}

TEST(ControlTick, AFailingDecisionKeepsThatHeaterAsItWasForTheTick) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.Edit15->setText("600");
    f.Button5->click(); // regulating, both setpoints 0: a decision switches a heater off
    f.CheckBoxTopeni1->setChecked(true);
    f.CheckBoxTopeni2->setChecked(true);
    f.S.SideState[1].Temperature = 1.7e308; // side 1's prediction overflows
    f.S.SideState[1].FastLag = 1e308;
    f.Guard([&] { f.TimerRegulatorTimer(f.TimerRegulator); });
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_TRUE(f.CheckBoxTopeni1->isChecked()) << "kept for this tick";
    EXPECT_FALSE(f.CheckBoxTopeni2->isChecked()) << "the other side is decided all the same";
    EXPECT_EQ(f.S.SideState[1].FastLag, 1e308);
}

// Before any Start the cycle length is 0: the first tick after the operator checks "Regulovat"
// ends the cycle at once and sends the warning.
TEST(ControlTick, HoldingPhaseEndsAtOnceBeforeTheFirstStart) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.CheckBox3->setChecked(false);
    f.TimerCasTimer(f.TimerCas);
    f.CheckBoxRegulace->setChecked(true);
    f.TimerRegulatorTimer(f.TimerRegulator);
    EXPECT_TRUE(f.S.CycleEnded);
    EXPECT_TRUE(f.S.BeepSent);
    EXPECT_EQ(f.Label26->text(), "0");
    EXPECT_EQ(f.Edit1->text(), "180");
    EXPECT_TRUE(f.CheckBoxRegulace->isChecked());
    EXPECT_FALSE(f.CheckBox3->isChecked());
    // Ended once: further ticks do not stop again.
    f.Edit16->setText("50");
    f.TimerRegulatorTimer(f.TimerRegulator);
    EXPECT_EQ(f.Edit1->text(), "180");
}

TEST(TimeBase, CycleTimeCountsWholeTicks) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.Button5->click();
    for (int i = 0; i < 100; ++i) f.TimerCasTimer(f.TimerCas);
    EXPECT_EQ(f.S.CycleTime(), 10.0);
    f.Button6->click();
    EXPECT_EQ(f.Label26->text(), "10");
}

TEST(Simulation, RunsOnlyWhileChecked) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    EXPECT_FALSE(f.TimerSimulace->Enabled());
    f.CheckBox1->setChecked(true);
    EXPECT_TRUE(f.TimerSimulace->Enabled());
    EXPECT_EQ(f.TimerSimulace->Interval(), 5000);
    f.TimerSimulaceTimer(f.TimerSimulace);
    EXPECT_DOUBLE_EQ(f.S.SideState[1].Temperature, 19.015);
    EXPECT_DOUBLE_EQ(f.S.SideState[2].Temperature, 21.005);
    f.CheckBoxTopeni1->setChecked(true);
    f.TimerSimulaceTimer(f.TimerSimulace);
    EXPECT_TRUE(f.S.SideState[1].HeaterHistory[1]);
    EXPECT_FALSE(f.S.SideState[2].HeaterHistory[1]);
    f.CheckBox1->setChecked(false);
    EXPECT_FALSE(f.TimerSimulace->Enabled());
}

TEST(RegulationSettings, PouzitStoresTheSixKeysAsTheBoxesShowThemAfterTheApply) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    SetTexts(f, {{f.Edit2, "0,02000"}, {f.Edit3, "abc"}, {f.Edit4, "2,5"}, {f.Edit8, "7"}, {f.Edit16, "60"},
                 {f.Edit17, "70"}});
    f.Button4->click();
    const std::string ini = fx.ReadFile("Regulator.ini");
    EXPECT_NE(ini.find("[Regulace]\r\nr0=0,02\r\nTi=31,5\r\nTd=2,5\r\nTvz=60\r\nT1=60\r\nT2=70\r\n"),
              std::string::npos)
        << ini;
}

TEST(RegulationSettings, AFailingApplyWritesNothing) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.Edit3->setText("0");
    f.Button4->click();
    EXPECT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.ReadFile("Regulator.ini").find("[Regulace]"), std::string::npos);
}

// One bad value in the settings file is reported at start-up, and the program still gets its
// programs drawn, its log opened and its receive parsers reset.
TEST(RegulationSettings, ABadParameterAtStartUpIsReportedAndStartUpGoesOn) {
    TFormFixture fx("[Regulace]\r\nTi=0\r\n");
    fx.Create();
    fx.Form().S.RxState[1] = state::RxInMessage;
    TForm1& f = fx.Show();
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].text, "Floating point division by zero.");
    EXPECT_EQ(f.Edit3->text(), "0");
    EXPECT_TRUE(f.S.LogOpen);
    EXPECT_EQ(f.S.RxState[1], state::RxIdle);
    EXPECT_EQ(f.TimerRegulator->Interval(), 5000) << "the steps before the failure were done";
}

TEST(StartStop, ANewCycleClearsTheMeasuredCurvesOnly) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    ASSERT_NE(f.Chart, nullptr);
    for (int i = 0; i < 3; ++i) f.TimerUkazTimer(f.TimerUkaz);
    ASSERT_GT(f.Chart->PointCount(0), 0u);
    ASSERT_GT(f.Chart->PointCount(2), 0u);
    f.Button6->click(); // Stop: no new cycle, the curves stay
    EXPECT_GT(f.Chart->PointCount(0), 0u);
    f.Button5->click();
    EXPECT_EQ(f.Chart->PointCount(0), 0u);
    EXPECT_EQ(f.Chart->PointCount(2), 0u);
}
