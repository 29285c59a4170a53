#include "chart/TChart.h"

#include "chart/PrintLook.h"

#include <qcustomplot.h>

#include <QMenu>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace chart {
namespace {

// A dark plot and legend, so that the white dashed line shows on both; red and blue stay
// visible on it. Axis texts stay on the window's own light background.
const QColor PlotColour(24, 24, 24);
const QColor GridColour(72, 72, 72);
const QColor LegendTextColour(230, 230, 230);
const QColor LegendBorderColour(128, 128, 128);

// Margins around the points so that a line on the extreme is not hidden by the frame.
constexpr double YMarginShare = 0.03;
constexpr double EmptySpanHalf = 1.0;

QPen LinePen(const TSeriesLook& look) {
    QPen pen(look.LineColour);
    pen.setWidth(1); // wider pens cost about ten times as much with many points
    pen.setStyle(look.Style == TPenStyle::Dashed ? Qt::DashLine : Qt::SolidLine);
    return pen;
}

} // namespace

void TChart::Bounds::Add(double x, double y) {
    if (std::isnan(y)) return; // a gap in the line: it takes no room on the axes
    if (Empty) {
        MinX = MaxX = x;
        MinY = MaxY = y;
        Empty = false;
        return;
    }
    MinX = std::min(MinX, x);
    MaxX = std::max(MaxX, x);
    MinY = std::min(MinY, y);
    MaxY = std::max(MaxY, y);
}

TChart::TChart(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this)) {
    setObjectName(QStringLiteral("Chart"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);

    plot_->axisRect()->setBackground(QBrush(PlotColour));
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis}) {
        axis->grid()->setPen(QPen(GridColour, 0, Qt::DotLine));
        axis->grid()->setZeroLinePen(Qt::NoPen);
        connect(axis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
                [this] { ChangedByOperator(); });
    }

    // The legend in a row of its own below the plot, its entries side by side.
    auto* legendRow = new QCPLayoutGrid;
    plot_->plotLayout()->addElement(1, 0, legendRow);
    legendRow->setMargins(QMargins(5, 0, 5, 5));
    legendRow->addElement(0, 0, plot_->legend);
    plot_->legend->setWrap(4); // the four live series in one row; more (a reference) in the next
    plot_->legend->setFillOrder(QCPLegend::foColumnsFirst);
    plot_->legend->setBrush(QBrush(PlotColour));
    plot_->legend->setBorderPen(QPen(LegendBorderColour));
    plot_->legend->setTextColor(LegendTextColour);
    plot_->legend->setVisible(true);
    plot_->plotLayout()->setRowStretchFactor(1, 0.001);

    // Series drawn behind the others sit on a layer of their own between the grid and the rest.
    plot_->addLayer(QStringLiteral("behind"), plot_->layer(QStringLiteral("main")), QCustomPlot::limBelow);

    // A line of text in the plot's upper right corner (the reference's file name).
    caption_ = new QCPItemText(plot_);
    caption_->setClipToAxisRect(true);
    caption_->position->setType(QCPItemPosition::ptAxisRectRatio);
    caption_->position->setCoords(0.99, 0.01);
    caption_->setPositionAlignment(Qt::AlignRight | Qt::AlignTop);
    caption_->setColor(LegendTextColour);
    caption_->setVisible(false);

    menu_ = new QMenu(this);
    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (!menu_->isEmpty()) menu_->popup(plot_->mapToGlobal(at));
    });

    // Every redraw (ours, a zoom, a pan, a resize, an export) lays out the plot first; the
    // points for the view it then shows are handed over right there.
    connect(plot_, &QCustomPlot::afterLayout, this, [this] { HandOver(); });

    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->setNoAntialiasingOnDrag(true);
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this] { ResetView(); });
}

TChart::~TChart() = default;

int TChart::AddSeries(const TSeriesLook& look) {
    QCPGraph* graph = plot_->addGraph();
    graph->setName(look.Name);
    graph->setPen(LinePen(look));
    graph->setLineStyle(QCPGraph::lsLine);
    // The points handed over are thinned already (TPointStore::Thin); the library's own
    // sampling would pass over a gap in the line.
    graph->setAdaptiveSampling(false);
    graph->setAntialiased(false);
    if (look.Behind) graph->setLayer(QStringLiteral("behind"));
    series_.push_back(Series{look, {}, {}, false});
    return static_cast<int>(series_.size()) - 1;
}

int TChart::SeriesCount() const {
    return static_cast<int>(series_.size());
}

void TChart::RemoveSeries(int i) {
    (void)At(i);
    plot_->removeGraph(i);
    series_.erase(series_.begin() + i);
}

void TChart::SetCaption(const QString& text) {
    caption_->setText(text);
    caption_->setVisible(!text.isEmpty());
}

QString TChart::Caption() const {
    return caption_->visible() ? caption_->text() : QString();
}

void TChart::SavePrint(const std::filesystem::path& file, const QString& title) const {
    // A4 landscape at 150 dots per inch, the plot within a margin.
    constexpr int PageWidth = 1754, PageHeight = 1240, Margin = 60;
    constexpr int Width = PageWidth - 2 * Margin, Height = PageHeight - 2 * Margin;
    auto print = std::make_shared<QCustomPlot>();
    print->setAttribute(Qt::WA_DontShowOnScreen);
    print->resize(Width, Height);

    Bounds all;
    for (const Series& s : series_) {
        if (s.Range.Empty) continue;
        all.Add(s.Range.MinX, s.Range.MinY);
        all.Add(s.Range.MaxX, s.Range.MaxY);
    }
    TAxisRange x = XRange(), y = YRange();
    if (autoScaling_ && !all.Empty) {
        x = {all.MinX, all.MaxX};
        const double margin = std::max(EmptySpanHalf, (all.MaxY - all.MinY) * YMarginShare);
        y = {all.MinY - margin, all.MaxY + margin};
    }
    if (x.Upper - x.Lower <= 0.0) x = {x.Lower - EmptySpanHalf, x.Upper + EmptySpanHalf};
    QVector<QCPGraphData> points;
    for (const Series& s : series_) {
        QCPGraph* graph = print->addGraph();
        graph->setName(s.Look.Name);
        QColor colour = s.Look.PrintColour;
        if (!colour.isValid())
            colour = s.Look.LineColour.lightness() > 200 ? s.Look.SeriesColour : s.Look.LineColour;
        graph->setPen(PrintPen(colour, s.Look.Style == TPenStyle::Dashed ? Qt::DashLine : Qt::SolidLine,
                               s.Look.Behind ? 2.0 : 1.0));
        graph->setAdaptiveSampling(true);
        points.clear();
        s.Points.Thin(x.Lower, x.Upper, 2 * Width,
                      [&points](double px, double py) { points.push_back(QCPGraphData(px, py)); });
        graph->data()->set(points, true);
    }
    print->xAxis->setRange(x.Lower, x.Upper);
    print->yAxis->setRange(y.Lower, y.Upper);
    if (caption_->visible()) {
        auto* caption = new QCPItemText(print.get());
        caption->setClipToAxisRect(true);
        caption->position->setType(QCPItemPosition::ptAxisRectRatio);
        caption->position->setCoords(0.99, 0.01);
        caption->setPositionAlignment(Qt::AlignRight | Qt::AlignTop);
        caption->setFont(PixelFont(16));
        caption->setColor(Qt::black);
        caption->setText(caption_->text());
    }
    ApplyPrintLook(*print, title);
    WritePages(file, PageWidth, PageHeight, title, {[print](QCPPainter& p) {
                   p.save();
                   p.translate(Margin, Margin);
                   print->toPainter(&p, Width, Height);
                   p.restore();
               }});
}

TChart::Series& TChart::At(int i) {
    if (i < 0 || i >= SeriesCount()) throw std::out_of_range("chart series index");
    return series_[static_cast<std::size_t>(i)];
}

const TChart::Series& TChart::At(int i) const {
    if (i < 0 || i >= SeriesCount()) throw std::out_of_range("chart series index");
    return series_[static_cast<std::size_t>(i)];
}

void TChart::Clear(int i) {
    Series& s = At(i);
    s.Range = Bounds{};
    s.Points.Clear();
    s.Changed = true;
}

void TChart::Append(int i, double x, double y) {
    Series& s = At(i);
    s.Range.Add(x, y);
    s.Points.Append(x, y);
    s.Changed = true;
}

void TChart::Replace(int i, const std::vector<double>& keys, const std::vector<double>& values) {
    if (keys.size() != values.size()) throw std::invalid_argument("chart keys and values differ in number");
    Series& s = At(i);
    Bounds& b = s.Range;
    b = Bounds{};
    if (!keys.empty()) {
        // The keys are ascending; only the values need a look.
        const auto [minY, maxY] = std::minmax_element(values.begin(), values.end());
        b.Add(keys.front(), *minY);
        b.Add(keys.back(), *maxY);
    }
    s.Points.Assign(keys, values);
    s.Changed = true;
}

void TChart::HandOver() {
    const QCPRange range = plot_->xAxis->range();
    const View view{range.lower, range.upper, std::max(1, plot_->axisRect()->width())};
    const bool moved = !(view == handedView_);
    handedView_ = view;
    QVector<QCPGraphData> points;
    for (std::size_t i = 0; i < series_.size(); ++i) {
        Series& s = series_[i];
        if (!moved && !s.Changed) continue;
        s.Changed = false;
        points.clear();
        s.Points.Thin(view.Lower, view.Upper, view.Columns,
                      [&points](double x, double y) { points.push_back(QCPGraphData(x, y)); });
        plot_->graph(static_cast<int>(i))->data()->set(points, true);
    }
}

void TChart::ApplyAutoRanges() {
    if (!autoScaling_) return;
    Bounds all;
    for (const Series& s : series_) {
        const Bounds& b = s.Range;
        if (b.Empty) continue;
        all.Add(b.MinX, b.MinY);
        all.Add(b.MaxX, b.MaxY);
    }
    if (all.Empty) return;
    double x0 = all.MinX, x1 = all.MaxX, y0 = all.MinY, y1 = all.MaxY;
    if (x1 - x0 <= 0.0) {
        x0 -= EmptySpanHalf;
        x1 += EmptySpanHalf;
    }
    if (y1 - y0 <= 0.0) {
        y0 -= EmptySpanHalf;
        y1 += EmptySpanHalf;
    } else {
        const double margin = (y1 - y0) * YMarginShare;
        y0 -= margin;
        y1 += margin;
    }
    const QSignalBlocker bx(plot_->xAxis);
    const QSignalBlocker by(plot_->yAxis);
    plot_->xAxis->setRange(x0, x1);
    plot_->yAxis->setRange(y0, y1);
}

void TChart::ChangedByOperator() {
    autoScaling_ = false;
}

void TChart::Refresh() {
    ApplyAutoRanges();
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void TChart::RepaintNow() {
    ApplyAutoRanges();
    plot_->replot(QCustomPlot::rpImmediateRefresh);
}

void TChart::ResetView() {
    autoScaling_ = true;
    RepaintNow();
}

TSeriesLook TChart::Look(int i) const {
    return At(i).Look;
}

std::size_t TChart::PointCount(int i) const {
    return At(i).Points.Size();
}

std::vector<std::pair<double, double>> TChart::Points(int i) const {
    const TPointStore& store = At(i).Points;
    std::vector<std::pair<double, double>> out;
    out.reserve(store.Size());
    for (std::size_t k = 0; k < store.Size(); ++k)
        out.emplace_back(store.X(k), store.Y(k));
    return out;
}

TAxisRange TChart::XRange() const {
    return {plot_->xAxis->range().lower, plot_->xAxis->range().upper};
}
TAxisRange TChart::YRange() const {
    return {plot_->yAxis->range().lower, plot_->yAxis->range().upper};
}
QColor TChart::PlotBackground() const {
    return plot_->axisRect()->backgroundBrush().color();
}
QColor TChart::LegendBackground() const {
    return plot_->legend->brush().color();
}

bool TChart::LegendBelowPlot() const {
    return plot_->legend->outerRect().top() >= plot_->axisRect()->outerRect().bottom();
}

QRect TChart::LegendRect() const {
    return plot_->legend->outerRect();
}
QRect TChart::PlotRect() const {
    return plot_->axisRect()->rect();
}

QImage TChart::Render() const {
    return plot_->toPixmap(0, 0, 1.0).toImage();
}

} // namespace chart
