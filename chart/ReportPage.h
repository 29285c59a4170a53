#pragma once
// The one-page report of a run: a title with the log's name, the chart of both sides
// (temperatures and setpoints, and a reference run's temperatures, faint, when given) and the
// summary table per side. Drawn by the plotting library on a painter, without a window on the
// screen (Qt's offscreen platform will do, but a QApplication must exist).
#include "report/DataLogReader.h"

#include <filesystem>
#include <stdexcept>
#include <string>

namespace chart {

// The page: A4 portrait at 150 dots per inch.
inline constexpr int ReportPageWidth = 1240;
inline constexpr int ReportPageHeight = 1754;

// A run and, optionally, the reference it is compared with.
struct TReportRun {
    std::string LogName;                   // shown in the title
    const report::LogTable* Log = nullptr; // required, at least one line
    std::string ReferenceName;             // shown in the legend
    const report::LogTable* Reference = nullptr;
};

// Writes the report to `file`: PDF when its name ends in ".pdf", PNG when in ".png" (any case).
// Throws std::invalid_argument for another ending and std::runtime_error when the file cannot be
// written.
void WriteRunReport(const std::filesystem::path& file, const TReportRun& run);

} // namespace chart
