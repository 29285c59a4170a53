// A day-long data log (172,800 lines, one every 500 ms) read back and reported.
//
//   report_bench
// Figures: BM_ParseDay parses the log's text in memory; BM_ReadDayFile reads it from its file;
// BM_ReportDay is what regulator-report does: read the file, find its run in a journal of a
// thousand events, sum it up and draw the PDF.
#include "chart/ReportPage.h"
#include "persistence/DataLog.h"
#include "report/DataLogReader.h"
#include "report/RunRecord.h"
#include "report/RunSummary.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr long DayOfLines = 172800;

const std::filesystem::path& Dir() {
    static const auto dir =
        std::filesystem::temp_directory_path() / ("report-bench-" + std::to_string(::getpid()));
    return dir;
}

const std::string& DayText() {
    static const std::string text = [] {
        std::string t;
        for (long n = 0; n < DayOfLines; ++n) {
            persistence::LogRow r;
            r.CycleTime = static_cast<double>(n) * 0.5;
            r.Setpoint1 = n < DayOfLines / 2 ? 150.0 : 120.0;
            r.Temperature1 = r.Setpoint1 + 3.0 * std::sin(static_cast<double>(n) / 300.0);
            r.Heater1 = n % 3 == 0;
            r.Setpoint2 = 100.0;
            r.Temperature2 = 99.0 + 2.0 * std::sin(static_cast<double>(n) / 500.0);
            r.Heater2 = n % 4 == 0;
            t += persistence::LogLineText(r);
        }
        return t;
    }();
    return text;
}

std::filesystem::path DayFile() {
    const auto file = Dir() / "data_07_12_26__14_05.txt";
    if (!std::filesystem::exists(file)) std::ofstream(file, std::ios::binary) << DayText();
    return file;
}

void BM_ParseDay(benchmark::State& state) {
    const std::string& text = DayText();
    for (auto _ : state)
        benchmark::DoNotOptimize(report::ParseLog(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseDay)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadDayFile(benchmark::State& state) {
    const auto file = DayFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(report::ReadLog(file));
}
BENCHMARK(BM_ReadDayFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The journal of the day: the Start that opened the log, an alarm and its end every 3 minutes,
// the end of the cycle.
std::filesystem::path DayJournal() {
    const auto file = Dir() / "events.txt";
    if (std::filesystem::exists(file)) return file;
    std::ofstream out(file, std::ios::binary);
    auto line = [&out](int minute, int second, const char* rest) {
        const int at = 14 * 60 + 5 + minute; // minutes from 7 December 00:00
        char text[160];
        std::snprintf(text, sizeof text, "2026-12-%02d %02d:%02d:%02d\t%s\r\n", 7 + at / 1440, at / 60 % 24,
                      at % 60, second, rest);
        out << text;
    };
    line(0, 0, "-\tcycle-start\tobsluha");
    for (int minute = 3; minute < 1440; minute += 3) {
        line(minute, 0, "2\tstale\tStrana 2: zadna teplota 10 s, topeni vypnuto.");
        line(minute, 30, "2\trecovered\tStrana 2: teplota opet prichazi.");
    }
    line(1440, 0, "-\tcycle-end\tkonec cyklu");
    return file;
}

void BM_ReportDay(benchmark::State& state) {
    const auto file = DayFile();
    const auto journal = DayJournal();
    int pages = 0;
    for (auto _ : state) {
        const report::LogTable log = report::ReadLog(file);
        const std::string name = file.filename().string();
        const report::RunRecord record =
            report::FindRun(log, name, report::ReadRunEvents(journal, log, name));
        chart::TReportRun run;
        run.LogName = name;
        run.Log = &log;
        run.Record = &record;
        pages = chart::WriteRunReport(Dir() / "report.pdf", run);
    }
    state.counters["pages"] = pages;
    state.counters["pdf_KiB"] =
        static_cast<double>(std::filesystem::file_size(Dir() / "report.pdf")) / 1024.0;
}
BENCHMARK(BM_ReportDay)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::filesystem::create_directories(Dir());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(Dir(), ec);
    return 0;
}
