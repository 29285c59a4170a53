#include "persistence/Settings.h"

#include "platform/ProgramDir.h"

#include <algorithm>
#include <system_error>

namespace persistence {
namespace {

constexpr std::string_view SettingsFileName = "Regulator.ini";

std::string ProgramSection(int side) { return "Prubeh" + std::to_string(side); }
std::string TimeKey(int n) { return "Cas" + std::to_string(n); }
std::string TempKey(int n) { return "Teplota" + std::to_string(n); }
std::string SideKey(std::string_view name, int side) { return std::string(name) + "_" + std::to_string(side); }

} // namespace

std::filesystem::path SettingsPath() {
    std::filesystem::path dir = platform::ProgramDir();
    std::error_code ec;
    auto absolute = std::filesystem::absolute(dir, ec);
    if (!ec) dir = absolute;
    // lexically_normal folds a trailing or doubled separator, so exactly one separator stands
    // between the folder and the file name.
    return dir.lexically_normal() / SettingsFileName;
}

platform::ProfileFile SettingsFile() { return platform::ProfileFile(SettingsPath()); }

StoredProgram ReadProgram(const platform::ProfileFile& file, int side) {
    StoredProgram p;
    const std::string section = ProgramSection(side);
    for (int n = 1; n <= state::MaxProgramPoints; ++n) {
        p.Time[n] = file.ReadInteger(section, TimeKey(n), -1);
        p.Temp[n] = file.ReadInteger(section, TempKey(n), -1);
        if (p.Time[n] == -1) return p;
        p.Count = n;
    }
    return p;
}

StoredSettings ReadSettings() {
    const platform::ProfileFile file = SettingsFile();
    file.RemoveLeftovers(); // what a write killed half way in an earlier run left beside the file
    StoredSettings s;
    s.Com1 = file.ReadString("Serial", "Com1", s.Com1);
    s.BaudRate1 = file.ReadString("Serial", "BaudRate", s.BaudRate1);
    s.Com2 = file.ReadString("Serial", "Com2", s.Com2);
    s.BaudRate2 = file.ReadString("Serial", "BaudRate", s.BaudRate2);

    s.Zadana1 = file.ReadString("Nastaveni", "Zadana1", s.Zadana1);
    s.Zadana2 = file.ReadString("Nastaveni", "Zadana2", s.Zadana2);
    s.DelkaCyklu = file.ReadString("Nastaveni", "DelkaCyklu", s.DelkaCyklu);

    s.r0 = file.ReadString("Regulace", "r0", s.r0);
    s.Ti = file.ReadString("Regulace", "Ti", s.Ti);
    s.Td = file.ReadString("Regulace", "Td", s.Td);
    s.Tvz = file.ReadString("Regulace", "Tvz", s.Tvz);
    s.T1 = file.ReadString("Regulace", "T1", s.T1);
    s.T2 = file.ReadString("Regulace", "T2", s.T2);
    for (int side = 1; side <= state::SideCount; ++side) {
        StoredSideParameters& own = s.SideParameters[side];
        own.r0 = file.ReadString("Regulace", SideKey("r0", side), {});
        own.Ti = file.ReadString("Regulace", SideKey("Ti", side), {});
        own.Td = file.ReadString("Regulace", SideKey("Td", side), {});
    }

    s.UkazKom = file.ReadBool("Nastaveni", "UkazKom", s.UkazKom);
    s.NaPrubeh = file.ReadBool("Nastaveni", "NaPrubeh", s.NaPrubeh);

    s.Programs[1] = ReadProgram(file, 1);
    s.Programs[2] = ReadProgram(file, 2);
    return s;
}

void WriteWindowSettings(std::string_view zadana1, std::string_view zadana2, std::string_view delkaCyklu,
                         bool simulace, bool ukazKom, bool naPrubeh) {
    const platform::ProfileFile file = SettingsFile();
    platform::ProfileWriteBatch batch(file); // the section changes in one step
    file.WriteString("Nastaveni", "Zadana1", zadana1);
    file.WriteString("Nastaveni", "Zadana2", zadana2);
    file.WriteString("Nastaveni", "DelkaCyklu", delkaCyklu);
    file.WriteBool("Nastaveni", "Simulace", simulace);
    file.WriteBool("Nastaveni", "UkazKom", ukazKom);
    file.WriteBool("Nastaveni", "NaPrubeh", naPrubeh);
    batch.Commit();
}

void WriteRegulatorSettings(std::string_view r0, std::string_view ti, std::string_view td, std::string_view tvz,
                            std::string_view t1, std::string_view t2) {
    const platform::ProfileFile file = SettingsFile();
    platform::ProfileWriteBatch batch(file); // the section changes in one step
    file.WriteString("Regulace", "r0", r0);
    file.WriteString("Regulace", "Ti", ti);
    file.WriteString("Regulace", "Td", td);
    file.WriteString("Regulace", "Tvz", tvz);
    file.WriteString("Regulace", "T1", t1);
    file.WriteString("Regulace", "T2", t2);
    batch.Commit();
}

void WriteSideParameters(int side, std::string_view r0, std::string_view ti, std::string_view td) {
    const platform::ProfileFile file = SettingsFile();
    platform::ProfileWriteBatch batch(file); // the three keys change in one step
    file.WriteString("Regulace", SideKey("r0", side), r0);
    file.WriteString("Regulace", SideKey("Ti", side), ti);
    file.WriteString("Regulace", SideKey("Td", side), td);
    batch.Commit();
}

void WriteSerialSettings(std::string_view com1, std::string_view com2, std::string_view baudRate) {
    const platform::ProfileFile file = SettingsFile();
    platform::ProfileWriteBatch batch(file); // the section changes in one step
    file.WriteString("Serial", "Com1", com1);
    file.WriteString("Serial", "Com2", com2);
    file.WriteString("Serial", "BaudRate", baudRate);
    batch.Commit();
}

void WritePrograms(const state::RegulatorState& s) {
    const platform::ProfileFile file = SettingsFile();
    platform::ProfileWriteBatch batch(file); // the section changes in one step
    for (int side = 1; side <= state::SideCount; ++side) {
        const std::string section = ProgramSection(side);
        file.EraseSection(section);
        const int count = std::clamp<int>(s.ProgramCount[side], 0, state::MaxProgramPoints);
        for (int n = 1; n <= count; ++n) {
            file.WriteInteger(section, TimeKey(n), s.ProgramTime[side][n]);
            file.WriteInteger(section, TempKey(n), s.ProgramTemp[side][n]);
        }
    }
    batch.Commit();
}

} // namespace persistence
