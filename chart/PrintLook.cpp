#include "chart/PrintLook.h"

#include <qcustomplot.h>

#include <QImage>
#include <QPdfWriter>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace chart {
namespace {

constexpr int Dpi = 150;
const QColor GridColour(200, 200, 200);

QString PathText(const std::filesystem::path& file) {
    return QString::fromStdU16String(file.u16string());
}

std::string LowerExtension(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

std::runtime_error CannotWrite(const std::filesystem::path& file) {
    return std::runtime_error(file.string() + ": cannot be written");
}

} // namespace

QFont PixelFont(int pixels, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QColor ReferencePrintColour(int side) {
    return side == 1 ? QColor(230, 130, 0, 210) : QColor(0, 150, 70, 210);
}

QPen PrintPen(const QColor& colour, Qt::PenStyle style, double width) {
    QPen pen(colour);
    pen.setWidthF(width);
    pen.setStyle(style);
    return pen;
}

QString TimeAxisTitle(double span) {
    return span > HoursAxisFrom ? QStringLiteral("Cas cyklu [h:mm]") : QStringLiteral("Cas cyklu [s]");
}

void ApplyPrintLook(QCustomPlot& plot, const QString& title) {
    plot.setBackground(Qt::white);
    plot.axisRect()->setBackground(Qt::white);
    const double span = plot.xAxis->range().size();
    if (span > HoursAxisFrom) {
        auto ticker = QSharedPointer<QCPAxisTickerTime>::create();
        ticker->setTimeFormat(QStringLiteral("%h:%m"));
        ticker->setFieldWidth(QCPAxisTickerTime::tuHours, 1);
        plot.xAxis->setTicker(ticker);
    }
    plot.xAxis->setLabel(TimeAxisTitle(span));
    plot.yAxis->setLabel(QStringLiteral("Teplota [\u00b0C]"));
    const QFont ticks = PixelFont(16), labels = PixelFont(18);
    for (QCPAxis* axis : {plot.xAxis, plot.yAxis}) {
        axis->grid()->setPen(QPen(GridColour, 0, Qt::DotLine));
        axis->grid()->setZeroLinePen(Qt::NoPen);
        axis->setBasePen(QPen(Qt::black, 0));
        axis->setTickPen(QPen(Qt::black, 0));
        axis->setSubTickPen(QPen(Qt::black, 0));
        axis->setTickLabelColor(Qt::black);
        axis->setLabelColor(Qt::black);
        axis->setTickLabelFont(ticks);
        axis->setLabelFont(labels);
    }

    // The legend in a row of its own below the plot, as in the window.
    auto* legendRow = new QCPLayoutGrid;
    plot.plotLayout()->addElement(1, 0, legendRow);
    legendRow->setMargins(QMargins(5, 0, 5, 5));
    legendRow->addElement(0, 0, plot.legend);
    plot.legend->setWrap(plot.width() > 1200 ? 4 : 3); // a landscape page has room for the four live series
    plot.legend->setFillOrder(QCPLegend::foColumnsFirst, true);
    plot.legend->setBrush(Qt::white);
    plot.legend->setBorderPen(QPen(Qt::black, 0));
    plot.legend->setTextColor(Qt::black);
    plot.legend->setFont(ticks);
    for (int i = 0; i < plot.legend->elementCount(); ++i) {
        if (QCPAbstractLegendItem* item = plot.legend->item(i)) {
            item->setFont(ticks);
            item->setTextColor(Qt::black);
            // Room below the text, or the underscores of the series' names are cut off.
            item->setMargins(QMargins(8, 2, 8, 6));
        }
    }
    plot.legend->setVisible(true);
    plot.setFont(ticks);
    plot.plotLayout()->setRowStretchFactor(1, 0.001);

    if (!title.isEmpty()) {
        plot.plotLayout()->insertRow(0);
        auto* text = new QCPTextElement(&plot, title, PixelFont(22, true));
        text->setTextColor(Qt::black);
        plot.plotLayout()->addElement(0, 0, text);
        plot.plotLayout()->setRowStretchFactor(0, 0.001);
    }
}

std::filesystem::path PagePicture(const std::filesystem::path& file, int page) {
    if (page <= 1) return file;
    std::filesystem::path name = file.stem();
    name += "-" + std::to_string(page);
    name += file.extension();
    return file.parent_path() / name;
}

void WritePages(const std::filesystem::path& file, int width, int height, const QString& title,
                const std::vector<TPageDraw>& pages) {
    const std::string ext = LowerExtension(file);
    if (ext == ".pdf") {
        QPdfWriter writer(PathText(file));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(width > height ? QPageLayout::Landscape : QPageLayout::Portrait);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(Dpi);
        writer.setCreator(QStringLiteral("Regulace teploty"));
        writer.setTitle(title);
        QCPPainter p;
        if (!p.begin(&writer)) throw CannotWrite(file);
        p.setMode(QCPPainter::pmVectorized);
        // The writer's page may differ from the pixels asked for by rounding; each page is drawn to fit it.
        const double sx = writer.width() / double(width), sy = writer.height() / double(height);
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (i > 0 && !writer.newPage()) throw CannotWrite(file);
            p.save();
            p.scale(sx, sy);
            pages[i](p);
            p.restore();
        }
        if (!p.end()) throw CannotWrite(file);
        return;
    }
    if (ext == ".png") {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            QImage image(width, height, QImage::Format_RGB32);
            image.fill(Qt::white);
            const int dotsPerMeter =
                static_cast<int>(Dpi / 0.0254 + 0.5); // fonts in points come out as in the PDF
            image.setDotsPerMeterX(dotsPerMeter);
            image.setDotsPerMeterY(dotsPerMeter);
            {
                QCPPainter p(&image);
                p.setRenderHint(QPainter::Antialiasing);
                p.setRenderHint(QPainter::TextAntialiasing);
                pages[i](p);
            }
            const std::filesystem::path out = PagePicture(file, static_cast<int>(i) + 1);
            if (!image.save(PathText(out), "PNG")) throw CannotWrite(out);
        }
        return;
    }
    throw std::invalid_argument(file.string() + ": the picture is written as .pdf or .png");
}

} // namespace chart
