#pragma once
// The chart on paper, as the run report and the window's exports draw it: a white page, dark
// texts, a light grid, axis titles with their units (the cycle time in seconds, or in hours and
// minutes when the plot spans more than an hour), the legend in a row of its own below the plot
// and, when given, a title above it. Fonts are set in pixels, so the plot keeps its proportions
// whatever the resolution it is drawn at. Inside chart/ only: it sees the plotting library.
#include <QColor>
#include <QFont>
#include <QPen>
#include <QString>

#include <filesystem>
#include <functional>
#include <vector>

class QCustomPlot;
class QCPPainter;

namespace chart {

// Above this span of cycle time (s) the x axis is in hours and minutes.
inline constexpr double HoursAxisFrom = 3600.0;

QFont PixelFont(int pixels, bool bold = false);

// A reference run's temperatures on paper: colours of their own (orange for side 1, green for
// side 2), so that they are not taken for the live curves.
QColor ReferencePrintColour(int side);

// A pen of `width` page pixels; 0 is the thinnest line the device draws.
QPen PrintPen(const QColor& colour, Qt::PenStyle style = Qt::SolidLine, double width = 0.0);

// Sets the look on a plot whose graphs and axis ranges are in place. `title` empty: none.
void ApplyPrintLook(QCustomPlot& plot, const QString& title);

// The x axis' title for a span of cycle time: "Cas cyklu [s]" or "Cas cyklu [h:mm]".
QString TimeAxisTitle(double span);

// Writes pages of `width` x `height` pixels at 150 dots per inch: a PDF of A4 pages (portrait or
// landscape by the proportions) when `file` ends in ".pdf", PNG pictures when in ".png" (the
// first page to `file`, further pages to "<name>-2.png", "<name>-3.png", ...), any case.
// Throws std::invalid_argument for another ending and std::runtime_error when a file cannot be
// written.
using TPageDraw = std::function<void(QCPPainter& painter)>;
void WritePages(const std::filesystem::path& file, int width, int height, const QString& title,
                const std::vector<TPageDraw>& pages);

// The further files a PNG of several pages takes: "<name>-<page>.png" beside `file`.
std::filesystem::path PagePicture(const std::filesystem::path& file, int page);

} // namespace chart
