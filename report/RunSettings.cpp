#include "report/RunSettings.h"

#include "persistence/Settings.h"
#include "platform/Profile.h"
#include "supervision/SafetySettings.h"

#include <algorithm>
#include <system_error>

namespace report {
namespace {

constexpr std::string_view ReportSection = "Protokol";

std::string Side(std::string_view key, int side) {
    return std::string(key) + "_" + std::to_string(side);
}

} // namespace

RunSettings ReadRunSettings(const std::filesystem::path& ini) {
    RunSettings r;
    const persistence::StoredSettings defaults;
    std::error_code ec;
    r.Found = std::filesystem::is_regular_file(ini, ec);
    const platform::ProfileFile file(ini);
    r.Oven = file.ReadString(ReportSection, "Pec", "");
    r.Tvz = file.ReadString("Regulace", "Tvz", defaults.Tvz);
    r.CycleLength = file.ReadString("Nastaveni", "DelkaCyklu", defaults.DelkaCyklu);
    const std::string r0 = file.ReadString("Regulace", "r0", defaults.r0);
    const std::string ti = file.ReadString("Regulace", "Ti", defaults.Ti);
    const std::string td = file.ReadString("Regulace", "Td", defaults.Td);
    const supervision::SafetySettings safety = supervision::ReadSafetySettings(file);
    for (int side = 1; side <= 2; ++side) {
        SideSettings& s = r.Side(side);
        const std::string number = std::to_string(side);
        s.Name = file.ReadString(ReportSection, "Strana" + number, "");
        if (s.Name.empty()) s.Name = "Strana " + number;
        s.Port = file.ReadString("Serial", "Com" + number, side == 1 ? defaults.Com1 : defaults.Com2);
        // A side's own tuning, where it has one, stands for the shared one.
        s.r0 = file.ReadString("Regulace", Side("r0", side), "");
        s.Ti = file.ReadString("Regulace", Side("Ti", side), "");
        s.Td = file.ReadString("Regulace", Side("Td", side), "");
        s.OwnTuning = !s.r0.empty() || !s.Ti.empty() || !s.Td.empty();
        if (s.r0.empty()) s.r0 = r0;
        if (s.Ti.empty()) s.Ti = ti;
        if (s.Td.empty()) s.Td = td;
        s.Standby = file.ReadString("Regulace", "T" + number, side == 1 ? defaults.T1 : defaults.T2);
        s.Limit = supervision::ReadLimitText(side == 1 ? safety.MaxT1 : safety.MaxT2).Text;
        const persistence::StoredProgram p = persistence::ReadProgram(file, side);
        for (int n = 1; n <= p.Count; ++n)
            s.Program.push_back({p.Time[n], p.Temp[n]});
        // As the window runs it: sorted by time.
        std::stable_sort(s.Program.begin(), s.Program.end(),
                         [](const ProgramPoint& a, const ProgramPoint& b) { return a.Time < b.Time; });
    }
    return r;
}

std::vector<SettingRow> SettingRows(const RunSettings& r) {
    auto each = [&](std::string label, auto value) {
        return SettingRow{std::move(label), value(r.Side1), value(r.Side2)};
    };
    auto both = [](std::string label, const std::string& value) { return SettingRow{std::move(label), value, value}; };
    auto tuning = [](const std::string& value, const SideSettings& s) {
        return s.OwnTuning ? value + " (vlastni)" : value;
    };
    return {
        each("Port", [](const SideSettings& s) { return s.Port; }),
        each("r0", [&](const SideSettings& s) { return tuning(s.r0, s); }),
        each("Ti [s]", [&](const SideSettings& s) { return tuning(s.Ti, s); }),
        each("Td [s]", [&](const SideSettings& s) { return tuning(s.Td, s); }),
        both("Tvz [s]", r.Tvz),
        both("Delka cyklu [s]", r.CycleLength),
        each("Teplota po konci cyklu (t1, t2) [\u00b0C]", [](const SideSettings& s) { return s.Standby; }),
        each("Mez teploty (Tmax) [\u00b0C]",
             [](const SideSettings& s) { return s.Limit.empty() ? std::string("bez meze") : s.Limit; }),
    };
}

} // namespace report
