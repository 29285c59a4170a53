// Byte arrival to OnRxChar through the program's own hand-over: the Qt event loop.
#include "app/QtComSync.h"
#include "bench/Percentiles.h"
#include "serial/ComPort.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void BM_QtRxCharLatency(benchmark::State& state) {
    int master = -1, slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 ||
        ::ttyname_r(slave, name, sizeof name) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    ::close(slave);
    auto sync = std::make_shared<QtComSync>();
    TComPort port(nullptr, sync);
    port.SetPort(name);
    QEventLoop loop;
    Clock::time_point sent{};
    std::vector<double> samples;
    port.OnRxChar = [&](TComPort* p, int count) {
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        std::string s;
        p->ReadStr(s, count);
        loop.quit();
    };
    port.Open();
    for (auto _ : state) {
        sent = Clock::now();
        [[maybe_unused]] auto n = ::write(master, "t", 1);
        loop.exec();
    }
    port.Close();
    ::close(master);
    bench::ReportPercentiles(state, samples);
}
BENCHMARK(BM_QtRxCharLatency)->Iterations(2000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
