// The port's speed on real pseudo-terminals: a write at 4800 baud, the event thread's idle CPU
// with every event watched, and the time from a byte's arrival to OnRxChar on the thread that
// serves the hand-over.
#include "bench/Percentiles.h"
#include "serial/ComPort.h"
#include "tests/support/PtyPair.h"

#include <benchmark/benchmark.h>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One command line of the device link, written at 4800 baud while a peer reads it.
void BM_WriteStr4800(benchmark::State& state) {
    PtyPair pty;
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        char buf[256];
        while (!stop) {
            pollfd p{pty.Master(), POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) [[maybe_unused]]
                auto n = ::read(pty.Master(), buf, sizeof buf);
        }
    });
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.SetBaudRate(br4800);
    port.Open();
    const std::string command(static_cast<std::size_t>(state.range(0)), '@');
    for (auto _ : state)
        benchmark::DoNotOptimize(port.WriteStr(command));
    state.SetBytesProcessed(state.iterations() * state.range(0));
    port.Close();
    stop = true;
    peer.join();
}
BENCHMARK(BM_WriteStr4800)->Arg(9)->Arg(64)->Arg(1024);

// CPU of an open port that waits for all ten events and receives nothing, over one second.
void BM_IdleEventThreadCpu(benchmark::State& state) {
    PtyPair pty;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.Open();
    double share = 0;
    for (auto _ : state) {
        const double cpu0 = CpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        share = (CpuSeconds() - cpu0) / wall;
    }
    state.counters["cpu_percent_of_core"] = share * 100.0;
    port.Close();
}
BENCHMARK(BM_IdleEventThreadCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

// From the peer's write of one byte to OnRxChar running on this ("user-interface") thread,
// through the blocking hand-over.
void BM_RxCharLatency(benchmark::State& state) {
    PtyPair pty;
    auto sync = std::make_shared<TQueuedComSync>();
    TComPort port(nullptr, sync);
    port.SetPort(pty.SlavePath());
    Clock::time_point sent{};
    std::vector<double> samples;
    bool got = false;
    port.OnRxChar = [&](TComPort* p, int count) {
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        std::string s;
        p->ReadStr(s, count);
        got = true;
    };
    port.Open();
    for (auto _ : state) {
        got = false;
        sent = Clock::now();
        pty.Send("t");
        while (!got) {
            sync->WaitForPending();
            sync->ProcessPending();
        }
    }
    port.Close();
    bench::ReportPercentiles(state, samples);
}
BENCHMARK(BM_RxCharLatency)->Iterations(2000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
