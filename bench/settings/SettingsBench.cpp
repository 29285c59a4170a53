// The settings file in a temporary folder on the disk the temporary folder is on.
#include "persistence/Settings.h"
#include "platform/ProgramDir.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

namespace {

namespace fs = std::filesystem;

class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "settings_bench_XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        path = pattern;
        platform::SetProgramDir(path);
    }
    ~Folder() {
        platform::SetProgramDir({});
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

state::RegulatorState FullPrograms() {
    state::RegulatorState s;
    for (int side = 1; side <= 2; ++side) {
        s.ProgramCount[side] = state::MaxProgramPoints;
        for (int n = 1; n <= state::MaxProgramPoints; ++n) {
            s.ProgramTime[side][n] = n * 60;
            s.ProgramTemp[side][n] = 100 + n;
        }
    }
    return s;
}

void WriteEverything() {
    persistence::WriteSerialSettings("COM3", "COM4", "4800");
    persistence::WriteWindowSettings("150", "150", "180", false, true, true);
    persistence::WriteRegulatorSettings("0,01995", "31,5", "2,35", "5", "180", "180");
    persistence::WritePrograms(FullPrograms());
}

// Start-up with both programs at 100 points: 15 + 2 x 201 single-key reads.
void BM_ReadSettingsFull(benchmark::State& st) {
    Folder f;
    WriteEverything();
    for (auto _ : st) benchmark::DoNotOptimize(persistence::ReadSettings());
}
BENCHMARK(BM_ReadSettingsFull)->Unit(benchmark::kMillisecond);

// One add or delete of a program point with both programs full: 2 erases and 400 atomic writes,
// each flushed to the disk.
void BM_WriteProgramsFull(benchmark::State& st) {
    Folder f;
    WriteEverything();
    const auto s = FullPrograms();
    for (auto _ : st) persistence::WritePrograms(s);
}
BENCHMARK(BM_WriteProgramsFull)->Unit(benchmark::kMillisecond)->Iterations(3);

// Closing the window: the six keys of "Nastaveni".
void BM_WriteWindowSettings(benchmark::State& st) {
    Folder f;
    WriteEverything();
    for (auto _ : st) persistence::WriteWindowSettings("150", "150", "180", false, true, true);
}
BENCHMARK(BM_WriteWindowSettings)->Unit(benchmark::kMillisecond);

// Start-up with a 64 MB file of garbage in the place of the settings: every key is missing.
void BM_ReadSettingsHugeGarbage(benchmark::State& st) {
    Folder f;
    {
        std::ofstream out(f.path / "Regulator.ini", std::ios::binary);
        std::string block(1 << 20, 'x');
        for (std::size_t i = 0; i < block.size(); i += 97) block[i] = '\n';
        for (int i = 0; i < 64; ++i) out << block;
    }
    for (auto _ : st) benchmark::DoNotOptimize(persistence::ReadSettings());
}
BENCHMARK(BM_ReadSettingsHugeGarbage)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
