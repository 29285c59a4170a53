#pragma once
// The settings a run report shows: the controller parameters, the limits, the cycle length and
// the two programs, as Regulator.ini holds them, with the sides' names and ports.
//
// The file holds today's settings. They are the run's own only when nothing has changed since;
// the report says which ("aktualni nastaveni" for today's).
//
// Optional keys read for the report alone, section "Protokol": "Pec" (the oven's or the
// workplace's name), "Strana1", "Strana2" (the sides' names; default "Strana 1", "Strana 2").
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

struct SideSettings {
    std::string Name;  // "Strana 1", or the name from "Protokol"
    std::string Port;  // "COM3"
    std::string r0, Ti, Td; // the side's own when it has them (OwnTuning), else the shared ones
    bool OwnTuning = false;
    std::string Standby; // t1 or t2: the setpoint held after the cycle's end
    std::string Limit;   // MaxT1 or MaxT2; empty: no limit
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

// One row of the settings table: what, and its value for side 1 and side 2.
struct SettingRow {
    std::string Label;
    std::string Side1;
    std::string Side2;
};
std::vector<SettingRow> SettingRows(const RunSettings& settings);

} // namespace report
