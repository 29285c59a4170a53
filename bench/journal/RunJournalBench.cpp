// One entry of the run journal written (temporary file, flush to the disk, rename) and read back,
// in a temporary folder on the disk the temporary folder is on. The write runs on the display
// refresh once a second while a cycle runs, so its time is taken from the refresh.
#include "journal/RunJournal.h"
#include "tests/support/TempFiles.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

journal::RunEntry Entry() {
    journal::RunEntry e;
    e.WallTime = 1796738400;
    e.CycleTicks = 123456;
    e.CycleLength = 36000;
    e.Regulovat = e.NaPrubeh = true;
    e.ProgramStep1 = 42;
    e.ProgramStep2 = 17;
    e.Setpoint1 = 850;
    e.Setpoint2 = 612.5;
    e.DataLog = "data_08_12_26__13_19.txt";
    return e;
}

void BM_WriteEntry(benchmark::State& state) {
    const testsupport::TTempDir folder("runjournal_bench");
    journal::TRunJournal writer(folder.Path() / "Regulator.run");
    auto e = Entry();
    for (auto _ : state) {
        e.CycleTicks += 10; // a second later: always due
        writer.Update(e, false);
    }
    if (writer.TakeFailure()) state.SkipWithError("write failed");
}
BENCHMARK(BM_WriteEntry)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadEntry(benchmark::State& state) {
    const testsupport::TTempDir folder("runjournal_bench");
    journal::WriteRunJournal(folder.Path() / "Regulator.run", Entry());
    for (auto _ : state) benchmark::DoNotOptimize(journal::ReadRunJournal(folder.Path() / "Regulator.run"));
}
BENCHMARK(BM_ReadEntry)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
