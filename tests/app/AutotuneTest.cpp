// The autotune window on the built-in simulation, driven through its controls and the main
// window's timer handlers: a whole relay test on side 1, asked for, drawn as it runs and ended by
// its model within half an hour, its proposal accepted for side 1 alone (stored, in force, kept
// over a restart); the test refused during a cycle and kept from the main window's Enter; and the
// ways a running test ends early.
#include "FormFixture.h"

#include "app/AutotuneWindow.h"
#include "autotune/ClosedLoop.h"
#include "chart/TChart.h"

#include <QTest>
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

// One control tick and one simulation tick, as the timers deliver them; the model check the tick
// started is waited for, so that the test ends where a synchronous run would end it.
void Tick(TForm1& f) {
    f.TimerRegulator->OnTimer();
    f.TimerSimulace->OnTimer();
    if (f.AutotuneWindow != nullptr) f.AutotuneWindow->WaitForCheck();
}

TEST(Autotune, ARelayTestOnTheSimulationIsAskedForDrawnLiveAndAcceptedForItsSideAlone) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.CheckBox1->setChecked(true); // "Simulace"
    TAutotuneWindow& w = OpenAutotune(f);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isModal());
    EXPECT_EQ(f.ButtonAutotune->geometry(), QRect(135, 184, 72, 25));
    EXPECT_GE(w.geometry().left(), f.mapToGlobal(QPoint(f.Panel1->width(), 0)).x())
        << "the readouts and Start/STOP stay in view";

    w.EditZadana->setText(QStringLiteral("150"));
    fx.Boxes.Answer = true;
    w.ButtonStart->click();
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_TRUE(fx.Boxes.boxes[0].question);
    EXPECT_TRUE(fx.Boxes.boxes[0].text.startsWith(QStringLiteral("Test strany 1 zapina a vypina topeni naplno")))
        << fx.Boxes.boxes[0].text.toStdString();
    ASSERT_TRUE(w.Running());
    EXPECT_TRUE(f.LabelAutotune1->isVisible());
    EXPECT_EQ(f.LabelAutotune1->text(), QStringLiteral("Test 150"));
    EXPECT_FALSE(f.LabelAutotune2->isVisible());
    EXPECT_EQ(f.AutotuneSetpoint(1), 150.0);
    EXPECT_FALSE(f.AutotuneSetpoint(2).has_value());

    const double r0Before = f.S.r0;
    const auto* chart = f.findChild<chart::TChart*>(QStringLiteral("ChartAutotune"));
    bool side2Heated = false, drawnLive = false;
    for (int ticks = 0; ticks < 3000 && w.Running(); ++ticks) {
        Tick(f);
        side2Heated = side2Heated || f.CheckBoxTopeni2->isChecked();
        if (ticks == 100) {
            EXPECT_TRUE(f.CheckBoxTopeni1->isChecked()) << "side 1 starts cold: after the rest the relay heats";
            drawnLive = chart->PointCount(0) == w.Test()->Trace().size() &&
                        chart->PointCount(1) == w.Test()->Trace().size();
        }
    }
    ASSERT_FALSE(w.Running());
    EXPECT_TRUE(drawnLive) << "temperature and heater drawn while the test runs";
    EXPECT_EQ(w.Test()->Verdict(), autotune::TVerdict::Done) << w.LabelPrubeh->text().toStdString();
    EXPECT_EQ(w.Test()->DoneBy(), autotune::TDoneBy::Model);
    EXPECT_LE(w.Test()->Elapsed(), 1800.0) << "the built-in oven at Tvz 5 within half an hour";
    EXPECT_FALSE(side2Heated) << "the other side is left alone";
    EXPECT_FALSE(f.CheckBoxTopeni1->isChecked()) << "the heater is off when the test ends";
    EXPECT_FALSE(f.LabelAutotune1->isVisible());
    EXPECT_EQ(f.S.r0, r0Before) << "nothing changes before the operator accepts";

    const int width = w.width();
    ASSERT_TRUE(w.WaitForProposal());
    EXPECT_EQ(w.width(), width) << "the proposal does not widen the window";
    EXPECT_EQ(chart->PointCount(2), w.Test()->Trace().size()) << "the model's curve beside the test's";
    ASSERT_TRUE(w.ButtonPrijmout->isEnabled());
    EXPECT_EQ(w.ButtonPrijmout->text(), QStringLiteral("Prijmout pro stranu 1"));
    w.ButtonPrijmout->click();
    ASSERT_TRUE(f.S.OwnParameters[1].has_value());
    const auto& own = *f.S.OwnParameters[1];
    EXPECT_TRUE(autotune::Valid({own.r0, own.Ti, own.Td}));
    EXPECT_NEAR(own.r0, w.Proposal()->Parameters.r0, 1e-3 * own.r0);
    EXPECT_FALSE(f.S.OwnParameters[2].has_value()) << "side 2 keeps the shared set";
    EXPECT_EQ(f.S.r0, r0Before);
    EXPECT_EQ(f.Edit2->text(), QStringLiteral("0,01995")) << "the shared boxes stay";
    EXPECT_TRUE(w.LabelPrubeh->text().startsWith(QStringLiteral("Navrh prijat pro stranu 1: r0 = ")));
    EXPECT_TRUE(w.LabelSada1->text().startsWith(QStringLiteral("Strana 1: vlastni r0 = ")));
    EXPECT_TRUE(w.LabelSada2->text().startsWith(QStringLiteral("Strana 2: spolecne r0 = 0,01995")));
    EXPECT_EQ(f.LabelParametry->text(), QStringLiteral("Strana 1: vlastni r0, Ti, Td"));
    const std::string ini = fx.ReadFile("Regulator.ini");
    EXPECT_NE(ini.find("r0_1="), std::string::npos);
    EXPECT_EQ(ini.find("r0_2="), std::string::npos);

    // A regulation with them settles side 1 at the setpoint on the simulation (the design
    // defaults, which side 2 keeps, swing by about 20 degC there).
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
    for (const char* what :
         {"autotune\tstart", "autotune\tzmereno: model ustalen", "autotune\tnavrh", "autotune\tprijato pro stranu 1"})
        EXPECT_NE(journal.find(what), std::string::npos) << what;

    // The next start finds side 1's own set, and "Pouzit spolecne" takes it away again.
    TFormFixture again(ini);
    TForm1& g = again.Show();
    ASSERT_TRUE(g.S.OwnParameters[1].has_value());
    EXPECT_EQ(g.S.OwnParameters[1]->Ti, own.Ti);
    EXPECT_FALSE(g.S.OwnParameters[2].has_value());
    EXPECT_FALSE(g.LabelParametry->isHidden());
    TAutotuneWindow& v = OpenAutotune(g);
    v.ButtonSpolecne1->click();
    EXPECT_FALSE(g.S.OwnParameters[1].has_value());
    EXPECT_TRUE(g.LabelParametry->isHidden());
    EXPECT_FALSE(v.ButtonSpolecne1->isEnabled());
    EXPECT_TRUE(again.Boxes.boxes.empty());
}

TEST(Autotune, NoTestWithoutTheOperatorsYesNorDuringACycleAndEnterInTheWindowStartsNothing) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.CheckBox1->setChecked(true);
    TAutotuneWindow& w = OpenAutotune(f);

    fx.Boxes.Answer = false;
    w.ButtonStart->click();
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_TRUE(fx.Boxes.boxes[0].question);
    EXPECT_FALSE(w.Running()) << "\"Ne\" starts nothing";

    // Enter in the window's boxes takes their value; on its focused button it clicks that button;
    // it never reaches the main window's "Start cyklu".
    w.show();
    w.activateWindow();
    w.EditH->setFocus();
    QTest::keyClick(w.EditH, Qt::Key_Return);
    EXPECT_FALSE(f.CheckBoxRegulace->isChecked()) << "no cycle started";
    EXPECT_EQ(fx.Boxes.boxes.size(), 1u);
    w.ButtonStart->setFocus();
    QTest::keyClick(w.ButtonStart, Qt::Key_Return);
    EXPECT_EQ(fx.Boxes.boxes.size(), 2u) << "the focused button takes Enter: the question again";
    EXPECT_FALSE(f.CheckBoxRegulace->isChecked());

    // While a cycle runs the test is refused with a reason, and nothing is asked.
    f.Button5->click();
    ASSERT_TRUE(f.CycleRunning());
    fx.Boxes.Answer = true;
    w.ButtonStart->click();
    ASSERT_EQ(fx.Boxes.boxes.size(), 3u);
    EXPECT_FALSE(fx.Boxes.boxes[2].question);
    EXPECT_EQ(fx.Boxes.boxes[2].title, QStringLiteral("Autotune"));
    EXPECT_TRUE(fx.Boxes.boxes[2].text.startsWith(QStringLiteral("Bezi cyklus")));
    EXPECT_FALSE(w.Running());
    // After STOP the sides are held at t1 and t2, and the test may take one over.
    f.Button6->click();
    w.ButtonStart->click();
    EXPECT_TRUE(w.Running());
}

TEST(Autotune, CancelStopAndClosingEndARunningTest) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.CheckBox1->setChecked(true);
    fx.Boxes.Answer = true;
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
        for (int i = 0; i < 10; ++i) Tick(f); // past the rest: the relay heats
        EXPECT_TRUE(f.CheckBoxTopeni1->isChecked()) << c.what;
        c.end();
        EXPECT_FALSE(w.Running()) << c.what;
        EXPECT_EQ(w.Test()->Verdict(), autotune::TVerdict::Aborted) << c.what;
        EXPECT_FALSE(w.WaitForProposal()) << c.what;
        EXPECT_FALSE(f.LabelAutotune1->isVisible()) << c.what;
        Tick(f);
        EXPECT_EQ(f.CheckBoxTopeni1->isChecked(), f.CheckBoxRegulace->isChecked() && f.S.Setpoint[1] > 20.0)
            << c.what << ": the side is back with its controller";
    }
}

} // namespace
