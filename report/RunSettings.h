#pragma once
// The settings a run report shows: the controller parameters, the limits, the cycle length and
// the two programs, as Regulator.ini holds them, with the sides' names and ports.
//
// The file holds today's settings. The event journal records the operator's changes ("change"
// records, "r0: 0,01995 -> 0,025", "Prubeh 1: bod 600 s, 150 pridan"); undone back to the run's
// start, they give the run's own settings. Where they cannot (no such records yet by the run's
// start, a record that does not fit the file), the report says that it shows today's
// ("aktualni nastaveni").
//
// Optional keys read for the report alone, section "Protokol": "Pec" (the oven's or the
// workplace's name), "Strana1", "Strana2" (the sides' names; default "Strana 1", "Strana 2").
#include "report/EventLog.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace report {

struct ProgramPoint {
    std::int32_t Time = 0; // s
    std::int32_t Temp = 0; // degC
    bool operator==(const ProgramPoint&) const = default;
};

// A controller parameter of a side: its own ("r0_1"), or else the shared one ("r0").
struct Tuning {
    std::string Value;
    bool Own = false;
};

struct SideSettings {
    std::string Name; // "Strana 1", or the name from "Protokol"
    std::string Port; // "COM3"
    Tuning r0, Ti, Td;
    std::string Standby;               // t1 or t2: the setpoint held after the cycle's end
    std::string Limit;                 // MaxT1 or MaxT2; empty: no limit
    std::vector<ProgramPoint> Program; // in time order
};

struct RunSettings {
    bool Found = false;   // a settings file was read
    bool AsOfRun = false; // the values are those in force at the run's start (else today's)
    std::string Oven;     // "Protokol" "Pec"; empty: none
    std::string Tvz, CycleLength;
    SideSettings Side1, Side2;

    const SideSettings& Side(int side) const { return side == 1 ? Side1 : Side2; }
    SideSettings& Side(int side) { return side == 1 ? Side1 : Side2; }
};

// The settings in `ini` (Regulator.ini). A missing or unreadable file gives Found = false and
// the program's defaults. Never throws (but std::bad_alloc).
RunSettings ReadRunSettings(const std::filesystem::path& ini);

// The kind of the journal's change records.
inline constexpr std::string_view ChangeKind = "change";

// Brings today's settings back to the run's start (`start`, to the second): undoes, latest first,
// the change records in `changes` (all the journal holds, in file order) made after that second.
// Sets AsOfRun when every record to undo fits the settings and the journal already recorded
// changes by the run's start; records of settings the report does not show are passed over.
void UndoChangesSince(RunSettings& settings, const std::vector<LoggedEvent>& changes, LocalSeconds start);

// One row of the settings table: what, and its value for side 1 and side 2.
struct SettingRow {
    std::string Label;
    std::string Side1;
    std::string Side2;
};
std::vector<SettingRow> SettingRows(const RunSettings& settings);

} // namespace report
