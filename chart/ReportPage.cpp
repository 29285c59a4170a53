#include "chart/ReportPage.h"

#include "report/RunSummary.h"

#include <qcustomplot.h>

#include <QImage>
#include <QPdfWriter>

#include <algorithm>
#include <cctype>

namespace chart {
namespace {

constexpr int Margin = 80;
constexpr int ChartHeight = 1000;
constexpr int RowHeight = 46;
constexpr int Dpi = 150;

const QColor Side1Colour(255, 0, 0);
const QColor Side2Colour(0, 0, 255);
const QColor Side1Faint(255, 0, 0, 110);
const QColor Side2Faint(0, 0, 255, 110);

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QFont PixelFont(int pixels, bool bold = false) {
    // DejaVu Sans on Linux; Arial on Windows, which has no DejaVu; Liberation Sans (Arial's
    // metrics) where neither is.
    QFont f;
    f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QPen Pen(const QColor& c, Qt::PenStyle style = Qt::SolidLine) {
    QPen pen(c);
    pen.setWidthF(0); // one device pixel whatever the scale
    pen.setStyle(style);
    return pen;
}

void AddGraph(QCustomPlot& plot, const QString& name, const QPen& pen, const QVector<double>& x,
              const std::vector<std::int32_t>& tenths) {
    QVector<double> y(static_cast<qsizetype>(tenths.size()));
    std::transform(tenths.begin(), tenths.end(), y.begin(), report::FromTenths);
    QCPGraph* g = plot.addGraph();
    g->setName(name);
    g->setPen(pen);
    g->setAdaptiveSampling(true);
    g->setData(x, y, true);
}

QVector<double> Keys(const report::LogTable& log) {
    const std::vector<double> x = report::RunTimes(log);
    return QVector<double>(x.begin(), x.end());
}

// The chart of the run on a white page: references first (behind), then the four series in the
// window's order; setpoints dashed in the side's colour.
void BuildPlot(QCustomPlot& plot, const TReportRun& run) {
    plot.setBackground(Qt::white);
    if (run.Reference != nullptr) {
        const QVector<double> rx = Keys(*run.Reference);
        const QString from = QStringLiteral(" (%1)").arg(Utf8(run.ReferenceName));
        AddGraph(plot, QStringLiteral("Reference_1") + from, Pen(Side1Faint), rx,
                 run.Reference->Side1.Temperature);
        AddGraph(plot, QStringLiteral("Reference_2") + from, Pen(Side2Faint), rx,
                 run.Reference->Side2.Temperature);
    }
    const QVector<double> x = Keys(*run.Log);
    AddGraph(plot, QStringLiteral("Teplota_1"), Pen(Side1Colour), x, run.Log->Side1.Temperature);
    AddGraph(plot, QStringLiteral("Zadana_hodnota_1"), Pen(Side1Colour, Qt::DashLine), x,
             run.Log->Side1.Setpoint);
    AddGraph(plot, QStringLiteral("Teplota_2"), Pen(Side2Colour), x, run.Log->Side2.Temperature);
    AddGraph(plot, QStringLiteral("Zadana_hodnota_2"), Pen(Side2Colour, Qt::DashLine), x,
             run.Log->Side2.Setpoint);

    plot.rescaleAxes();
    const QCPRange y = plot.yAxis->range();
    const double margin = std::max(1.0, y.size() * 0.03);
    plot.yAxis->setRange(y.lower - margin, y.upper + margin);
    if (plot.xAxis->range().size() <= 0.0)
        plot.xAxis->setRange(plot.xAxis->range().lower - 1.0, plot.xAxis->range().upper + 1.0);
    plot.xAxis->setLabel(QStringLiteral("Cas cyklu [s]"));
    plot.yAxis->setLabel(QStringLiteral("Teplota [\u00b0C]"));
    for (QCPAxis* axis : {plot.xAxis, plot.yAxis})
        axis->grid()->setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));

    // The legend in a row of its own below the plot, as in the window.
    auto* legendRow = new QCPLayoutGrid;
    plot.plotLayout()->addElement(1, 0, legendRow);
    legendRow->setMargins(QMargins(5, 0, 5, 5));
    legendRow->addElement(0, 0, plot.legend);
    plot.legend->setWrap(3);
    plot.legend->setFillOrder(QCPLegend::foColumnsFirst, true);
    plot.legend->setVisible(true);
    // Fonts in pixels: the plot lays itself out with the screen's metrics and is drawn on a page
    // of another resolution, which must not change the size of its texts.
    const QFont ticks = PixelFont(16), labels = PixelFont(18);
    for (QCPAxis* axis : {plot.xAxis, plot.yAxis}) {
        axis->setTickLabelFont(ticks);
        axis->setLabelFont(labels);
    }
    plot.legend->setFont(ticks);
    for (int i = 0; i < plot.legend->elementCount(); ++i) {
        if (QCPAbstractLegendItem* item = plot.legend->item(i)) item->setFont(ticks);
    }
    plot.setFont(ticks);
    plot.plotLayout()->setRowStretchFactor(1, 0.001);
}

void DrawPage(QCPPainter& p, const TReportRun& run) {
    const report::RunSummary summary = report::Summarize(*run.Log);
    const int width = ReportPageWidth - 2 * Margin;
    int y = Margin;

    p.setFont(PixelFont(34, true));
    p.setPen(Qt::black);
    p.drawText(QRect(Margin, y, width, 60), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Prubeh regulace: %1").arg(Utf8(run.LogName)));
    y += 64;

    p.setFont(PixelFont(19));
    QString note = QStringLiteral("%1 radku").arg(summary.Lines);
    if (run.Reference != nullptr) note += QStringLiteral(", reference: %1").arg(Utf8(run.ReferenceName));
    if (run.Log->SkippedLines > 0)
        note += QStringLiteral(", vynechano chybnych radku: %1").arg(run.Log->SkippedLines);
    if (run.Log->CutLastLine) note += QStringLiteral(", posledni radek neuplny (vynechan)");
    p.drawText(QRect(Margin, y, width, 30), Qt::AlignLeft | Qt::AlignVCenter, note);
    y += 44;

    QCustomPlot plot;
    plot.setAttribute(Qt::WA_DontShowOnScreen);
    plot.resize(width, ChartHeight);
    BuildPlot(plot, run);
    p.save();
    p.translate(Margin, y);
    plot.toPainter(&p, width, ChartHeight);
    p.restore();
    y += ChartHeight + 40;

    // The summary table: what, side 1, side 2.
    const int labelWidth = width * 50 / 100;
    const int valueWidth = (width - labelWidth) / 2;
    auto row = [&](const QString& label, const QString& one, const QString& two, bool bold) {
        p.setFont(PixelFont(21, bold));
        p.drawText(QRect(Margin + 8, y, labelWidth - 8, RowHeight), Qt::AlignLeft | Qt::AlignVCenter, label);
        p.drawText(QRect(Margin + labelWidth, y, valueWidth - 8, RowHeight),
                   Qt::AlignRight | Qt::AlignVCenter, one);
        p.drawText(QRect(Margin + labelWidth + valueWidth, y, valueWidth - 8, RowHeight),
                   Qt::AlignRight | Qt::AlignVCenter, two);
        y += RowHeight;
        p.setPen(QPen(QColor(160, 160, 160), 0));
        p.drawLine(QLineF(Margin, y, Margin + width, y));
        p.setPen(Qt::black);
    };
    p.setPen(QPen(Qt::black, 0));
    p.drawLine(QLineF(Margin, y, Margin + width, y));
    row(QString(), QStringLiteral("Strana 1"), QStringLiteral("Strana 2"), true);
    for (const report::SummaryRow& r : report::SummaryRows(summary))
        row(Utf8(r.Label), Utf8(r.Side1), Utf8(r.Side2), false);
}

std::string LowerExtension(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace

void WriteRunReport(const std::filesystem::path& file, const TReportRun& run) {
    if (run.Log == nullptr || run.Log->Size() == 0) throw std::invalid_argument("no lines to report");
    const std::string ext = LowerExtension(file);
    const QString name = QString::fromStdString(file.string());
    if (ext == ".pdf") {
        QPdfWriter writer(name);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(Dpi);
        writer.setCreator(QStringLiteral("regulator-report"));
        writer.setTitle(QStringLiteral("Prubeh regulace: %1").arg(Utf8(run.LogName)));
        QCPPainter p;
        if (!p.begin(&writer)) throw std::runtime_error(file.string() + ": cannot be written");
        p.setMode(QCPPainter::pmVectorized);
        // The writer's page may differ from 1240 x 1754 by rounding; the page is drawn to fit it.
        p.scale(writer.width() / double(ReportPageWidth), writer.height() / double(ReportPageHeight));
        DrawPage(p, run);
        if (!p.end()) throw std::runtime_error(file.string() + ": cannot be written");
        return;
    }
    if (ext == ".png") {
        QImage image(ReportPageWidth, ReportPageHeight, QImage::Format_RGB32);
        image.fill(Qt::white);
        const int dotsPerMeter =
            static_cast<int>(Dpi / 0.0254 + 0.5); // fonts in points come out as in the PDF
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        {
            QCPPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::TextAntialiasing);
            DrawPage(p, run);
        }
        if (!image.save(name, "PNG")) throw std::runtime_error(file.string() + ": cannot be written");
        return;
    }
    throw std::invalid_argument(file.string() + ": the report is written as .pdf or .png");
}

} // namespace chart
