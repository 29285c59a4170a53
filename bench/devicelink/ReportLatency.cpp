// Usage: devicelink_bench [reports] [idle-seconds]
// Prints the latency from a report's last byte reaching the pseudo-terminal to the side's
// Temperature holding its value (median, 99th percentile, maximum over `reports`, default 1000),
// and the CPU the program uses while idle with both ports open, and with both closed.
#include "app/form1.h"
#include "bench/QuietBoxes.h"
#include "platform/ProgramDir.h"
#include "serial/ComPort.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct TLine {
    int master = -1;
    int slave = -1;
    TLine(const fs::path& dir, int number) {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) std::perror("openpty");
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        fs::create_directories(dir / "dosdevices");
        const fs::path link = dir / "dosdevices" / ("com" + std::to_string(number));
        fs::remove(link);
        fs::create_symlink(::ttyname(slave), link);
    }
    ~TLine() {
        ::close(master);
        ::close(slave);
    }
    // Discards what the program wrote (the control ticks' commands).
    void Drain() const {
        char buf[512];
        while (::read(master, buf, sizeof buf) > 0) {
        }
    }
};

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop (blocking in it, as the program does) until `done` or the time limit.
template <class Done> bool RunUntil(Done done, int limitMs) {
    QElapsedTimer t;
    t.start();
    QTimer guard;
    guard.start(limitMs);
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * double(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int reports = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

    const fs::path dir = fs::temp_directory_path() / ("regulator-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    platform::SetProgramDir(dir);

    bench::TQuietBoxes boxes;
    TFormServices services;
    services.Boxes = &boxes;
    {
        // Idle with both ports closed: the watchdog finds no device every second.
        auto form = std::make_unique<TForm1>(services);
        form->show();
        RunFor(1500);
        const double cpu0 = CpuSeconds();
        RunFor(idleSeconds * 1000);
        const double closedShare = (CpuSeconds() - cpu0) / idleSeconds;

        TLine line3(dir, 3), line4(dir, 4);
        if (!RunUntil([&] { return form->Com1Port->Connected() && form->Com2Port->Connected(); }, 5000)) {
            std::fprintf(stderr, "the ports did not open\n");
            return 1;
        }

        // Latency of one report, from its last byte written to the pty to Temperature.
        std::vector<double> ms;
        ms.reserve(std::size_t(reports));
        for (int i = 0; i < reports; ++i) {
            const int tenths = 1000 + (i % 2000); // 100,0 .. 299,9: every report differs from the last
            char text[32];
            std::snprintf(text, sizeof text, "@t=%3d,%dC\r", tenths / 10, tenths % 10);
            const double expected = tenths / 10.0;
            line3.Drain();
            // The frame up to its carriage return first, so the time below is the last byte's.
            const std::string head(text, std::strlen(text) - 1);
            if (::write(line3.master, head.data(), head.size()) != ssize_t(head.size())) return 1;
            RunUntil([&] { return form->S.RxLine[1].size() == 8; }, 2000);
            const auto t0 = Clock::now();
            if (::write(line3.master, "\r", 1) != 1) return 1;
            if (!RunUntil([&] { return form->S.SideState[1].Temperature == expected; }, 2000)) {
                std::fprintf(stderr, "report %d did not arrive\n", i);
                return 1;
            }
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        std::printf(
            "report last byte -> Temperature over %d reports: median %.3f ms, p99 %.3f ms, max %.3f ms\n",
            reports, Percentile(ms, 0.5), Percentile(ms, 0.99), *std::max_element(ms.begin(), ms.end()));

        // Idle with both ports open (the control tick writes its commands; nobody reports).
        RunFor(500);
        const double cpu1 = CpuSeconds();
        QTimer drain;
        QObject::connect(&drain, &QTimer::timeout, [&] {
            line3.Drain();
            line4.Drain();
        });
        drain.start(1000);
        RunFor(idleSeconds * 1000);
        const double openShare = (CpuSeconds() - cpu1) / idleSeconds;
        std::printf("idle CPU over %d s: both ports open %.2f %% of one core; both closed %.2f %%\n",
                    idleSeconds, openShare * 100, closedShare * 100);
        form->close();
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
