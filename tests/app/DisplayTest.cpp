// The display refresh offscreen: chart appends, labels, the data log and its failures.
#include "FormFixture.h"

#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "persistence/DataLog.h"
#include "platform/Clock.h"
#include "tests/support/FileSizeLimit.h"

#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A window shown at 14:05 on 7 December 2026.
class Display : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetLocalClock([] { return platform::LocalDateTime{2026, 12, 7, 14, 5, 0}; });
    }
    void TearDown() override { platform::SetLocalClock({}); }
    void Refresh(TForm1& f) { f.Guard([&] { f.TimerUkazTimer(f.TimerUkaz); }); }
    fs::path FirstLog() const { return fx.Dir() / "Data" / "data_07_12_26__14_05.txt"; }
    // The data log's reports; a Data folder that cannot be written also fails the event journal
    // and the run journal beside the logs, which are reported on their own (JournalReports).
    std::vector<std::string> ErrorTexts() const { return Texts(false); }
    std::size_t JournalReports() const { return Texts(true).size(); }
    std::vector<std::string> Texts(bool journal) const {
        std::vector<std::string> out;
        for (const auto& b : fx.Boxes.boxes) {
            const bool ofJournal = b.text.startsWith(QStringLiteral("Zapis do denniku udalosti")) ||
                                   b.text.startsWith(QStringLiteral("Zapis stavu cyklu"));
            if (ofJournal == journal) out.push_back(b.text.toStdString());
        }
        return out;
    }
    TFormFixture fx;
};

TEST_F(Display, FirstRefreshShowsTheStartTemperaturesAndLogsThem) {
    TForm1& f = fx.Show();
    ASSERT_TRUE(f.S.LogOpen);
    f.S.CycleTicks = 129;
    Refresh(f);
    EXPECT_EQ(f.LabelTeplota1->text(), "19");
    EXPECT_EQ(f.LabelTeplota2->text(), "21");
    EXPECT_EQ(f.Label10->text(), "12");
    EXPECT_EQ(f.Chart->Points(chart::SeriesTemperature1), (std::vector<std::pair<double, double>>{{12.9, 19.0}}));
    EXPECT_EQ(f.Chart->Points(chart::SeriesTemperature2), (std::vector<std::pair<double, double>>{{12.9, 21.0}}));
    const std::string line = fx.ReadFile("Data/data_07_12_26__14_05.txt");
    EXPECT_EQ(line.substr(0, 8), "    12.9");
    EXPECT_NE(line.find("    19.0    12.9"), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 8), "    21.0"); // its CR LF follows with the next line
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST_F(Display, LabelsTruncateWhileTheLogRounds) {
    TForm1& f = fx.Show();
    f.S.SideState[1].Temperature = 148.27;
    f.S.SideState[2].Temperature = -3.27;
    Refresh(f);
    EXPECT_EQ(f.LabelTeplota1->text(), "148,2");
    EXPECT_EQ(f.LabelTeplota2->text(), "-3,2");
    const std::string line = fx.ReadFile("Data/data_07_12_26__14_05.txt");
    EXPECT_NE(line.find("   148.3"), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 8), "    -3.3");
}

TEST_F(Display, LiveSetpointOnlyPastTheProgramAndAlwaysWithoutOne) {
    TForm1& f = fx.Show();
    f.Edit5->setText("60");
    f.Edit7->setText("80");
    QTest::mouseClick(f.Button3, Qt::LeftButton); // program 1 ends at 60 s; program 2 is empty
    f.S.Setpoint[1] = 77;
    f.S.Setpoint[2] = 33;
    ASSERT_EQ(f.Chart->PointCount(chart::SeriesSetpoint1), 60u);
    f.S.CycleTicks = 600;
    Refresh(f);
    EXPECT_EQ(f.Chart->PointCount(chart::SeriesSetpoint1), 60u);
    EXPECT_EQ(f.Chart->Points(chart::SeriesSetpoint2), (std::vector<std::pair<double, double>>{{60.0, 33.0}}));
    f.S.CycleTicks = 601;
    Refresh(f);
    EXPECT_EQ(f.Chart->Points(chart::SeriesSetpoint1).back(), std::make_pair(60.1, 77.0));
    EXPECT_EQ(f.Chart->PointCount(chart::SeriesSetpoint2), 2u);
}

TEST_F(Display, AFullDiskIsReportedOnceAndTheWindowGoesOn) {
    TForm1& f = fx.Show();
    {
        FileSizeLimit full(fs::file_size(persistence::OpenLog(f.S)->Path()));
        Refresh(f);
    }
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Disk full."});
    EXPECT_FALSE(f.S.LogOpen);
    f.S.SideState[1].Temperature = 55.5;
    Refresh(f);
    Refresh(f);
    EXPECT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(f.LabelTeplota1->text(), "55,5");
    EXPECT_EQ(f.Chart->PointCount(chart::SeriesTemperature1), 3u);
    f.OpenDataLog(); // the next opening starts a log again
    EXPECT_TRUE(f.S.LogOpen);
    EXPECT_TRUE(fs::exists(fx.Dir() / "Data" / "data_07_12_26__14_05_2.txt"));
}

TEST_F(Display, WhileRegulatingTheLogGoesOnInItsFileAfterADiskError) {
    TForm1& f = fx.Show();
    f.CheckBox3->setChecked(false);
    f.CheckBoxRegulace->setChecked(true); // regulating, with a new log
    const fs::path log = persistence::OpenLog(f.S)->Path();
    Refresh(f);
    {
        FileSizeLimit full(fs::file_size(log)); // the disk is full for two refreshes
        Refresh(f);
        Refresh(f);
    }
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Disk full."}); // reported once
    EXPECT_FALSE(f.S.LogOpen);
    Refresh(f);
    Refresh(f);
    EXPECT_TRUE(f.S.LogOpen);
    EXPECT_EQ(persistence::OpenLog(f.S)->Path(), log);
    EXPECT_EQ(ErrorTexts().size(), 1u);
    const QString resumed = QString::fromStdString("Zapis dat obnoven: " + log.filename().string());
    EXPECT_EQ(f.ListBox2->findItems(resumed, Qt::MatchExactly).size(), 1); // recovery told once
    const std::string text = fx.ReadFile("Data/" + log.filename().string());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2); // the two failed refreshes are lost

    // Not regulating: a log closed by a failure waits for the next Start, Stop or apply.
    f.CheckBoxRegulace->setChecked(false); // keeps the log
    const auto size = fs::file_size(log);
    {
        FileSizeLimit full(size);
        Refresh(f);
    }
    Refresh(f);
    Refresh(f);
    EXPECT_FALSE(f.S.LogOpen);
    EXPECT_EQ(fs::file_size(log), size);
    EXPECT_EQ(ErrorTexts().size(), 2u);
}

TEST_F(Display, ALogThatCannotBeOpenedNeverEndsStart) {
    TForm1& f = fx.Create();
    std::ofstream(fx.Dir() / "Data") << "not a folder";
    fx.Show();
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Invalid filename."});
    EXPECT_FALSE(f.S.LogOpen);
    fx.Boxes.boxes.clear();

    f.Edit1->setText("123");
    f.Guard([&] { f.Button5Click(f.Button5); });
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>(ErrorTexts().size(), "Invalid filename."));
    EXPECT_FALSE(ErrorTexts().empty());
    // Start went all the way: regulation on along the programs, setpoints applied, heaters off.
    EXPECT_TRUE(f.CheckBoxRegulace->isChecked());
    EXPECT_TRUE(f.CheckBox3->isChecked());
    EXPECT_EQ(f.Edit1->text(), "0");
    EXPECT_EQ(f.S.Setpoint[1], 0.0);
    EXPECT_FALSE(f.CheckBoxTopeni1->isVisible());
    EXPECT_EQ(f.Label10->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_FALSE(f.S.LogOpen);
    Refresh(f); // and the display goes on
    EXPECT_EQ(f.LabelTeplota2->text(), "21");

    // Neither does it end Stop, nor "Pouzit" while regulating, which stores after its apply.
    fx.Boxes.boxes.clear();
    f.Guard([&] { f.Button6Click(f.Button6); });
    EXPECT_FALSE(ErrorTexts().empty());
    EXPECT_EQ(f.S.Setpoint[1], 180.0);
    EXPECT_EQ(f.Label10->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    f.Edit2->setText("0,03");
    f.Guard([&] { f.Button4Click(f.Button4); });
    EXPECT_EQ(f.S.r0, 0.03);
    EXPECT_NE(fx.ReadFile("Regulator.ini").find("r0=0,03"), std::string::npos);
}

TEST_F(Display, AReadOnlyDataFolderGivesFileAccessDenied) {
    const fs::path data = fx.Dir() / "Data";
    fs::create_directories(data);
    bool mounted = false;
    if (::geteuid() == 0) {
        // The superuser writes through permissions: a read-only file system stands in.
        mounted = ::mount("tmpfs", data.c_str(), "tmpfs", MS_RDONLY, "size=4k") == 0;
        if (!mounted) GTEST_SKIP() << "running as root and cannot mount";
    } else {
        fs::permissions(data, fs::perms::owner_read | fs::perms::owner_exec);
    }
    TForm1& f = fx.Show();
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"File access denied."});
    EXPECT_FALSE(f.S.LogOpen);
    Refresh(f);
    f.RecordEvent(1, "stale");
    EXPECT_EQ(f.Label10->text(), "0");
    EXPECT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(JournalReports(), 1u) << "a journal that cannot be written is reported once, not per event";
    if (mounted) ::umount2(data.c_str(), MNT_DETACH);
    fs::permissions(data, fs::perms::owner_all);
}

TEST_F(Display, CloseEndsTheLastLine) {
    TForm1& f = fx.Show();
    Refresh(f);
    Refresh(f);
    fx.Close();
    EXPECT_FALSE(f.S.LogOpen);
    const std::string text = fx.ReadFile("Data/data_07_12_26__14_05.txt");
    EXPECT_EQ(text.size(), 2u * 58u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

} // namespace
