// The chart's menu offscreen: a reference run behind the live curves, and the exports.
#include "FormFixture.h"

#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "persistence/DataLog.h"
#include "report/CsvExport.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class ChartMenu : public ::testing::Test {
protected:
    TForm1& Show() {
        fx.Services.PickFile = [this](const TFilePick& pick, TFilePicked done) {
            picks.push_back(pick);
            if (!answer.isEmpty()) done(answer, filter.isEmpty() ? pick.Selected : filter);
        };
        return fx.Show();
    }
    // Chooses the menu command `name`, answering its file dialog with `file` in the program folder.
    void Choose(const char* name, const std::string& file) {
        answer = QString::fromStdString((fx.Dir() / file).string());
        auto* action = fx.Form().Chart->Menu()->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
        fx.AwaitReference();
    }
    static std::string Log(const std::vector<persistence::LogRow>& rows) {
        std::string text;
        for (const auto& r : rows)
            text += persistence::LogLineText(r);
        return text;
    }
    TFormFixture fx;
    std::vector<TFilePick> picks;
    QString answer;
    QString filter; // the file type the dialog answers with; empty: the one it offered first
};

TEST_F(ChartMenu, ReferenceIsDrawnBehindTheLiveCurvesUntilRemovedAndSurvivesAStart) {
    TForm1& f = Show();
    fx.WriteFile("old.txt", Log({{0.0, 150, true, 90.0, 100, true, 45.0},
                                 {0.5, 150, true, 91.5, 100, true, 46.0},
                                 {1.0, 150, true, 93.0, 100, false, 47.5}}));
    fx.WriteFile("older.txt", Log({{0.0, 150, true, 20.0, 100, true, 21.0}}));
    fx.WriteFile("notes.txt", "Prubeh 1\r\n");

    Choose("ActionReference", "old.txt");
    ASSERT_FALSE(picks.empty());
    EXPECT_FALSE(picks.back().Save);
    ASSERT_EQ(f.Chart->SeriesCount(), 6);
    EXPECT_EQ(f.Chart->Points(chart::SeriesReference1),
              (std::vector<std::pair<double, double>>{{0.0, 90.0}, {0.5, 91.5}, {1.0, 93.0}}));
    EXPECT_EQ(f.Chart->Points(chart::SeriesReference2),
              (std::vector<std::pair<double, double>>{{0.0, 45.0}, {0.5, 46.0}, {1.0, 47.5}}));
    EXPECT_EQ(f.Chart->Look(chart::SeriesReference1).Name, "Reference_1");
    EXPECT_EQ(f.Chart->Look(chart::SeriesReference2).Name, "Reference_2");
    EXPECT_EQ(f.Chart->Caption(), "Reference: old.txt");
    EXPECT_TRUE(f.Chart->Look(chart::SeriesReference1).Behind);
    EXPECT_LT(f.Chart->Look(chart::SeriesReference1).LineColour.alpha(), 255);
    const char* live[] = {"Teplota_1", "Zadana_hodnota_1", "Teplota_2", "Zadana_hodnota_2"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(f.Chart->Look(i).Name, live[i]);

    // A Start clears the live temperatures, not the reference.
    f.Guard([&] { f.TimerUkazTimer(f.TimerUkaz); });
    f.Guard([&] { f.Button5Click(f.Button5); });
    EXPECT_EQ(f.Chart->PointCount(chart::SeriesTemperature1), 0u);
    EXPECT_EQ(f.Chart->PointCount(chart::SeriesReference1), 3u);

    // One at a time: a second replaces the first; a file that is no log leaves it as it is.
    Choose("ActionReference", "older.txt");
    ASSERT_EQ(f.Chart->SeriesCount(), 6);
    EXPECT_EQ(f.Chart->PointCount(chart::SeriesReference2), 1u);
    EXPECT_TRUE(fx.Boxes.boxes.empty());
    Choose("ActionReference", "notes.txt");
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].text, "Referenci nelze nacist: notes.txt: not a data log (line 1)");
    EXPECT_EQ(f.Chart->SeriesCount(), 6);

    Choose("ActionReferenceRemove", "");
    EXPECT_EQ(f.Chart->SeriesCount(), 4);
    EXPECT_EQ(f.Chart->Caption(), "");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(f.Chart->Look(i).Name, live[i]);
}

TEST_F(ChartMenu, ALongReferenceIsReadWhileTheWindowGoesOn) {
    TForm1& f = Show();
    fx.WriteFile("old.txt", Log({{0.0, 150, true, 90.0, 100, true, 45.0}}));
    std::vector<persistence::LogRow> rows(200000, {0.0, 150, true, 90.0, 100, true, 45.0});
    for (std::size_t n = 0; n < rows.size(); ++n)
        rows[n].CycleTime = static_cast<double>(n) * 0.5;
    fx.WriteFile("long.txt", Log(rows));
    Choose("ActionReference", "old.txt");

    // The read goes on beside the window: the old reference stays until the new one is read,
    // the caption says what is being read, and the display refresh runs.
    f.LoadReference(QString::fromStdString((fx.Dir() / "long.txt").string()));
    EXPECT_TRUE(f.ReferenceLoading());
    EXPECT_TRUE(f.Chart->Caption().startsWith("Nacitani reference: long.txt")) << f.Chart->Caption().toStdString();
    f.Guard([&] { f.TimerUkazTimer(f.TimerUkaz); });
    EXPECT_EQ(f.Chart->PointCount(chart::SeriesReference1), 1u);
    fx.AwaitReference();
    EXPECT_EQ(f.Chart->PointCount(chart::SeriesReference1), rows.size());
    EXPECT_EQ(f.Chart->Caption(), "Reference: long.txt");

    // Removing it while it is read ends the read; so does closing the window.
    f.LoadReference(QString::fromStdString((fx.Dir() / "old.txt").string()));
    Choose("ActionReferenceRemove", "");
    EXPECT_FALSE(f.ReferenceLoading());
    EXPECT_EQ(f.Chart->SeriesCount(), 4);
    EXPECT_EQ(f.Chart->Caption(), "");
    f.LoadReference(QString::fromStdString((fx.Dir() / "long.txt").string()));
    fx.Close();
    EXPECT_FALSE(f.ReferenceLoading());
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

// The share of a picture's pixels that are light (all three channels above 200).
double LightShare(const QImage& image) {
    std::size_t light = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            light += c.red() > 200 && c.green() > 200 && c.blue() > 200;
        }
    }
    return double(light) / double(image.width() * image.height());
}

TEST_F(ChartMenu, ChartIsSavedAsTheReportDrawsItAndTheLogAsCsvInTheChosenForm) {
    TForm1& f = Show();
    f.S.SideState[1].Temperature = 148.27;
    f.S.Setpoint[2] = 120.0;
    for (int n = 0; n < 3; ++n) {
        f.S.CycleTicks = 5 * n;
        f.Guard([&] { f.TimerUkazTimer(f.TimerUkaz); });
    }
    const std::string logName = persistence::OpenLog(f.S)->Path().filename().string();
    const QColor onScreen = f.Chart->PlotBackground();
    Choose("ActionSavePng", "chart.png");
    Choose("ActionSavePdf", "chart.pdf");
    ASSERT_TRUE(fx.Boxes.boxes.empty()) << fx.Boxes.boxes[0].text.toStdString();
    EXPECT_EQ(f.Chart->PlotBackground(), onScreen); // the window keeps its own look

    // Both on white, with the title, the axis titles and the legend.
    const QImage png(QString::fromStdString((fx.Dir() / "chart.png").string()));
    ASSERT_FALSE(png.isNull());
    EXPECT_GT(LightShare(png), 0.9);
    EXPECT_LT(LightShare(png.copy(0, png.height() - 200, png.width(), 200)),
              1.0); // the x title and the legend
    EXPECT_EQ(fx.ReadFile("chart.pdf").substr(0, 5), "%PDF-");
    if (std::system("command -v pdftotext >/dev/null && command -v pdftoppm >/dev/null") == 0) {
        const std::string dir = fx.Dir().string();
        ASSERT_EQ(std::system(("cd '" + dir +
                               "' && pdftotext -layout chart.pdf chart.txt && pdftoppm -r 30 -png "
                               "-singlefile chart.pdf page")
                                  .c_str()),
                  0);
        const std::string text = fx.ReadFile("chart.txt");
        for (const std::string& expected : {"Prubeh regulace: " + logName, std::string("Cas cyklu [s]"),
                                            std::string("Teplota [\xc2\xb0"
                                                        "C]"),
                                            std::string("Zadana_hodnota_2")})
            EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
        const QImage page(QString::fromStdString((fx.Dir() / "page.png").string()));
        ASSERT_FALSE(page.isNull());
        EXPECT_GT(LightShare(page), 0.9); // not a black page
    }

    // The CSV: the Czech form is offered first, and the form chosen is offered the next time.
    Choose("ActionSaveCsv", "czech.csv");
    ASSERT_EQ(picks.size(), 3u);
    EXPECT_TRUE(picks[2].Save);
    EXPECT_TRUE(picks[2].Name.endsWith(".csv"));
    const QStringList types = picks[2].Filter.split(QStringLiteral(";;"));
    ASSERT_EQ(types.size(), 2);
    EXPECT_EQ(picks[2].Selected, types[0]);
    EXPECT_EQ(fx.ReadFile("czech.csv"),
              std::string(report::CsvHeaderCzech) + "0,0;150,0;0;148,3;120,0;0;21,0\r\n" +
                  "0,5;150,0;0;148,3;120,0;0;21,0\r\n" + "1,0;150,0;0;148,3;120,0;0;21,0\r\n");
    filter = types[1];
    Choose("ActionSaveCsv", "point.csv");
    EXPECT_EQ(fx.ReadFile("point.csv"),
              std::string(report::CsvHeader) + "0.0,150.0,0,148.3,120.0,0,21.0\r\n" +
                  "0.5,150.0,0,148.3,120.0,0,21.0\r\n" + "1.0,150.0,0,148.3,120.0,0,21.0\r\n");
    EXPECT_NE(fx.ReadFile("Regulator.ini").find("[Export]\r\nCsvCesky=0\r\n"), std::string::npos);
    filter.clear();
    Choose("ActionSaveCsv", "again.csv");
    EXPECT_EQ(picks.back().Selected, types[1]);
    EXPECT_EQ(fx.ReadFile("again.csv").substr(0, 5), "Cas_s");
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

} // namespace
