#pragma once
// The one record of process state. The main window owns exactly one instance; only the
// user-interface thread touches it, so nothing here is locked.
#include "state/PerSide.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace state {

constexpr int SideCount = 2;
constexpr int MaxProgramPoints = 100;
constexpr int HeaterHistoryLength = 50;

// Receive parser states of a side's line.
constexpr std::uint8_t RxIdle = 0;
constexpr std::uint8_t RxInMessage = 10;

// The heater command of a side is the checked state of its "Topit" check box; the state holds
// a reference to that control through this small interface so the logic needs no widget.
class HeaterSwitchControl {
public:
    virtual ~HeaterSwitchControl() = default;
    virtual bool Checked() const = 0;
    // Setting the state it already has does nothing; a change runs the box's handler.
    virtual void SetChecked(bool on) = 0;
};

// The open data log. Implemented by the persistence library; the state only owns it.
class DataLogFile {
public:
    virtual ~DataLogFile() = default;
};

// A side's own controller parameters, which override the shared r0, Ti and Td for that side
// alone, and the coefficients of its model computed from them at the shared control period.
struct SideParameters {
    double r0 = 0.0;
    double Ti = 0.0;
    double Td = 0.0;
    double ModelGain = 0.0;
    double FastTau = 0.0;
    double SlowTau = 0.0;
    double FastDecay = 0.0;
    double SlowDecay = 0.0;
    double FastInput = 0.0;
    double SlowInput = 0.0;
};

struct SideRecord {
    double Temperature = 0.0;
    double FastLag = 0.0;
    double SlowLag = 0.0;
    double PredictedRise = 0.0;
    OneBased<bool, HeaterHistoryLength> HeaterHistory{}; // entry 1 newest, entry 50 oldest
    HeaterSwitchControl* HeaterSwitch = nullptr;         // set once at creation, not owned
};

struct RegulatorState {
    // Cycle and time base. The time base counts its 100 ms ticks as a whole number, so the
    // cycle time never drifts below the count it stands for (adding 0.1 a hundred times in
    // floating point gives 9.99999999999998, not 10).
    std::int64_t CycleTicks = 0;
    double CycleTime() const { return static_cast<double>(CycleTicks) / 10.0; }
    void ResetCycleTime() { CycleTicks = 0; }

    std::int32_t CycleLength = 0;
    bool BeepSent = false;
    bool CycleEnded = false;

    // Setpoints and controller parameters.
    PerSide<double> Setpoint{};
    double r0 = 0.0;
    double Ti = 0.0;
    double Td = 0.0;
    double Tvz = 0.0;
    double ControlPeriod = 0.0;
    double FastTau = 0.0;
    double SlowTau = 0.0;
    double ModelGain = 0.0;
    double FastDecay = 0.0;
    double SlowDecay = 0.0;
    double FastInput = 0.0;
    double SlowInput = 0.0;
    // Sides with parameters of their own; the others use the shared set above.
    PerSide<std::optional<SideParameters>> OwnParameters{};

    PerSide<SideRecord> SideState{};

    // Temperature programs.
    PerSide<OneBased<std::int32_t, MaxProgramPoints>> ProgramTime{};
    PerSide<OneBased<std::int32_t, MaxProgramPoints>> ProgramTemp{};
    PerSide<std::int32_t> ProgramCount{};
    PerSide<std::int32_t> ProgramStep{};

    // Data log and device link.
    bool LogOpen = false;
    std::unique_ptr<DataLogFile> LogFile;
    PerSide<std::string> RxLine{};
    PerSide<std::uint8_t> RxState{};
};

} // namespace state
