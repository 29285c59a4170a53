// The window as a new user sees it, its keys and the general error report.
#include "FormFixture.h"

#include "app/AppIcon.h"

#include "serial/ComPort.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QWindow>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace {

template <class T> T* Find(TForm1& f, const char* name) {
    T* w = f.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

} // namespace

TEST(Shell, WindowAsDesigned) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    EXPECT_EQ(f.windowTitle(), "Regulace teploty v2.9");
    EXPECT_EQ(f.size(), QSize(1016, 570));
    EXPECT_EQ(f.Panel1->geometry(), QRect(0, 0, 217, 570));
    EXPECT_EQ(f.PanelGraf->geometry(), QRect(217, 0, 799, 570));
    EXPECT_EQ(f.t->height(), 321);
    EXPECT_EQ(f.t->geometry().bottom(), 569);

    // Every control is there under its own name, with its design text.
    struct Text {
        const char* name;
        const char* text;
    } labels[] = {{"Label1", "Strana 1:"}, {"Label12", "Strana 2:"}, {"Label9", "Cas:"},
                  {"Label25", "Posledni"}, {"Label27", "cyklus:"},   {"Label26", "NA"},
                  {"Label2", "Zadana 1:"}, {"Label18", "Zadana 2:"}, {"Label21", "Doba cyklu:"},
                  {"Label22", "s"},        {"Label3", "Port:"},      {"Label13", "Port:"},
                  {"Label19", "Port 1:"},  {"Label20", "Port 2:"},   {"Label4", "Cas:"},
                  {"Label5", "Teplota:"},  {"Label16", "Cas:"},      {"Label17", "Teplota:"},
                  {"Label6", "r0 ="},      {"Label7", "Ti ="},       {"Label8", "Td ="},
                  {"Label11", "Tvz ="},    {"Label23", "t1 ="},      {"Label24", "t2 ="}};
    for (const auto& l : labels) EXPECT_EQ(Find<QLabel>(f, l.name)->text(), l.text) << l.name;
    Text buttons[] = {{"Button1", "Pouzit"}, {"Button2", "Smazat"}, {"Button3", "Pridat"},
                      {"Button4", "Pouzit"}, {"Button5", "Start cyklu"}, {"Button6", "STOP"},
                      {"Button7", "Smazat"}, {"Button8", "Pridat"}, {"Button9", "Test"}, {"Button10", "Test"}};
    for (const auto& b : buttons) EXPECT_EQ(Find<QPushButton>(f, b.name)->text(), b.text) << b.name;
    Text checks[] = {{"CheckBoxTopeni1", "Topit"}, {"CheckBoxTopeni2", "Topit"}, {"CheckBoxRegulace", "Regulovat"},
                     {"CheckBox3", "Na prubeh"},   {"CheckBox1", "Simulace"},    {"CheckBox2", "Ukaz vse"}};
    for (const auto& c : checks) EXPECT_EQ(Find<QCheckBox>(f, c.name)->text(), c.text) << c.name;
    Text edits[] = {{"Edit13", "@Pt1&"}, {"Edit14", "@Pt2"}, {"Edit5", "10"}, {"Edit7", "100"},
                    {"Edit10", "10"},    {"Edit11", "100"}};
    for (const auto& e : edits) EXPECT_EQ(Find<QLineEdit>(f, e.name)->text(), e.text) << e.name;

    // The big labels and buttons.
    EXPECT_EQ(f.LabelTeplota1->font().pixelSize(), 32);
    EXPECT_TRUE(f.LabelTeplota1->font().bold());
    EXPECT_EQ(f.Label10->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(f.Label26->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(f.Button5->font().pixelSize(), 16);
    EXPECT_EQ(f.Button5->size(), QSize(105, 49));
    EXPECT_EQ(f.Button6->size(), QSize(75, 49));

    // Four tabs in order, "COM" shown, fixed-pitch program lists with their two header rows.
    ASSERT_EQ(f.t->count(), 4);
    EXPECT_EQ(f.t->tabText(0), "Regulator");
    EXPECT_EQ(f.t->tabText(1), "COM");
    EXPECT_EQ(f.t->tabText(2), "Prubeh 1");
    EXPECT_EQ(f.t->tabText(3), "Prubeh 2");
    EXPECT_EQ(f.t->currentWidget(), f.TabSheet3);
    for (QListWidget* list : {f.ListBox1, f.ListBox3}) {
        EXPECT_TRUE(QFontInfo(list->font()).fixedPitch());
        ASSERT_GE(list->count(), 2);
        EXPECT_EQ(list->item(0)->text(), "  Cas     Teplota");
        EXPECT_EQ(list->item(1)->text(), "==================");
    }

    // Start-up states: Button1 hidden, both "Smazat" disabled, lamps grey and red.
    EXPECT_TRUE(f.Button1->isHidden());
    EXPECT_FALSE(f.Button2->isEnabled());
    EXPECT_FALSE(f.Button7->isEnabled());
    EXPECT_EQ(f.Shape1->BrushColor(), QColor(128, 128, 128));
    EXPECT_EQ(f.Shape3->BrushColor(), QColor(128, 128, 128));
    EXPECT_EQ(f.Shape2->BrushColor(), QColor(255, 0, 0));
    EXPECT_EQ(f.Shape4->BrushColor(), QColor(255, 0, 0));
    EXPECT_EQ(f.Label14->text(), "N/A");
    EXPECT_EQ(f.Label15->text(), "N/A");
    EXPECT_FALSE(f.CheckBox1->isChecked());
}

TEST(Shell, TitlesStandAsGivenWhileTheApplicationIsNamed) {
    const QString before = QCoreApplication::applicationName();
    SetApplicationTitle();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Regulace teploty"); // the taskbar's text
    // The platform appends the display name to every window title only when one was set of its
    // own; without one, the display name follows the application name.
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "probe");
    QCoreApplication::setApplicationName(before);

    TFormFixture fx;
    TForm1& f = fx.Show();
    ASSERT_NE(f.windowHandle(), nullptr);
    EXPECT_EQ(f.windowHandle()->title(), "Regulace teploty v2.9");
}

TEST(Shell, TimersAndStateAtStart) {
    TFormFixture fx;
    TForm1& f = fx.Create();
    struct Timer {
        TTimer* timer;
        int interval;
        bool enabled;
    } timers[] = {{f.TimerCas, 100, true},
                  {f.TimerRegulator, 100, true},
                  {f.TimerUkaz, 500, true},
                  {f.TimerSimulace, 100, false},
                  {f.COMTimer, 1000, true}};
    for (const auto& t : timers) {
        EXPECT_EQ(t.timer->Interval(), t.interval) << t.timer->objectName().toStdString();
        EXPECT_EQ(t.timer->Enabled(), t.enabled) << t.timer->objectName().toStdString();
    }
    // The regulator state after creation.
    EXPECT_EQ(f.S.SideState[1].Temperature, 19.0);
    EXPECT_EQ(f.S.SideState[2].Temperature, 21.0);
    EXPECT_EQ(f.S.SideState[1].HeaterSwitch->Checked(), false);
    EXPECT_EQ(f.S.CycleTime(), 0.0);
    EXPECT_FALSE(f.S.LogOpen);
    f.CheckBoxTopeni2->setChecked(true);
    EXPECT_TRUE(f.S.SideState[2].HeaterSwitch->Checked());
}

TEST(Shell, ShortcutsRunStartAndStopWindowWide) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    QSignalSpy start(f.Start, &QAction::triggered);
    QSignalSpy stop(f.Stop, &QAction::triggered);

    // Del in an edit box runs Stop and deletes no character.
    f.Edit13->setCursorPosition(0);
    QTest::keyClick(f.Edit13, Qt::Key_Delete);
    EXPECT_EQ(stop.count(), 1);
    EXPECT_EQ(f.Edit13->text(), "@Pt1&");
    QTest::keyClick(f.ListBox2, Qt::Key_F2);
    EXPECT_EQ(stop.count(), 2);

    QTest::keyClick(f.Edit3, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(f.CheckBox2, Qt::Key_F1);
    EXPECT_EQ(start.count(), 2);
    EXPECT_EQ(stop.count(), 2);
    // A plain "s" is just a letter.
    QTest::keyClick(f.Edit3, Qt::Key_S);
    EXPECT_EQ(start.count(), 2);
}

TEST(Shell, EnterClicksStartCyklu) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    QSignalSpy start(f.Button5, &QPushButton::clicked);
    QSignalSpy stop(f.Button6, &QPushButton::clicked);
    QTest::keyClick(f.Edit15, Qt::Key_Return);
    QTest::keyClick(f.CheckBoxRegulace, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(f.ListBox1, Qt::Key_Return);
    EXPECT_EQ(start.count(), 3);
    // A focused push button takes Enter itself.
    QTest::keyClick(f.Button6, Qt::Key_Return);
    EXPECT_EQ(stop.count(), 1);
    EXPECT_EQ(start.count(), 3);
}

TEST(ErrorReport, TextRule) {
    EXPECT_EQ(TErrorReport::ReportText("Disk full"), "Disk full.");
    EXPECT_EQ(TErrorReport::ReportText("I/O error 5"), "I/O error 5.");
    EXPECT_EQ(TErrorReport::ReportText("Unable to open com port (win error code: 2)"),
              "Unable to open com port (win error code: 2)");
    EXPECT_EQ(TErrorReport::ReportText("Done."), "Done.");
    EXPECT_EQ(TErrorReport::ReportText("What?"), "What?."); // "?" comes after "." in the code table
    EXPECT_EQ(TErrorReport::ReportText("a-"), "a-");
    EXPECT_EQ(TErrorReport::ReportText("100 %"), "100 %");
    EXPECT_EQ(TErrorReport::ReportText(""), "");
}

TEST(ErrorReport, HandlerEndsAtTheFailingStepAndTheProgramGoesOn) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    int steps = 0;
    f.Guard([&] {
        ++steps;
        f.Edit1->setText(QStringLiteral("kept"));
        throw std::runtime_error("Disk full");
        ++steps; // never reached
    });
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(f.Edit1->text(), "kept");
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].title, "Regulace teploty");
    EXPECT_EQ(fx.Boxes.boxes[0].text, "Disk full.");
    EXPECT_EQ(fx.Boxes.boxes[0].icon, TBoxIcon::Error);
    // The next event runs normally.
    f.Guard([&] { ++steps; });
    EXPECT_EQ(steps, 2);
}

TEST(ErrorReport, OneBoxAtATimeAndRepeatsCounted) {
    TRecordingBoxes boxes;
    TErrorReport report(boxes);
    int nested = 0;
    // While the first box is open the timers keep firing: the same error five more times and a
    // different one. None of them opens a box inside the open one.
    boxes.OnShow = [&] {
        if (nested++ > 0) return;
        EXPECT_TRUE(report.Showing());
        for (int i = 0; i < 5; ++i) report.Report("Disk full");
        report.Report("File access denied");
        report.Report("File access denied");
        EXPECT_EQ(boxes.boxes.size(), 1u);
    };
    report.Report("Disk full");
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(boxes.boxes[0].text, "Disk full.");
    EXPECT_EQ(boxes.boxes[1].text, "Disk full. (5x)");
    EXPECT_EQ(boxes.boxes[2].text, "File access denied. (2x)");
    EXPECT_FALSE(report.Showing());
}

TEST(Shell, StartUpWithoutSettingsFile) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    EXPECT_EQ(f.Com1Port->Port(), "COM3");
    EXPECT_EQ(f.Com2Port->Port(), "COM4");
    EXPECT_EQ(f.Com1Port->BaudRate(), br4800);
    EXPECT_EQ(f.Com2Port->BaudRate(), br4800);
    EXPECT_FALSE(f.Com1Port->Connected()); // the watchdog opens them, a second after start
    EXPECT_EQ(f.Edit6->text(), "3");
    EXPECT_EQ(f.Edit9->text(), "4");
    EXPECT_TRUE(f.Button1->isHidden());

    struct Box {
        QLineEdit* edit;
        const char* text;
    } boxes[] = {{f.Edit1, "150"}, {f.Edit12, "150"}, {f.Edit15, "180"}, {f.Edit2, "0,01995"}, {f.Edit3, "31,5"},
                 {f.Edit4, "2,35"}, {f.Edit8, "5"},   {f.Edit16, "180"}, {f.Edit17, "180"}};
    for (const auto& b : boxes) EXPECT_EQ(b.edit->text(), b.text) << b.edit->objectName().toStdString();
    EXPECT_FALSE(f.CheckBox2->isChecked());
    EXPECT_FALSE(f.CheckBox3->isChecked()); // the settings default wins over the design state
    EXPECT_FALSE(f.CheckBoxRegulace->isChecked());
    EXPECT_EQ(f.S.ProgramCount[1], 0);
    EXPECT_EQ(f.S.ProgramCount[2], 0);
    EXPECT_EQ(f.ListBox1->count(), 2);
    EXPECT_EQ(f.ListBox3->count(), 2);

    // The parameters were applied once while showing: setpoints, control period, model.
    EXPECT_EQ(f.S.Setpoint[1], 150.0);
    EXPECT_EQ(f.TimerRegulator->Interval(), 5000);
    EXPECT_EQ(f.S.ControlPeriod, 5.0);
    EXPECT_TRUE(f.CheckBoxTopeni1->isVisible());
    EXPECT_TRUE(f.CheckBox3->isEnabled());

    // The first data log is open.
    EXPECT_TRUE(f.S.LogOpen);
    EXPECT_TRUE(std::filesystem::exists(fx.Dir() / "Data"));

    // The big labels keep their design texts until the first display refresh.
    EXPECT_EQ(f.LabelTeplota1->text(), "200,1");
    EXPECT_EQ(f.Label10->text(), "NA");
    f.TimerUkazTimer(f.TimerUkaz);
    EXPECT_EQ(f.LabelTeplota1->text(), "19");
    EXPECT_EQ(f.LabelTeplota2->text(), "21");
    EXPECT_EQ(f.Label10->text(), "0");
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST(Shell, ClosingSavesTheWindowSectionAndClosesEverything) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.CheckBox1->setChecked(true); // simulation on at exit
    f.Edit1->setText(QStringLiteral("155"));
    fx.Close();
    EXPECT_FALSE(f.S.LogOpen);
    EXPECT_FALSE(f.Com1Port->Connected());
    EXPECT_FALSE(f.Com2Port->Connected());
    const std::string ini = fx.ReadFile("Regulator.ini");
    EXPECT_NE(ini.find("Zadana1=155"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Simulace=1"), std::string::npos) << ini;
    EXPECT_TRUE(fx.Boxes.boxes.empty());

    // The next start has the simulation off, whatever was saved.
    TFormFixture next(ini);
    TForm1& g = next.Show();
    EXPECT_FALSE(g.CheckBox1->isChecked());
    EXPECT_FALSE(g.TimerSimulace->Enabled());
    EXPECT_EQ(g.Edit1->text(), "155");
}

TEST(ErrorReport, ShownOnlyAfterTheOutermostHandlerHasFinished) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    bool finished = false;
    // A handler that runs another one (a Start run by a unit's message, a log that fails inside
    // an apply): the inner failure is reported when everything has run, not in the middle.
    f.Guard([&] {
        f.Guard([&] { throw std::runtime_error("Disk full"); });
        f.Report(QStringLiteral("File access denied"));
        EXPECT_TRUE(fx.Boxes.boxes.empty());
        finished = true;
    });
    EXPECT_TRUE(finished);
    ASSERT_EQ(fx.Boxes.boxes.size(), 2u);
    EXPECT_EQ(fx.Boxes.boxes[0].text, "Disk full.");
    EXPECT_EQ(fx.Boxes.boxes[1].text, "File access denied.");
}
