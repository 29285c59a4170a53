// What the operator meets besides the alarms: every change of theirs in the event journal with
// its old and new value, controls that refuse or warn instead of surprising (a program point at
// the limit, a Start whose program reaches it), the status line in words, and a window that fits
// a small screen with its controls in a sensible tab order.
#include "FormFixture.h"

#include "app/AlarmStrip.h"

#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Types into a box as the operator does (the box then counts as edited).
void Type(QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
}

TEST(OperatorView, TheJournalHoldsEveryChangeWithItsOldAndNewValue) {
    TFormFixture fx;
    fx.Services.PortPause = [](int) {};
    TForm1& f = fx.Show();

    f.Edit2->setText("0,025"); // r0
    f.Edit16->setText("200");  // t1
    f.Button4->click();
    f.CheckBox3->click();        // "Na prubeh" on
    f.CheckBoxRegulace->click(); // "Regulovat" on: a new cycle
    f.Button4->click();          // "Pouzit" while the cycle runs restarts it
    f.Button6->click();          // STOP: the sides held at t1 and t2 (no change of the operator's)
    Type(f.Edit1, "160");        // a setpoint typed while holding, applied by "Pouzit"
    f.Button4->click();
    f.Edit15->setText("240");
    f.Button5->click();
    f.Edit5->setText("80");
    f.Edit7->setText("90");
    f.Button3->click();
    f.ListBox1->setCurrentRow(2);
    f.Button2->click();
    f.EditMaxT1->setText("300");
    f.ButtonMaxT->click();
    f.CheckBox1->click(); // "Simulace"
    f.Edit6->setText("5");
    f.Button1->click();

    const std::string journal = fx.ReadFile("Data/events.txt");
    std::size_t at = 0;
    for (const char* line : {
             "-\tchange\tr0: 0,01995 -> 0,025\r\n",
             "-\tchange\tt1: 180 -> 200\r\n",
             "-\tchange\tNa prubeh: vypnuto -> zapnuto\r\n",
             "-\tchange\tRegulovat: vypnuto -> zapnuto\r\n",
             "-\tcycle-start\tobsluha, Regulovat\r\n",
             "-\tcycle-start\tobsluha, Pouzit\r\n",
             "-\tcycle-stop\tobsluha\r\n",
             "-\tchange\tPouzit: novy datovy soubor\r\n",
             "1\tchange\tZadana 1: 200 -> 160\r\n",
             "-\tcycle-start\tobsluha\r\n",
             "-\tchange\tDoba cyklu: 180 -> 240\r\n",
             "1\tchange\tPrubeh 1: bod 80 s, 90 pridan\r\n",
             "1\tchange\tPrubeh 1: bod 80 s, 90 smazan\r\n",
             "1\tchange\tTmax1: bez meze -> 300\r\n",
             "-\tchange\tSimulace: vypnuto -> zapnuto\r\n",
             "1\tchange\tPort 1: COM3, 4800 Bd -> COM5, 4800 Bd\r\n",
         }) {
        at = journal.find(line, at);
        ASSERT_NE(at, std::string::npos) << line << " in order in\n" << journal;
    }
    EXPECT_EQ(Count(journal, "\tchange\t"), 12) << "nothing the program set itself:\n" << journal;
}

TEST(OperatorView, APointAtTheLimitIsRefusedAndAStartWarnsAndTheStatusLineSaysWhatRuns) {
    TFormFixture fx("[Bezpecnost]\r\nMaxT1=100\r\n[Prubeh1]\r\nCas1=0\r\nTeplota1=60\r\n");
    TForm1& f = fx.Show();
    f.TimerUkazTimer(f.TimerUkaz);
    EXPECT_EQ(f.LabelStav->text(), "Cyklus stoji");
    EXPECT_EQ(f.LabelStav1->palette().color(QPalette::WindowText), QColor(255, 0, 0))
        << "the side's chart colour";
    EXPECT_EQ(f.LabelStav2->palette().color(QPalette::WindowText), QColor(0, 0, 255));

    f.Edit5->setText("80");
    f.Edit7->setText("100");
    f.Button3->click();
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].title, "Chyba");
    EXPECT_EQ(fx.Boxes.boxes[0].text,
              "Teplota 100 je na mezi strany 1 (Tmax1 = 100) nebo nad ni. Bod nebyl pridan.");
    EXPECT_EQ(f.S.ProgramCount[1], 1);
    f.Edit7->setText("99");
    f.Button3->click();
    EXPECT_EQ(f.S.ProgramCount[1], 2);

    // The limit lowered below the program: Start starts and warns in the strip, without a box.
    f.EditMaxT1->setText("90");
    f.ButtonMaxT->click();
    f.Button5->click();
    EXPECT_TRUE(f.CheckBoxRegulace->isChecked());
    EXPECT_EQ(
        StripTexts(f),
        QStringList{"Strana 1: program dosahuje meze Tmax1 = 90 (99 v case 80 s), u meze se topeni vypne."});
    EXPECT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_NE(fx.ReadFile("Data/events.txt").find("\t1\twarning\tStrana 1: program dosahuje meze"),
              std::string::npos);
    for (int i = 0; i < 955; ++i)
        f.TimerCasTimer(f.TimerCas);
    f.TimerRegulatorTimer(f.TimerRegulator); // point 1
    f.TimerRegulatorTimer(f.TimerRegulator); // point 2
    f.TimerUkazTimer(f.TimerUkaz);
    EXPECT_EQ(f.LabelStav->text(), "Cyklus bezi: 1 min 35 s z 3 min 00 s, zbyva 1 min 25 s");
    EXPECT_EQ(f.LabelStav1->text(), "Strana 1: zadana 99, topi");
    EXPECT_EQ(f.LabelStav2->text(), "Strana 2: zadana 0, netopi");

    f.Button6->click();
    f.TimerUkazTimer(f.TimerUkaz);
    EXPECT_EQ(f.LabelStav->text(), "Cyklus drzi t1/t2");
    // The warning goes once the operator has seen it.
    f.PanelAlarmy->ButtonPotvrdit->click();
    EXPECT_TRUE(StripTexts(f).isEmpty());
    EXPECT_TRUE(f.PanelAlarmy->isHidden());
}

// At its minimum size, which a 1024 x 600 screen holds with a title bar and a task bar, every
// control of the left panel and of each tab is inside what is shown; Tab goes through the panel
// from the sides down to Start and STOP, then through the tabs.
TEST(OperatorView, EveryControlShowsOnASmallScreenAndTabGoesInOrder) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    const QSize least = f.minimumSize();
    EXPECT_LE(least.width(), 1024);
    EXPECT_LE(least.height(), 600 - 60);
    f.resize(least);
    QCoreApplication::processEvents();
    ASSERT_EQ(f.size(), least);
    auto inside = [](QWidget* area) {
        for (QWidget* w : area->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w->isHidden() || w->isWindow()) continue;
            EXPECT_TRUE(area->rect().contains(w->geometry()))
                << w->objectName().toStdString() << " in " << area->objectName().toStdString();
        }
    };
    f.LabelParametry->setText(QStringLiteral("Strany 1 a 2: vlastni r0, Ti, Td")); // a side's own set shown
    f.LabelParametry->adjustSize();
    f.LabelParametry->show();
    inside(f.Panel1);
    for (QWidget* page : {f.TabSheet1, f.TabSheet3, f.TabSheet4, f.TabSheet5}) {
        f.t->setCurrentWidget(page);
        QCoreApplication::processEvents();
        inside(page);
    }

    const std::vector<QWidget*> order = {
        f.CheckBoxTopeni1,  f.ButtonPotvrdit1, f.CheckBoxTopeni2, f.ButtonPotvrdit2, f.Edit1,  f.Edit12,
        f.CheckBoxRegulace, f.CheckBox3,       f.Edit15,          f.Button5,         f.Button6};
    // The next control that Tab can reach (hidden ones included: they are reached once shown).
    auto next = [](QWidget* w) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    for (std::size_t i = 1; i < order.size(); ++i)
        EXPECT_EQ(next(order[i - 1]), order[i]) << order[i - 1]->objectName().toStdString();
    for (auto [from, to] :
         {std::pair<QWidget*, QWidget*>{f.Edit2, f.Edit3}, {f.EditMaxT2, f.ButtonMaxT}, {f.Edit7, f.Button3}})
        EXPECT_EQ(next(from), to) << from->objectName().toStdString();
}

} // namespace
