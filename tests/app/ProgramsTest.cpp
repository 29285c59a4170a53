// The program tabs offscreen: adding and deleting points, the lists, the delete buttons and the
// step curves on the chart.
#include "FormFixture.h"

#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"

#include <QTest>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Curve = std::vector<std::pair<double, double>>;

struct Side {
    int side;
    QListWidget* TForm1::*list;
    QPushButton* TForm1::*del;
    QLineEdit* TForm1::*time;
    QLineEdit* TForm1::*temp;
    QPushButton* TForm1::*add;
};
const Side Sides[] = {{1, &TForm1::ListBox1, &TForm1::Button2, &TForm1::Edit5, &TForm1::Edit7, &TForm1::Button3},
                      {2, &TForm1::ListBox3, &TForm1::Button7, &TForm1::Edit10, &TForm1::Edit11, &TForm1::Button8}};

std::vector<std::string> Rows(QListWidget* list) {
    std::vector<std::string> rows;
    for (int r = 0; r < list->count(); ++r) rows.push_back(list->item(r)->text().toStdString());
    return rows;
}

void Add(TForm1& f, const Side& s, const char* time, const char* temp) {
    (f.*s.time)->setText(QString::fromLatin1(time));
    (f.*s.temp)->setText(QString::fromLatin1(temp));
    QTest::mouseClick(f.*s.add, Qt::LeftButton);
}

// The curve as the chart holds it, per second from 1 to the values' count.
Curve PerSecond(const std::vector<double>& values) {
    Curve c;
    for (std::size_t n = 0; n < values.size(); ++n) c.emplace_back(static_cast<double>(n + 1), values[n]);
    return c;
}

TEST(ProgramTabs, AddListsSortedDrawsTheCurveAndSaves) {
    for (const Side& s : Sides) {
        TFormFixture fx;
        TForm1& f = fx.Show();
        Add(f, s, "30", "100");
        Add(f, s, "10", "50");
        EXPECT_EQ(Rows(f.*s.list), (std::vector<std::string>{"  Cas     Teplota", "==================",
                                                             "   10        50", "   30       100"}));
        EXPECT_EQ((f.*s.list)->currentRow(), -1);
        std::vector<double> values(9, 0.0);
        values.resize(29, 50.0);
        values.push_back(100.0);
        EXPECT_EQ(f.Chart->Points(chart::SetpointSeries(s.side)), PerSecond(values));
        EXPECT_EQ(f.Chart->PointCount(chart::SetpointSeries(3 - s.side)), 0u);
        EXPECT_NE(fx.ReadFile("Regulator.ini").find(s.side == 1 ? "[Prubeh1]" : "[Prubeh2]"), std::string::npos);
        EXPECT_TRUE(fx.Boxes.boxes.empty());
        // The boxes keep their texts: the same point again at once.
        QTest::mouseClick(f.*s.add, Qt::LeftButton);
        EXPECT_EQ(f.S.ProgramCount[s.side], 3);
    }
}

TEST(ProgramTabs, RefusedPointsShowChybaAndStillSave) {
    const std::pair<const char*, const char*> refused[] = {{"abc", "100"}, {"10", "-5"}, {"", "100"}, {"10", ""}};
    for (const Side& s : Sides) {
        TFormFixture fx;
        TForm1& f = fx.Show();
        Add(f, s, "5", "50");
        fx.WriteFile("Regulator.ini", ""); // so that the save after a refusal shows
        for (const auto& [time, temp] : refused) {
            fx.Boxes.boxes.clear();
            Add(f, s, time, temp);
            ASSERT_EQ(fx.Boxes.boxes.size(), 1u) << time << "/" << temp;
            EXPECT_EQ(fx.Boxes.boxes[0].title, "Chyba");
            EXPECT_EQ(fx.Boxes.boxes[0].text, "Zadane hodnoty jsou mimo povoleny rozsah.");
            EXPECT_EQ(f.S.ProgramCount[s.side], 1);
            EXPECT_EQ((f.*s.list)->count(), 3);
        }
        EXPECT_NE(fx.ReadFile("Regulator.ini").find(s.side == 1 ? "[Prubeh1]" : "[Prubeh2]"), std::string::npos);
        fx.Boxes.boxes.clear();
        Add(f, s, "0", "0"); // zero is fine
        EXPECT_TRUE(fx.Boxes.boxes.empty());
        EXPECT_EQ(f.S.ProgramCount[s.side], 2);
    }
}

TEST(ProgramTabs, TheHundredAndFirstPointIsDroppedSilently) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    for (int n = 1; n <= 99; ++n) { // as loaded
        f.S.ProgramTime[1][n] = n;
        f.S.ProgramTemp[1][n] = 20;
    }
    f.S.ProgramCount[1] = 99;
    Add(f, Sides[0], "100", "20");
    EXPECT_EQ(f.S.ProgramCount[1], 100);
    Add(f, Sides[0], "5", "99");
    EXPECT_EQ(f.S.ProgramCount[1], 100);
    EXPECT_EQ(f.ListBox1->count(), 102);
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST(ProgramTabs, SmazatFollowsTheSelectionAndDeletesExactlyThatPoint) {
    for (const Side& s : Sides) {
        TFormFixture fx;
        TForm1& f = fx.Show();
        QListWidget* list = f.*s.list;
        QPushButton* del = f.*s.del;
        EXPECT_FALSE(del->isEnabled());
        Add(f, s, "10", "1");
        Add(f, s, "20", "2");
        Add(f, s, "40000", "3");

        list->setCurrentRow(1); // the rule under the header
        EXPECT_FALSE(del->isEnabled());
        list->setCurrentRow(2); // point 1
        EXPECT_TRUE(del->isEnabled());
        list->setCurrentRow(0);
        EXPECT_FALSE(del->isEnabled());
        list->setCurrentRow(2);

        QTest::mouseClick(del, Qt::LeftButton);
        EXPECT_EQ(Rows(list), (std::vector<std::string>{"  Cas     Teplota", "==================", "   20         2",
                                                        "40000         3"}));
        EXPECT_FALSE(del->isEnabled());
        EXPECT_EQ(list->currentRow(), -1);
        const auto curve = f.Chart->Points(chart::SetpointSeries(s.side));
        ASSERT_EQ(curve.size(), 40000u);
        EXPECT_EQ(curve[18], std::make_pair(19.0, 0.0));
        EXPECT_EQ(curve[19], std::make_pair(20.0, 2.0));
        EXPECT_EQ(curve.back(), std::make_pair(40000.0, 3.0));

        // After an add "Smazat" keeps its state with nothing selected; pressing it does nothing.
        list->setCurrentRow(3);
        Add(f, s, "30", "9");
        EXPECT_TRUE(del->isEnabled());
        EXPECT_EQ(list->currentRow(), -1);
        QTest::mouseClick(del, Qt::LeftButton);
        EXPECT_EQ(f.S.ProgramCount[s.side], 3);
    }
}

// A Ctrl+click on the selected row clears the selection while the row stays current: nothing is
// selected any more, so "Smazat" goes grey and pressing it deletes nothing.
TEST(ProgramTabs, ACtrlClickThatClearsTheSelectionDisablesSmazat) {
    for (const Side& s : Sides) {
        TFormFixture fx;
        TForm1& f = fx.Show();
        QListWidget* list = f.*s.list;
        QPushButton* del = f.*s.del;
        f.t->setCurrentWidget(list->parentWidget());
        Add(f, s, "10", "1");
        Add(f, s, "20", "2");
        const QPoint row2 = list->visualItemRect(list->item(2)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row2);
        ASSERT_TRUE(list->item(2)->isSelected());
        EXPECT_TRUE(del->isEnabled());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, row2);
        ASSERT_TRUE(list->selectedItems().isEmpty());
        EXPECT_FALSE(del->isEnabled());
        del->setEnabled(true); // even if it were pressed
        del->click();
        EXPECT_EQ(f.S.ProgramCount[s.side], 2);
    }
}

TEST(ProgramTabs, DeletingTheOnlyPointClearsListCurveAndSection) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    Add(f, Sides[0], "60", "80");
    EXPECT_EQ(f.Chart->PointCount(chart::SeriesSetpoint1), 60u);
    f.ListBox1->setCurrentRow(2);
    QTest::mouseClick(f.Button2, Qt::LeftButton);
    EXPECT_EQ(Rows(f.ListBox1), (std::vector<std::string>{"  Cas     Teplota", "=================="}));
    EXPECT_EQ(f.Chart->PointCount(chart::SeriesSetpoint1), 0u);
    EXPECT_EQ(fx.ReadFile("Regulator.ini").find("[Prubeh1]"), std::string::npos);
}

TEST(ProgramTabs, EditingDuringACycleKeepsTheNextPoint) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    for (const char* t : {"0", "10", "20", "30"}) Add(f, Sides[0], t, t);
    f.S.ProgramStep[1] = 2; // points at 0 s and 10 s applied
    f.ListBox1->setCurrentRow(2);
    QTest::mouseClick(f.Button2, Qt::LeftButton); // an applied point goes
    EXPECT_EQ(f.S.ProgramStep[1], 1);
    EXPECT_EQ(f.S.ProgramTemp[1][f.S.ProgramStep[1] + 1], 20);
    Add(f, Sides[0], "5", "5"); // among the applied points
    EXPECT_EQ(f.S.ProgramTemp[1][f.S.ProgramStep[1] + 1], 20);
    Add(f, Sides[0], "15", "15"); // after them: it is the next one
    EXPECT_EQ(f.S.ProgramTemp[1][f.S.ProgramStep[1] + 1], 15);
}

TEST(ProgramTabs, AProgramOfAWeekAndMoreDrawsInBoundedTime) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    Add(f, Sides[1], "2147483647", "100");
    Add(f, Sides[1], "1000000", "50");
    const auto curve = f.Chart->Points(chart::SeriesSetpoint2);
    EXPECT_LT(curve.size(), 604900u);
    EXPECT_EQ(curve.back(), std::make_pair(2147483647.0, 100.0));
}

} // namespace
