#pragma once
// The chart: line series against a numeric x axis, both axes scaling to the points present, the
// legend in a row of its own below the plot. A thin adapter over the plotting library, which no
// other part of the program sees.
//
// Kept fast for a week of points (1,209,600 per series): the points live in compact stores of
// our own and the plotting library is handed, at every redraw, only what the pixels can show
// (see TPointStore::Thin); the axis ranges come from minimum and maximum tracked as points
// arrive, never from a rescan; pens are one pixel wide.
//
// Beyond the operator's view of a plain chart: the mouse wheel zooms, dragging pans, and a
// double click returns to automatic scaling.
#include "chart/PointStore.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

class QCustomPlot;
class QCPItemText;
class QMenu;

namespace chart {

enum class TPenStyle { Solid, Dashed };

struct TSeriesLook {
    QString Name;        // the legend text
    QColor SeriesColour; // the series' own colour
    QColor LineColour;   // the colour its line is drawn in
    TPenStyle Style = TPenStyle::Solid;
    bool Behind = false; // drawn behind every series that is not
    // Its colour on paper (SavePrint); invalid: the line colour, or the series colour where the
    // line is too light to show on white.
    QColor PrintColour = QColor();
};

// The range of one axis.
struct TAxisRange {
    double Lower = 0.0;
    double Upper = 0.0;
};

class TChart : public QWidget {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    // Adds a series at the next index (0, 1, ...) and returns that index.
    int AddSeries(const TSeriesLook& look);
    int SeriesCount() const;
    // Removes series i with its legend entry; the series after it move down by one.
    void RemoveSeries(int i);

    // Clear, Append, Replace and the inspection functions below throw std::out_of_range for an
    // index that is no series.
    // Removes every point of series i.
    void Clear(int i);
    // Appends the point (x, y) to series i. A y of NaN is a gap: the line breaks there.
    void Append(int i, double x, double y);
    // Replaces all points of series i at once; keys must be ascending. Throws
    // std::invalid_argument when keys and values differ in number.
    void Replace(int i, const std::vector<double>& keys, const std::vector<double>& values);

    // A line of text in the plot's upper right corner; empty hides it.
    void SetCaption(const QString& text);
    QString Caption() const;

    // The menu a right click on the chart opens (it opens only when it holds an action).
    QMenu* Menu() const { return menu_; }

    // Writes the chart as the run report draws it: on a white page, with `title` above the plot,
    // axis titles with their units (the cycle time in hours and minutes beyond an hour) and the
    // legend below; the view as on the screen when the operator has zoomed or panned, else all
    // points. A PDF of one A4 landscape page when `file` ends in ".pdf", a PNG of 1754 x 1240
    // pixels when in ".png". The window's own look does not change. Throws std::invalid_argument
    // for another ending and std::runtime_error when the file cannot be written.
    void SavePrint(const std::filesystem::path& file, const QString& title) const;

    // Redraws once the event loop runs (several changes coalesce into one redraw).
    void Refresh();
    // Redraws and repaints now.
    void RepaintNow();

    // Automatic scaling: on from the start and after a double click; off once the operator
    // zooms or pans.
    bool AutoScaling() const { return autoScaling_; }
    void ResetView(); // automatic scaling on again, and redrawn

    // ---- What the chart shows (for checks and tests).
    TSeriesLook Look(int i) const;
    std::size_t PointCount(int i) const;
    std::vector<std::pair<double, double>> Points(int i) const;
    TAxisRange XRange() const;
    TAxisRange YRange() const;
    QColor PlotBackground() const;
    QColor LegendBackground() const;
    bool LegendBelowPlot() const;
    // The legend's rectangle and the plot area's rectangle, in widget pixels.
    QRect LegendRect() const;
    QRect PlotRect() const;
    QImage Render() const; // the chart as drawn at its current size

private:
    struct Bounds {
        bool Empty = true;
        double MinX = 0.0, MaxX = 0.0, MinY = 0.0, MaxY = 0.0;
        void Add(double x, double y);
    };
    void ApplyAutoRanges();
    void HandOver(); // the thinned points of every series to the plotting library
    void ChangedByOperator();
    struct Series {
        TSeriesLook Look;
        Bounds Range;
        TPointStore Points;
        bool Changed = false; // points changed since the last hand-over
    };
    Series& At(int i);             // throws std::out_of_range for an index that is no series
    const Series& At(int i) const; // likewise

    QCustomPlot* plot_ = nullptr;
    QMenu* menu_ = nullptr;
    QCPItemText* caption_ = nullptr;
    std::vector<Series> series_;
    struct View {
        double Lower = 0.0, Upper = 0.0;
        int Columns = 0;
        bool operator==(const View&) const = default;
    } handedView_;
    bool autoScaling_ = true;
};

} // namespace chart
