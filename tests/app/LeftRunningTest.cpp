// The window left running for hours: a unit's line that goes away and comes back, closing that
// stays closed even while its report is read, reports at start-up that wait for the window to be
// drawn, and keys pressed in a box that stay in the box.
#include "FormFixture.h"

#include "journal/RunJournal.h"
#include "serial/ComPort.h"
#include "serial/ComSync.h"
#include "tests/support/FakeSerialServices.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>

namespace {

class LeftRunning : public ::testing::Test {
protected:
    LeftRunning() {
        lines->AddDevice("COM3");
        lines->AddDevice("COM4");
        fx.Services.Serial = lines;
        fx.Services.Sync = sync;
    }
    TForm1& F() { return fx.Form(); }

    // Serves the port notifications handed over so far, then what they left for the event loop.
    void Serve() {
        sync->WaitForPending();
        sync->ProcessPending();
        QCoreApplication::processEvents();
    }
    int JournalCount(const std::string& text) const {
        const std::string journal = fx.ReadFile("Data/events.txt");
        int n = 0;
        for (auto at = journal.find(text); at != std::string::npos; at = journal.find(text, at + 1))
            ++n;
        return n;
    }

    std::shared_ptr<testsupport::FakeSerialServices> lines =
        std::make_shared<testsupport::FakeSerialServices>();
    std::shared_ptr<TQueuedComSync> sync = std::make_shared<TQueuedComSync>();
    TFormFixture fx;
};

} // namespace

// The line hangs up under the open port: the port closes (its event thread ends), the alarm
// strip tells the operator without a box, and the watchdog opens it again as soon as the device
// is back, which ends the alarm.
TEST_F(LeftRunning, APulledAdapterClosesItsPortAndComesBackByItself) {
    fx.Show();
    F().COMTimerTimer(F().COMTimer);
    ASSERT_TRUE(F().Com1Port->Connected());
    F().Label14->setText("Pt1&");

    for (int pull = 1; pull <= 2; ++pull) {
        SCOPED_TRACE("pull " + std::to_string(pull));
        lines->Unplug("COM3");
        Serve();
        EXPECT_FALSE(F().Com1Port->Connected());
        EXPECT_FALSE(lines->IsOpen("COM3")) << "the dead device is let go";
        EXPECT_EQ(F().Shape2->BrushColor(), colors::Red);
        EXPECT_EQ(F().Label14->text(), "N/A");
        EXPECT_EQ(F().ListBox2->item(0)->text(), "1: Spojeni s jednotkou 1 preruseno.");
        EXPECT_TRUE(F().Com2Port->Connected());
        EXPECT_EQ(StripTexts(F()).value(0), "Spojeni s jednotkou 1 preruseno.");
        EXPECT_EQ(F().Alarms.Alarms().size(), 1u) << "one alarm per disappearance";

        F().COMTimer->OnTimer();
        F().TimerRegulator->OnTimer();
        EXPECT_FALSE(F().Com1Port->Connected()) << "nothing to open while it is away";
        lines->Plug("COM3");
        F().COMTimer->OnTimer();
        EXPECT_TRUE(F().Com1Port->Connected());
        EXPECT_EQ(F().Shape2->BrushColor(), colors::Lime);
        EXPECT_EQ(F().ListBox2->item(0)->text(), "1: Spojeni s jednotkou 1 obnoveno.");
        EXPECT_TRUE(F().Alarms.Alarms().empty());
        EXPECT_EQ(StripTexts(F()).value(0), "Spojeni s jednotkou 1 obnoveno.");
    }
    EXPECT_TRUE(fx.Boxes.boxes.empty());
    EXPECT_EQ(JournalCount("\t1\tport-lost\tCOM3"), 2);
    EXPECT_EQ(JournalCount("\t1\tport-back\tCOM3"), 2);
}

// Closing is final: the timers stop first, each unit is told to switch its heater off, and while
// the report of an unwritable settings file stands open no tick, watchdog or port event opens a
// port or writes to a unit. The window goes
// once the operator has closed that report.
TEST_F(LeftRunning, ClosingIsFinalWhileItsReportIsRead) {
    fx.Show();
    F().COMTimerTimer(F().COMTimer);
    F().Button5->click();
    ASSERT_TRUE(F().Com1Port->Connected());
    std::filesystem::create_directory(fx.Dir() / "Regulator.ini");
    fx.Boxes.HoldOpen = true;
    const std::string sent3 = lines->Written("COM3"), sent4 = lines->Written("COM4");
    lines->Receive("COM4", "@START&\r"); // a notification still on its way as the window closes

    fx.Close();
    ASSERT_EQ(fx.Boxes.OpenCount(), 1u);
    EXPECT_TRUE(F().isVisible()) << "the window stays until its last report is read";
    for (TTimer* timer : {F().TimerCas, F().TimerRegulator, F().TimerUkaz, F().TimerSimulace, F().COMTimer}) {
        EXPECT_FALSE(timer->Enabled()) << timer->objectName().toStdString();
        timer->OnTimer(); // a tick that was due already
    }
    F().COMTimerTimer(F().COMTimer);
    F().TimerRegulatorTimer(F().TimerRegulator);
    sync->ProcessPending();
    QCoreApplication::processEvents();
    EXPECT_FALSE(F().Com1Port->Connected());
    EXPECT_FALSE(F().Com2Port->Connected());
    // Each unit is told to switch its heater off as the ports close, and gets nothing after.
    EXPECT_EQ(lines->Written("COM3"), sent3 + "@ledka=0&@rele=0&*");
    EXPECT_EQ(lines->Written("COM4"), sent4 + "@ledka=0&@rele=0&*");

    ASSERT_TRUE(fx.Boxes.CloseOldest());
    QCoreApplication::processEvents();
    EXPECT_FALSE(F().isVisible());
    EXPECT_FALSE(F().Com1Port->Connected());
}

// The system ends the program (SIGTERM: a shutdown, a UPS) while a report stands open: the window
// goes without waiting for a click, what was still to be reported goes to the journal, each unit
// is told to switch its heater off, and the running cycle stays in the run journal, resumable.
TEST_F(LeftRunning, TheSystemEndsTheProgramWithoutWaitingForAClick) {
    fx.Boxes.HoldOpen = true;
    fx.Show();
    F().COMTimerTimer(F().COMTimer);
    F().Button5->click();
    F().Report("Prvni hlaseni");
    F().Report("Druhe hlaseni");
    ASSERT_EQ(fx.Boxes.OpenCount(), 1u);
    const std::string sent3 = lines->Written("COM3");

    F().Terminate();
    EXPECT_FALSE(F().isVisible());
    EXPECT_EQ(fx.Boxes.OpenCount(), 1u) << "nobody closed the box";
    EXPECT_EQ(lines->Written("COM3"), sent3 + "@ledka=0&@rele=0&*");
    EXPECT_FALSE(F().Com1Port->Connected());
    const std::string journal = fx.ReadFile("Data/events.txt");
    for (const char* line : {"\treport\tPrvni hlaseni.\r\n", "\treport\tDruhe hlaseni.\r\n",
                             "\t1\theaters-off\tCOM3: topeni vypnuto pri ukonceni\r\n",
                             "\tcycle-interrupted\tukonceni systemem, cas 0 s, lze pokracovat\r\n",
                             "\tprogram-exit\tukonceni systemem\r\n"})
        EXPECT_NE(journal.find(line), std::string::npos) << line << "\n" << journal;
    const auto run = journal::ReadRunJournal(fx.Dir() / "Data" / "Regulator.run");
    ASSERT_EQ(run.State, journal::RunJournalRead::Status::Ok) << run.Problem;
    EXPECT_FALSE(run.Entry.Finished) << "a shutdown keeps the cycle for the next start";
}

// A unit's line that takes only part of a command within its time limit (a stalled line): the
// unit gets nothing more in that tick, the stall is reported once, the other unit is served. The
// write limit fits the control period, so the tick never waits longer than its period.
TEST_F(LeftRunning, AStalledLineHoldsATickForOneWriteAndIsReportedOnce) {
    fx.Show();
    F().COMTimerTimer(F().COMTimer);
    ASSERT_TRUE(F().Com1Port->Connected());
    const auto limit = lines->LastTimeouts("COM3");
    EXPECT_EQ(limit.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(limit.WriteTotalTimeoutConstant, 1000u);
    F().Edit8->setText("0,5");
    F().Button4->click();
    EXPECT_EQ(lines->LastTimeouts("COM3").WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(lines->LastTimeouts("COM3").WriteTotalTimeoutConstant, 375u);
    fx.Boxes.boxes.clear();

    lines->SetWriteLimit("COM3", 4);
    const std::size_t had3 = lines->Written("COM3").size(), had4 = lines->Written("COM4").size();
    for (int i = 0; i < 3; ++i) F().TimerRegulator->OnTimer();
    EXPECT_EQ(lines->Written("COM3").substr(had3), "@led@led@led");
    EXPECT_EQ(lines->Written("COM4").substr(had4), "@ledka=0&@rele=0&*@ledka=0&@rele=0&*@ledka=0&@rele=0&*");
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].text, "Strana 1: jednotka neprijima, zapis prikazu nedokoncen.");
}

// A failing apply at start-up is reported on the drawn window, not on an empty screen.
TEST(LeftRunningStartUp, StartUpReportsWaitForTheWindowToBeDrawn) {
    TFormFixture fx("[Regulace]\r\nTi=0\r\n");
    TForm1& f = fx.Create();
    f.show();
    EXPECT_TRUE(fx.Boxes.boxes.empty());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QCoreApplication::processEvents();
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].text, "Floating point division by zero.");
}

// Enter pressed in a box closes the box and clicks nothing in the window behind it; the window's
// Start and Stop keys do nothing there either.
TEST(LeftRunningStartUp, KeysInABoxStayInTheBox) {
    TQtMessageBoxes real;
    TFormFixture fx;
    fx.Services.Boxes = &real;
    TForm1& f = fx.Show();
    real.SetParent(&f);
    QSignalSpy start(f.Button5, &QPushButton::clicked);
    QSignalSpy stopped(f.Stop, &QAction::triggered);
    bool closed = false;
    f.ShowBox(QStringLiteral("Error"), QStringLiteral("Nelze otevrit COM port 1."), TBoxIcon::None,
              [&] { closed = true; });
    auto* box = f.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    QWidget* focus = box->focusWidget() ? box->focusWidget() : box;
    QTest::keyClick(focus, Qt::Key_Delete);
    QTest::keyClick(focus, Qt::Key_F1);
    QTest::keyClick(focus, Qt::Key_Return);
    EXPECT_TRUE(closed);
    EXPECT_EQ(start.count(), 0);
    EXPECT_EQ(stopped.count(), 0);
    EXPECT_FALSE(f.CheckBoxRegulace->isChecked());
}
