// The autotune window on the built-in simulation, driven through its controls and the main
// window's timer handlers: a whole relay test on side 1, its proposal accepted (applied and
// stored as "Pouzit" does), and the ways a running test ends early.
#include "FormFixture.h"

#include "app/AutotuneWindow.h"
#include "autotune/ClosedLoop.h"
#include "chart/TChart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

TAutotuneWindow& OpenAutotune(TForm1& f) {
    f.ButtonAutotune->click();
    auto* w = f.findChild<TAutotuneWindow*>(QStringLiteral("AutotuneWindow"));
    EXPECT_NE(w, nullptr);
    return *w;
}

// One control tick and one simulation tick, as the timers deliver them.
void Tick(TForm1& f) {
    f.TimerRegulator->OnTimer();
    f.TimerSimulace->OnTimer();
}

TEST(Autotune, ARelayTestOnTheSimulationIsAcceptedAppliedAndStored) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.CheckBox1->setChecked(true); // "Simulace"
    TAutotuneWindow& w = OpenAutotune(f);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isModal());
    EXPECT_EQ(f.ButtonAutotune->geometry(), QRect(135, 184, 72, 25));

    w.EditZadana->setText(QStringLiteral("150"));
    w.ButtonStart->click();
    ASSERT_TRUE(w.Running());
    const double r0Before = f.S.r0;
    int ticks = 0;
    bool side2Heated = false;
    for (; ticks < 3000 && w.Running(); ++ticks) {
        Tick(f);
        side2Heated = side2Heated || f.CheckBoxTopeni2->isChecked();
        if (ticks == 0) {
            EXPECT_TRUE(f.CheckBoxTopeni1->isChecked()) << "side 1 starts cold: the relay heats";
        }
    }
    ASSERT_FALSE(w.Running());
    EXPECT_EQ(w.Test()->Verdict(), autotune::TVerdict::Done) << w.LabelPrubeh->text().toStdString();
    EXPECT_FALSE(side2Heated) << "the other side is left alone";
    EXPECT_FALSE(f.CheckBoxTopeni1->isChecked()) << "the heater is off when the test ends";
    EXPECT_EQ(f.S.r0, r0Before) << "nothing changes before the operator accepts";

    ASSERT_TRUE(w.WaitForProposal());
    ASSERT_TRUE(w.ButtonPrijmout->isEnabled());
    EXPECT_EQ(f.findChild<chart::TChart*>(QStringLiteral("ChartAutotune"))->PointCount(2),
              w.Test()->Trace().size()) << "the model's curve beside the test's";
    w.ButtonPrijmout->click();
    const autotune::TParameters applied{f.S.r0, f.S.Ti, f.S.Td};
    EXPECT_TRUE(autotune::Valid(applied));
    EXPECT_NEAR(applied.r0, w.Proposal()->Parameters.r0, 1e-3 * applied.r0);
    EXPECT_NE(fx.ReadFile("Regulator.ini").find("r0=" + f.Edit2->text().toStdString()), std::string::npos);
    // And a regulation with them settles at the setpoint on the simulation (the design defaults
    // swing by about 20 degC there).
    f.CheckBox3->setChecked(false);
    f.Edit1->setText(QStringLiteral("150"));
    f.CheckBoxRegulace->setChecked(true);
    double worst = 0.0;
    for (int i = 0; i < 2000; ++i) {
        Tick(f);
        if (i >= 1600) worst = std::max(worst, std::fabs(f.S.SideState[1].Temperature - 150.0));
    }
    EXPECT_LT(worst, 2.0);
    const std::string journal = fx.ReadFile("Data/events.txt");
    for (const char* what : {"autotune\tstart", "autotune\tzmereno", "autotune\tnavrh", "autotune\tprijato"})
        EXPECT_NE(journal.find(what), std::string::npos) << what;
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST(Autotune, CancelStopAndClosingEndARunningTest) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.CheckBox1->setChecked(true);
    TAutotuneWindow& w = OpenAutotune(f);
    w.EditZadana->setText(QStringLiteral("abc"));
    w.ButtonStart->click();
    EXPECT_FALSE(w.Running());
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].title, QStringLiteral("Chyba"));
    w.EditZadana->setText(QStringLiteral("150"));

    struct Case {
        const char* what;
        std::function<void()> end;
    };
    const Case cases[] = {
        {"Zrusit test", [&] { w.ButtonZrusit->click(); }},
        {"STOP", [&] { f.Button6->click(); }},
        {"closing the window", [&] { w.close(); }},
    };
    for (const Case& c : cases) {
        f.ButtonAutotune->click();
        w.ButtonStart->click();
        ASSERT_TRUE(w.Running()) << c.what;
        Tick(f);
        c.end();
        EXPECT_FALSE(w.Running()) << c.what;
        EXPECT_EQ(w.Test()->Verdict(), autotune::TVerdict::Aborted) << c.what;
        EXPECT_FALSE(w.WaitForProposal()) << c.what;
        Tick(f);
        EXPECT_EQ(f.CheckBoxTopeni1->isChecked(), f.CheckBoxRegulace->isChecked() && f.S.Setpoint[1] > 20.0)
            << c.what << ": the side is back with its controller";
    }
}

} // namespace
