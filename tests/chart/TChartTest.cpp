#include "chart/TChart.h"
#include "chart/RegulatorSeries.h"
#include "tests/support/TempFiles.h"

#include <QImage>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

class ChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        chart_ = std::make_unique<chart::TChart>();
        chart_->resize(800, 570);
        chart::AddRegulatorSeries(*chart_);
        chart_->show();
        chart_->RepaintNow();
    }
    QWidget* Plot() const { return chart_->findChild<QWidget*>(); }
    std::unique_ptr<chart::TChart> chart_;
};

TEST_F(ChartTest, FourSeriesByFixedIndexWithTheirLooks) {
    ASSERT_EQ(chart_->SeriesCount(), 4);
    const struct {
        const char* name;
        QColor series, line;
        chart::TPenStyle style;
    } expected[] = {
        {"Teplota_1", QColor(255, 0, 0), QColor(255, 0, 0), chart::TPenStyle::Solid},
        {"Zadana_hodnota_1", QColor(255, 0, 0), QColor(255, 0, 0), chart::TPenStyle::Dashed},
        {"Teplota_2", QColor(0, 0, 255), QColor(0, 0, 255), chart::TPenStyle::Solid},
        {"Zadana_hodnota_2", QColor(0, 0, 255), QColor(255, 255, 255), chart::TPenStyle::Dashed},
    };
    for (int i = 0; i < 4; ++i) {
        const auto look = chart_->Look(i);
        EXPECT_EQ(look.Name.toStdString(), expected[i].name);
        EXPECT_EQ(look.SeriesColour, expected[i].series) << i;
        EXPECT_EQ(look.LineColour, expected[i].line) << i;
        EXPECT_EQ(look.Style, expected[i].style) << i;
    }
    EXPECT_TRUE(chart_->LegendBelowPlot());
}

TEST_F(ChartTest, TheWhiteDashedLineShowsOnThePlotAndInTheLegend) {
    chart_->Append(chart::SeriesSetpoint2, 0, 10);
    chart_->Append(chart::SeriesSetpoint2, 100, 90);
    chart_->Append(chart::SeriesTemperature1, 0, 0);
    chart_->Append(chart::SeriesTemperature1, 100, 100);
    chart_->RepaintNow();
    const QImage image = chart_->Render();
    auto whitePixels = [&](const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (image.pixelColor(x, y) == QColor(255, 255, 255)) ++n;
        return n;
    };
    const QRect plot = chart_->PlotRect();
    const QRect legend = chart_->LegendRect();
    ASSERT_FALSE(plot.isEmpty());
    ASSERT_FALSE(legend.isEmpty());
    EXPECT_GT(whitePixels(plot.adjusted(2, 2, -2, -2)), 30);   // the line, dashed
    EXPECT_LT(whitePixels(plot.adjusted(2, 2, -2, -2)), plot.width() * 3); // ...not the background
    if (const char* keep = std::getenv("CHART_TEST_IMAGE")) image.save(QString::fromLocal8Bit(keep));
    EXPECT_GT(whitePixels(legend.adjusted(1, 1, -1, -1)), 5);  // its legend sample
    EXPECT_NE(chart_->PlotBackground(), QColor(255, 255, 255));
    EXPECT_NE(chart_->LegendBackground(), QColor(255, 255, 255));
}

// A week of points with six hours' gap in the middle: the line breaks there when drawn (thinned
// to the pixels), and the gap takes no room on the axes.
TEST_F(ChartTest, AGapInTheLineIsDrawnAsAGap) {
    constexpr int Points = 604800 * 2;
    constexpr int GapHalf = 6 * 3600;
    for (int n = 0; n < Points; ++n) {
        const bool gap = n >= Points / 2 - GapHalf && n < Points / 2 + GapHalf;
        chart_->Append(chart::SeriesTemperature1, n * 0.5, gap ? std::nan("") : 100.0 + (n % 2));
    }
    chart_->RepaintNow();
    EXPECT_GT(chart_->YRange().Lower, 90.0);
    EXPECT_LT(chart_->YRange().Upper, 110.0);
    const QImage image = chart_->Render();
    const QRect plot = chart_->PlotRect();
    auto redIn = [&](int x) {
        for (int y = plot.top() + 1; y < plot.bottom(); ++y)
            if (image.pixelColor(x, y) == QColor(255, 0, 0)) return true;
        return false;
    };
    const int middle = plot.left() + plot.width() / 2;
    for (int x = middle - 5; x <= middle + 5; ++x)
        EXPECT_FALSE(redIn(x)) << "the line goes on through its gap at " << x - middle;
    EXPECT_TRUE(redIn(middle - 40));
    EXPECT_TRUE(redIn(middle + 40));
}

// On paper the white dashed line takes its series' blue, and two hours of cycle time are
// counted in hours and minutes.
TEST_F(ChartTest, APrintOfALongRunShowsEverySeriesAndCountsHours) {
    for (int t = 0; t <= 7200; t += 10)
        chart_->Append(chart::SeriesSetpoint2, t, t < 3600 ? 80.0 : 120.0);
    chart_->RepaintNow();
    const testsupport::TTempDir temp("chart_print");
    chart_->SavePrint(temp.Path() / "print.png", QStringLiteral("Prubeh regulace"));
    const QImage image(QString::fromStdString((temp.Path() / "print.png").string()));
    ASSERT_EQ(image.size(), QSize(1754, 1240));
    int blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            blue += c.blue() > 200 && c.red() < 120 && c.green() < 120;
        }
    EXPECT_GT(blue, 500);
    EXPECT_EQ(image.pixelColor(5, 5), QColor(255, 255, 255));
    if (std::system("command -v pdftotext >/dev/null") != 0) GTEST_SKIP() << "poppler-utils not installed";
    chart_->SavePrint(temp.Path() / "print.pdf", QStringLiteral("Prubeh regulace"));
    const std::string text = temp.Path().string() + "/print.txt";
    ASSERT_EQ(std::system(("pdftotext '" + temp.Path().string() + "/print.pdf' '" + text + "'").c_str()), 0);
    const std::string printed = testsupport::ReadWholeFile(text);
    EXPECT_NE(printed.find("Cas cyklu [h:mm]"), std::string::npos) << printed;
    EXPECT_NE(printed.find("1:00"), std::string::npos) << printed;
}

TEST_F(ChartTest, AxesFollowThePointsPresent) {
    chart_->Append(0, 0.5, 19.0);
    chart_->Append(0, 10.0, 25.0);
    chart_->Append(2, 3.0, 21.0);
    chart_->RepaintNow();
    EXPECT_DOUBLE_EQ(chart_->XRange().Lower, 0.5);
    EXPECT_DOUBLE_EQ(chart_->XRange().Upper, 10.0);
    EXPECT_LE(chart_->YRange().Lower, 19.0);
    EXPECT_GE(chart_->YRange().Upper, 25.0);
    EXPECT_LT(chart_->YRange().Upper, 26.0);

    // A bulk replacement widens them, clearing it narrows them again.
    chart_->Replace(1, {1, 2, 3, 500}, {0, 150, 150, 80});
    chart_->RepaintNow();
    EXPECT_DOUBLE_EQ(chart_->XRange().Upper, 500.0);
    EXPECT_LE(chart_->YRange().Lower, 0.0);
    EXPECT_GE(chart_->YRange().Upper, 150.0);
    EXPECT_EQ(chart_->Points(1), (std::vector<std::pair<double, double>>{{1, 0}, {2, 150}, {3, 150}, {500, 80}}));
    chart_->Clear(1);
    chart_->RepaintNow();
    EXPECT_EQ(chart_->PointCount(1), 0u);
    EXPECT_DOUBLE_EQ(chart_->XRange().Upper, 10.0);
    EXPECT_LT(chart_->YRange().Upper, 26.0);

    // One point alone still gives a usable range.
    for (int i = 0; i < 4; ++i) chart_->Clear(i);
    chart_->Append(3, 7.0, 42.0);
    chart_->RepaintNow();
    EXPECT_LT(chart_->XRange().Lower, 7.0);
    EXPECT_GT(chart_->XRange().Upper, 7.0);
    EXPECT_LT(chart_->YRange().Lower, 42.0);
    EXPECT_GT(chart_->YRange().Upper, 42.0);
}

TEST_F(ChartTest, ZoomHoldsTheViewUntilADoubleClick) {
    chart_->Append(0, 0.0, 20.0);
    chart_->Append(0, 100.0, 30.0);
    chart_->RepaintNow();
    const QPointF centre = chart_->PlotRect().center();
    QWheelEvent wheel(centre, Plot()->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(Plot(), &wheel);
    EXPECT_FALSE(chart_->AutoScaling());
    const auto zoomed = chart_->XRange();
    EXPECT_LT(zoomed.Upper - zoomed.Lower, 100.0);

    chart_->Append(0, 200.0, 40.0);
    chart_->RepaintNow();
    EXPECT_DOUBLE_EQ(chart_->XRange().Upper, zoomed.Upper); // the operator's view stays

    QTest::mouseDClick(Plot(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    EXPECT_TRUE(chart_->AutoScaling());
    EXPECT_DOUBLE_EQ(chart_->XRange().Lower, 0.0);
    EXPECT_DOUBLE_EQ(chart_->XRange().Upper, 200.0);
}

} // namespace
