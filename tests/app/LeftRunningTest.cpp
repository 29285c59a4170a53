// The window left running for hours: a unit's line that goes away and comes back, closing that
// stays closed even while its report is read, reports at start-up that wait for the window to be
// drawn, and keys pressed in a box that stay in the box.
#include "FormFixture.h"

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

// Closing is final: the timers stop first, and while the report of an unwritable settings file
// stands open no tick, watchdog or port event opens a port or writes to a unit. The window goes
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
    EXPECT_EQ(lines->Written("COM3"), sent3);
    EXPECT_EQ(lines->Written("COM4"), sent4);

    ASSERT_TRUE(fx.Boxes.CloseOldest());
    QCoreApplication::processEvents();
    EXPECT_FALSE(F().isVisible());
    EXPECT_FALSE(F().Com1Port->Connected());
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
