// The display refresh and the program curves on the real window, offscreen.
//
//   chart_bench                    all benchmarks
// Figures:
// - BM_Refresh/days: one refresh (four appends, labels, the log line) and a synchronous repaint
//   with a day (172,800 points) or a week (1,209,600 points) in each of the four series, the week
//   together with a week-long reference run; each repetition is a single refresh, so the median
//   over repetitions is the median refresh.
// - BM_ZoomWeek: one wheel step on that week, in and out by turns.
// - BM_RenderPrograms: RenderPrograms with two programs of 36,000 s (36,000 curve points each)
//   and a synchronous repaint.
// - BM_Memory/days: the resident set of the whole process and its growth while the points are
//   appended (and the reference read); run it alone (--benchmark_filter=BM_Memory/7), since the
//   heap keeps what earlier benchmarks freed.
// - BM_LoadReferenceWeek: a week-long data log read as the reference, from the menu's command
//   until it is shown.
#include "bench/QuietBoxes.h"
#include "app/Timer.h"
#include "app/form1.h"
#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "persistence/DataLog.h"
#include "platform/ProgramDir.h"

#include <QApplication>
#include <QWheelEvent>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr long DayOfRefreshes = 172800; // 24 h at one refresh per 500 ms

bench::TQuietBoxes gBoxes;

std::unique_ptr<TForm1> NewWindow() {
    TFormServices services;
    services.Boxes = &gBoxes;
    auto form = std::make_unique<TForm1>(services);
    form->show();
    return form;
}

// A temperature that wanders like a regulated one, with a little measurement noise.
double Wander(long n, double base) {
    const double t = static_cast<double>(n) * 0.5;
    return base + 8.0 * std::sin(t / 400.0) + 0.6 * std::sin(t * 1.7) + static_cast<double>(n % 7) * 0.05;
}

void FillDays(TForm1& f, long days) {
    for (long n = 0; n < DayOfRefreshes * days; ++n) {
        const double x = static_cast<double>(n) * 0.5;
        f.Chart->Append(chart::SeriesTemperature1, x, Wander(n, 150.0));
        f.Chart->Append(chart::SeriesSetpoint1, x, n % 2400 < 1200 ? 150.0 : 155.0);
        f.Chart->Append(chart::SeriesTemperature2, x, Wander(n + 77, 120.0));
        f.Chart->Append(chart::SeriesSetpoint2, x, n % 3600 < 1800 ? 120.0 : 125.0);
    }
    f.S.CycleTicks = DayOfRefreshes * days * 5;
}

void FillDay(TForm1& f) {
    FillDays(f, 1);
}

// Loads a reference and runs the event loop until it is shown.
void LoadReference(TForm1& f, const std::filesystem::path& file) {
    f.LoadReference(QString::fromStdString(file.string()));
    while (f.ReferenceLoading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// A week-long data log, written once, for the reference.
std::filesystem::path WeekLog() {
    static const std::filesystem::path file = [] {
        const auto path = platform::ProgramDir() / "week.txt";
        std::ofstream out(path, std::ios::binary);
        std::string text;
        for (long n = 0; n < DayOfRefreshes * 7; ++n) {
            persistence::LogRow r;
            r.CycleTime = static_cast<double>(n) * 0.5;
            r.Setpoint1 = 150.0;
            r.Temperature1 = Wander(n + 13, 149.0);
            r.Heater1 = n % 3 == 0;
            r.Setpoint2 = 120.0;
            r.Temperature2 = Wander(n + 41, 119.0);
            text += persistence::LogLineText(r);
            if (text.size() > (1u << 20)) {
                out << text;
                text.clear();
            }
        }
        out << text;
        return path;
    }();
    return file;
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void BM_Refresh(benchmark::State& state) {
    const long days = state.range(0);
    const auto reference = days >= 7 ? WeekLog() : std::filesystem::path();
    auto f = NewWindow();
    FillDays(*f, days);
    if (!reference.empty()) LoadReference(*f, reference);
    f->Chart->RepaintNow();
    long n = DayOfRefreshes * days;
    for (auto _ : state) {
        f->S.CycleTicks += 5;
        f->S.SideState[1].Temperature = Wander(n, 150.0);
        f->S.SideState[2].Temperature = Wander(n + 77, 120.0);
        ++n;
        f->TimerUkazTimer(f->TimerUkaz);
        f->Chart->RepaintNow();
    }
    state.counters["points_per_series"] =
        static_cast<double>(f->Chart->PointCount(chart::SeriesTemperature1));
}
BENCHMARK(BM_Refresh)
    ->Arg(1)
    ->Arg(7)
    ->Iterations(1)
    ->Repetitions(60)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One step of the mouse wheel on a week of points (and a week-long reference), in and out by
// turns, so that every step shows a view not drawn before.
void BM_ZoomWeek(benchmark::State& state) {
    auto f = NewWindow();
    FillDays(*f, 7);
    LoadReference(*f, WeekLog());
    f->Chart->RepaintNow();
    QWidget* plot = f->Chart->findChild<QWidget*>();
    const QPointF at(plot->width() * 0.6, plot->height() * 0.4);
    int turn = 0;
    for (auto _ : state) {
        const QPoint angle(0, (turn++ % 2 == 0) ? 120 : -120);
        QWheelEvent wheel(at, plot->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(plot, &wheel);
        f->Chart->RepaintNow();
    }
    if (f->Chart->AutoScaling()) state.SkipWithError("the wheel did not zoom");
}
BENCHMARK(BM_ZoomWeek)->Iterations(1)->Repetitions(30)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderPrograms(benchmark::State& state) {
    auto f = NewWindow();
    for (int side : {1, 2}) {
        for (int n = 1; n <= 50; ++n) {
            f->S.ProgramTime[side][n] = (n - 1) * 36000 / 49;
            f->S.ProgramTemp[side][n] = 100 + (n * 37 + side * 11) % 60;
        }
        f->S.ProgramCount[side] = 50;
    }
    if (state.range(0) != 0) FillDay(*f); // with a day of measured points behind the curves
    for (auto _ : state) {
        f->RenderPrograms();
        f->Chart->RepaintNow();
    }
    state.counters["curve_points"] = static_cast<double>(f->Chart->PointCount(chart::SeriesSetpoint1));
}
BENCHMARK(BM_RenderPrograms)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Repetitions(30)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Memory(benchmark::State& state) {
    const long days = state.range(0);
    const auto reference = days >= 7 ? WeekLog() : std::filesystem::path();
    for (auto _ : state) {
        auto f = NewWindow();
        f->Chart->RepaintNow();
        const long before = ResidentKiB();
        FillDays(*f, days);
        if (!reference.empty()) LoadReference(*f, reference);
        f->Chart->RepaintNow();
        const long after = ResidentKiB();
        state.counters["rss_growth_MiB"] = static_cast<double>(after - before) / 1024.0;
        state.counters["rss_MiB"] = static_cast<double>(after) / 1024.0;
    }
}
BENCHMARK(BM_Memory)->Arg(1)->Arg(7)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadReferenceWeek(benchmark::State& state) {
    const auto reference = WeekLog();
    auto f = NewWindow();
    for (auto _ : state) {
        LoadReference(*f, reference);
        f->Chart->RepaintNow();
    }
    state.counters["points_per_series"] = static_cast<double>(f->Chart->PointCount(chart::SeriesReference1));
}
BENCHMARK(BM_LoadReferenceWeek)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TTimer::SetFrozenForTesting(true);
    const auto dir = std::filesystem::temp_directory_path() / ("chart-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    platform::SetProgramDir(dir);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
