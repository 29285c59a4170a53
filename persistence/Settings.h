#pragma once
// The settings file Regulator.ini beside the executable: read once at start, and written a
// section at a time by the operation that applies its settings. Every read and write is one
// key on the file itself (platform/Profile.h); nothing is cached here either.
//
// Sections and keys: "Serial" (Com1, BaudRate, Com2), "Nastaveni" (Zadana1, Zadana2, DelkaCyklu,
// UkazKom, NaPrubeh, and Simulace, which is written at exit but never read: simulation always
// starts off), "Regulace" (r0, Ti, Td, Tvz, T1, T2, and a side's own r0_<side>, Ti_<side>,
// Td_<side> when it has them), "Prubeh1" and "Prubeh2" (Cas<n>, Teplota<n> for the points
// n = 1, 2, ...). Texts are stored exactly as the edit boxes show them.
#include "platform/Profile.h"
#include "state/PerSide.h"
#include "state/RegulatorState.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace persistence {

// The program folder, one separator and "Regulator.ini"; absolute, computed afresh each call.
std::filesystem::path SettingsPath();

// The settings file at SettingsPath().
platform::ProfileFile SettingsFile();

// One side's temperature program as stored: points 1..Count in file order.
struct StoredProgram {
    std::int32_t Count = 0;
    state::OneBased<std::int32_t, state::MaxProgramPoints> Time{};
    state::OneBased<std::int32_t, state::MaxProgramPoints> Temp{};
};

// A side's own controller parameters as stored; all empty when it has none.
struct StoredSideParameters {
    std::string r0;
    std::string Ti;
    std::string Td;
};

// Everything read at start, with the defaults a missing file, section or key gives.
struct StoredSettings {
    // "Serial". The one "BaudRate" key is read twice, once for each port.
    std::string Com1 = "COM3";
    std::string BaudRate1 = "4800";
    std::string Com2 = "COM4";
    std::string BaudRate2 = "4800";
    // "Nastaveni"
    std::string Zadana1 = "150";
    std::string Zadana2 = "150";
    std::string DelkaCyklu = "180";
    // "Regulace"
    std::string r0 = "0,01995";
    std::string Ti = "31,5";
    std::string Td = "2,35";
    std::string Tvz = "5";
    std::string T1 = "180";
    std::string T2 = "180";
    state::PerSide<StoredSideParameters> SideParameters{}; // r0_1, Ti_1, Td_1, r0_2, Ti_2, Td_2
    // "Nastaveni"
    bool UkazKom = false;
    bool NaPrubeh = false;
    // "Prubeh1", "Prubeh2"
    state::PerSide<StoredProgram> Programs{};
};

// Reads the whole file in the start-up order: "Serial", the texts of "Nastaveni", "Regulace",
// the two check boxes, program 1, program 2. A missing or unreadable file and values of the
// wrong form give the defaults, silently; nothing here throws but std::bad_alloc. First removes
// the temporary files a write killed half way in an earlier run left beside the file.
StoredSettings ReadSettings();

// Reads one side's program from "Prubeh<side>": point n has the integers "Cas<n>" and
// "Teplota<n>", default -1. The first point whose time reads -1 (missing, not an integer or
// stored as -1) ends the program and is not counted. Reading stops after point 100 (the size
// of the tables); points beyond it in a hand-edited file are not read.
StoredProgram ReadProgram(const platform::ProfileFile& file, int side);

// The writers. Each writes its keys in the order of its parameters; the first key the file
// system refuses throws platform::EProfileWrite ("Unable to write to <path>") and the keys after
// it are not written.

// "Nastaveni", at exit: the texts of the two setpoints and the cycle length, then the check
// boxes "Simulace", "Ukaz vse" and "Na prubeh" as "1" or "0".
void WriteWindowSettings(std::string_view zadana1, std::string_view zadana2, std::string_view delkaCyklu,
                         bool simulace, bool ukazKom, bool naPrubeh);

// "Regulace", after the parameters were applied: the texts of r0, Ti, Td, Tvz, t1 and t2.
void WriteRegulatorSettings(std::string_view r0, std::string_view ti, std::string_view td, std::string_view tvz,
                            std::string_view t1, std::string_view t2);

// "Regulace", when a side gets parameters of its own: r0_<side>, Ti_<side>, Td_<side>, in one
// replacement of the file. Empty texts take the side's own set away.
void WriteSideParameters(int side, std::string_view r0, std::string_view ti, std::string_view td);

// "Serial", when port numbers are applied: both port names, then the one shared baud rate text.
void WriteSerialSettings(std::string_view com1, std::string_view com2, std::string_view baudRate);

// Erases "Prubeh1" and writes ProgramCount[1] points from the tables (Cas, then Teplota of
// each point), then the same for "Prubeh2". A program without points leaves no section.
void WritePrograms(const state::RegulatorState& s);

} // namespace persistence
