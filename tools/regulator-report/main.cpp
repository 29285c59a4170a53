// regulator-report: the report of a run from its data log, and the log as CSV.
// Usage: regulator-report LOG [-o REPORT.pdf|REPORT.png] [--reference OTHERLOG] [--csv OUT.csv
// [--czech]] [--events FILE] [--settings FILE]; see --help.
#include "chart/ReportPage.h"
#include "report/CsvExport.h"
#include "report/DataLogReader.h"
#include "report/RunRecord.h"
#include "report/RunSettings.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

const char* const Usage = R"(regulator-report - the report of a run from its data log, and the log as CSV

usage: regulator-report LOG [-o REPORT] [--reference OTHERLOG] [--csv OUT.csv [--czech]]
                            [--events FILE] [--settings FILE]

  LOG                    a data log of the regulator (Data/data_dd_mm_yy__hh_nn.txt)
  -o, --output REPORT    the report to write, .pdf or .png (default: the log's name with .pdf,
                         in the current folder); a PNG of several pages is REPORT.png,
                         REPORT-2.png, ...
  --reference OTHERLOG   draw an earlier run's temperatures behind this one's, in colours of
                         their own
  --csv OUT.csv          write the log as CSV (comma-separated, decimal point); with --csv the
                         report is written only when -o is given as well
  --czech                the CSV in the Czech form: semicolon-separated, decimal comma, as
                         spreadsheets with Czech settings read numbers
  --events FILE          the event journal (default: events.txt beside the log)
  --settings FILE        the settings file (default: Regulator.ini in the folder above the
                         log's, when the log lies in a folder named Data)
  -h, --help             this text

The report holds the run's date, start and end, the chart of both sides (temperatures,
setpoints, alarms marked on the time axis) and a table per side: duration, number of cycles,
minimum and maximum temperature, the largest overshoot above the setpoint, the time within
+-2 degC of the setpoint, the heater duty, the time to reach the setpoint and the largest
deviation while holding it; then the controller settings, both programs and the run's events
from the journal. One A4 page where it fits, more where the events or programs need them.
Exit codes: 0 written, 1 a file could not be written, 2 bad arguments or input.
)";

int Fail(int code, const std::string& text) {
    std::fprintf(stderr, "regulator-report: %s\n", text.c_str());
    return code;
}

// Qt's own notes (a missing runtime folder and the like) are no business of the report's reader.
void QuietQt(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "regulator-report: %s\n", text.toLocal8Bit().constData());
}

// Regulator.ini of the program whose Data folder holds the log.
std::optional<fs::path> SettingsBeside(const fs::path& log) {
    std::error_code ec;
    const fs::path folder = fs::absolute(log, ec).parent_path();
    if (ec) return std::nullopt;
    const std::string name = folder.filename().string();
    if (name != "Data" && name != "data") return std::nullopt;
    return folder.parent_path() / "Regulator.ini";
}

} // namespace

int main(int argc, char** argv) {
    std::optional<fs::path> log, output, reference, csv, events, settings;
    bool czech = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (a == "-o" || a == "--output" || a == "--reference" || a == "--csv" || a == "--events" ||
            a == "--settings") {
            if (i + 1 >= argc) return Fail(2, a + " needs a file name (see --help)");
            std::optional<fs::path>& target = a == "--reference"  ? reference
                                              : a == "--csv"      ? csv
                                              : a == "--events"   ? events
                                              : a == "--settings" ? settings
                                                                  : output;
            target = argv[++i];
        } else if (a == "--czech") {
            czech = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Fail(2, "unknown option " + a + " (see --help)");
        } else if (log) {
            return Fail(2, "one log at a time (see --help)");
        } else {
            log = a;
        }
    }
    if (!log) return Fail(2, "no log given (see --help)");
    if (czech && !csv) return Fail(2, "--czech is the form of --csv (see --help)");
    if (!output && !csv) output = fs::path(log->filename()).replace_extension(".pdf");

    try {
        const report::LogTable run = report::ReadLog(*log);
        std::optional<report::LogTable> ref;
        if (reference) ref = report::ReadLog(*reference);
        if (csv) report::WriteCsv(run, *csv, czech ? report::CsvForm::Czech : report::CsvForm::Point);
        if (!output) return 0;

        const std::string name = log->filename().string();
        const fs::path journal = events ? *events : log->parent_path() / "events.txt";
        const report::RunRecord record =
            report::FindRun(run, name, report::ReadRunEvents(journal, run, name));
        if (!settings) settings = SettingsBeside(*log);
        std::optional<report::RunSettings> stored;
        if (settings) {
            stored = report::ReadRunSettings(*settings);
            // The journal's change records since the run's start give its own settings.
            if (record.Start && record.StartToTheSecond) {
                report::UndoChangesSince(
                    *stored,
                    report::ReadEvents(journal, std::numeric_limits<report::LocalSeconds>::min(),
                                       std::numeric_limits<report::LocalSeconds>::max(), report::ChangeKind),
                    *record.Start);
            }
        }

        // No display is needed: without a platform chosen, draw offscreen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(QuietQt);
        int qtArgc = 1;
        QApplication app(qtArgc, argv);
        chart::TReportRun page;
        page.LogName = name;
        page.Log = &run;
        if (ref) {
            page.ReferenceName = reference->filename().string();
            page.Reference = &*ref;
        }
        page.Record = &record;
        if (stored) page.Settings = &*stored;
        chart::WriteRunReport(*output, page);
        return 0;
    } catch (const report::ELogRead& e) {
        return Fail(2, e.what());
    } catch (const std::invalid_argument& e) {
        return Fail(2, e.what());
    } catch (const std::exception& e) {
        return Fail(1, e.what());
    }
}
