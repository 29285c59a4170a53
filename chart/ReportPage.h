#pragma once
// The report of a run, a record a lab can file: a header with the run's date, start and end and
// the sides' names; the chart of both sides (temperatures, setpoints, a reference run in colours
// of its own, the alarms marked on the time axis and the outages of a resumed cycle); the summary
// table per side; the settings and both programs; the run's events from the journal. One A4 page
// where it fits, more pages where the events or the programs do not (the chart on the first).
//
// Drawn by the plotting library on a painter, without a window on the screen (Qt's offscreen
// platform will do, but a QApplication must exist).
#include "report/DataLogReader.h"
#include "report/RunRecord.h"
#include "report/RunSettings.h"

#include <filesystem>
#include <stdexcept>
#include <string>

namespace chart {

// The page: A4 portrait at 150 dots per inch.
inline constexpr int ReportPageWidth = 1240;
inline constexpr int ReportPageHeight = 1754;

// A run and what is known of it.
struct TReportRun {
    std::string LogName;                   // the log's file name
    const report::LogTable* Log = nullptr; // required, at least one line
    std::string ReferenceName;             // shown in the legend
    const report::LogTable* Reference = nullptr;
    const report::RunRecord* Record = nullptr;     // the run's times and events; none: the lines alone
    const report::RunSettings* Settings = nullptr; // none: no settings are shown
};

// Writes the report to `file`: PDF when its name ends in ".pdf", PNG when in ".png" (any case;
// a report of several pages as "<name>.png", "<name>-2.png", ...). Returns the number of pages.
// Throws std::invalid_argument for another ending and std::runtime_error when the file cannot be
// written.
int WriteRunReport(const std::filesystem::path& file, const TReportRun& run);

} // namespace chart
