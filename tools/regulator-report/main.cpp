// regulator-report: the one-page report of a run from its data log.
// Usage: regulator-report LOG [-o REPORT.pdf|REPORT.png] [--reference OTHERLOG]; see --help.
#include "chart/ReportPage.h"
#include "platform/Host.h"
#include "report/DataLogReader.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

namespace {

const char* const Usage = R"(regulator-report - the one-page report of a run from its data log

usage: regulator-report LOG [-o REPORT] [--reference OTHERLOG]

  LOG                    a data log of the regulator (Data/data_dd_mm_yy__hh_nn.txt)
  -o, --output REPORT    the report to write, .pdf or .png (default: the log's name with .pdf,
                         in the current folder)
  --reference OTHERLOG   draw an earlier run's temperatures behind this one's, faint
  -h, --help             this text

The page holds the chart of both sides (temperatures and setpoints) and a table per side:
duration, number of cycles, minimum and maximum temperature, the largest overshoot above the
setpoint, the time within +-2 degC of the setpoint and the heater duty.
Exit codes: 0 written, 1 the report could not be written, 2 bad arguments or input.
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

} // namespace

int main(int argc, char** argv) {
    std::optional<std::filesystem::path> log, output, reference;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (a == "-o" || a == "--output" || a == "--reference") {
            if (i + 1 >= argc) return Fail(2, a + " needs a file name (see --help)");
            (a == "--reference" ? reference : output) = argv[++i];
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Fail(2, "unknown option " + a + " (see --help)");
        } else if (log) {
            return Fail(2, "one log at a time (see --help)");
        } else {
            log = a;
        }
    }
    if (!log) return Fail(2, "no log given (see --help)");
    if (!output) output = std::filesystem::path(log->filename()).replace_extension(".pdf");

    try {
        const report::LogTable run = report::ReadLog(*log);
        std::optional<report::LogTable> ref;
        if (reference) ref = report::ReadLog(*reference);

        // No display is needed: without a platform chosen, draw offscreen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        // Offscreen drawing finds the system's fonts only where it is told (Windows: its Fonts folder).
        const auto fonts = platform::SystemFontFolder();
        if (!fonts.empty() && qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR"))
            qputenv("QT_QPA_FONTDIR", QByteArray::fromStdString(fonts.string()));
        qInstallMessageHandler(QuietQt);
        int qtArgc = 1;
        QApplication app(qtArgc, argv);
        chart::TReportRun page;
        page.LogName = log->filename().string();
        page.Log = &run;
        if (ref) {
            page.ReferenceName = reference->filename().string();
            page.Reference = &*ref;
        }
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
