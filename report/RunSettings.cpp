#include "report/RunSettings.h"

#include "persistence/Settings.h"
#include "platform/Profile.h"
#include "supervision/SafetySettings.h"
#include "text/NumText.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <system_error>
#include <tuple>

namespace report {
namespace {

constexpr std::string_view ReportSection = "Protokol";

std::string Side(std::string_view key, int side) {
    return std::string(key) + "_" + std::to_string(side);
}

// A change of a value: "what: before -> after".
struct ValueChange {
    std::string_view What, Before, After;
};
std::optional<ValueChange> ParseValueChange(std::string_view detail) {
    const auto colon = detail.find(": ");
    if (colon == std::string_view::npos) return std::nullopt;
    const auto arrow = detail.find(" -> ", colon + 2);
    if (arrow == std::string_view::npos) return std::nullopt;
    return ValueChange{detail.substr(0, colon), detail.substr(colon + 2, arrow - colon - 2),
                       detail.substr(arrow + 4)};
}

// A program point added or deleted: "Prubeh 1: bod 600 s, 150 pridan" (or "smazan").
struct PointChange {
    int Side = 0;
    ProgramPoint Point;
    bool Added = false;
};
std::optional<PointChange> ParsePointChange(std::string_view detail) {
    constexpr std::string_view Head = "Prubeh ";
    if (detail.substr(0, Head.size()) != Head || detail.size() < Head.size() + 1) return std::nullopt;
    PointChange c;
    c.Side = detail[Head.size()] - '0';
    std::string_view rest = detail.substr(Head.size() + 1);
    constexpr std::string_view Point = ": bod ";
    if ((c.Side != 1 && c.Side != 2) || rest.substr(0, Point.size()) != Point) return std::nullopt;
    rest.remove_prefix(Point.size());
    const char* p = rest.data();
    const char* end = p + rest.size();
    auto number = [&](std::int32_t& value) {
        const auto [after, ec] = std::from_chars(p, end, value);
        if (ec != std::errc{} || after == p) return false;
        p = after;
        return true;
    };
    auto word = [&](std::string_view w) {
        if (std::string_view(p, static_cast<std::size_t>(end - p)).substr(0, w.size()) != w) return false;
        p += w.size();
        return true;
    };
    if (!number(c.Point.Time) || !word(" s, ") || !number(c.Point.Temp)) return std::nullopt;
    if (word(" pridan")) {
        c.Added = true;
    } else if (!word(" smazan")) {
        return std::nullopt;
    }
    return p == end ? std::optional<PointChange>(c) : std::nullopt;
}

// Values as the window writes them and as the file holds them: the same number, or the same text.
bool Same(std::string_view a, std::string_view b) {
    const auto x = numtext::ParseFloat(a), y = numtext::ParseFloat(b);
    return x && y ? *x == *y : a == b;
}

// Puts back the value before the change; false when today's value is not the change's result.
bool Undo(std::string& value, std::string_view before, std::string_view after) {
    if (!Same(value, after)) return false;
    value = std::string(before);
    return true;
}

// A limit as the journal writes it: "bez meze" for none.
std::string_view LimitValue(std::string_view text) {
    return text == "bez meze" ? std::string_view() : text;
}

// Undoes one change record; false when it does not fit the settings.
bool UndoOne(RunSettings& r, std::string_view detail) {
    if (const auto point = ParsePointChange(detail)) {
        std::vector<ProgramPoint>& program = r.Side(point->Side).Program;
        if (point->Added) {
            const auto at = std::find(program.begin(), program.end(), point->Point);
            if (at == program.end()) return false;
            program.erase(at);
        } else {
            program.insert(std::upper_bound(
                               program.begin(), program.end(), point->Point,
                               [](const ProgramPoint& a, const ProgramPoint& b) { return a.Time < b.Time; }),
                           point->Point);
        }
        return true;
    }
    const auto c = ParseValueChange(detail);
    if (!c) return true; // no setting the report shows
    const std::string_view what = c->What;
    if (what == "Tvz") return Undo(r.Tvz, c->Before, c->After);
    if (what == "Doba cyklu") return Undo(r.CycleLength, c->Before, c->After);
    for (int side = 1; side <= 2; ++side) {
        SideSettings& s = r.Side(side);
        const std::string number = std::to_string(side);
        if (what == "t" + number) return Undo(s.Standby, c->Before, c->After);
        if (what == "Tmax" + number) return Undo(s.Limit, LimitValue(c->Before), LimitValue(c->After));
        if (what == "Port " + number) {
            auto name = [](std::string_view v) { return v.substr(0, v.find(',')); };
            return Undo(s.Port, name(c->Before), name(c->After));
        }
        for (auto [key, tuning] : {std::pair{"r0", &s.r0}, std::pair{"Ti", &s.Ti}, std::pair{"Td", &s.Td}}) {
            if (what == std::string(key) + "_" + number)
                return tuning->Own && Undo(tuning->Value, c->Before, c->After);
        }
    }
    // The shared parameter stands for the sides without one of their own.
    for (auto [key, tuning1, tuning2] :
         {std::tuple{"r0", &r.Side1.r0, &r.Side2.r0}, std::tuple{"Ti", &r.Side1.Ti, &r.Side2.Ti},
          std::tuple{"Td", &r.Side1.Td, &r.Side2.Td}}) {
        if (what != key) continue;
        for (Tuning* t : {tuning1, tuning2}) {
            if (!t->Own && !Undo(t->Value, c->Before, c->After)) return false;
        }
        return true;
    }
    return true;
}

} // namespace

void UndoChangesSince(RunSettings& settings, const std::vector<LoggedEvent>& changes, LocalSeconds start) {
    settings.AsOfRun = false;
    if (!settings.Found) return;
    const bool recording = std::any_of(changes.begin(), changes.end(), [start](const LoggedEvent& e) {
        return e.Kind == ChangeKind && e.Time <= start;
    });
    if (!recording) return;
    RunSettings then = settings;
    for (auto e = changes.rbegin(); e != changes.rend(); ++e) {
        if (e->Kind == ChangeKind && e->Time > start && !UndoOne(then, e->Detail)) return; // today's stay
    }
    settings = std::move(then);
    settings.AsOfRun = true;
}

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
        // A side's own parameter, where it has one, stands for the shared one.
        for (auto [key, tuning, shared] :
             {std::tuple{"r0", &s.r0, &r0}, std::tuple{"Ti", &s.Ti, &ti}, std::tuple{"Td", &s.Td, &td}}) {
            tuning->Value = file.ReadString("Regulace", Side(key, side), "");
            tuning->Own = !tuning->Value.empty();
            if (!tuning->Own) tuning->Value = *shared;
        }
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
    auto both = [](std::string label, const std::string& value) {
        return SettingRow{std::move(label), value, value};
    };
    auto tuning = [](const Tuning& t) { return t.Own ? t.Value + " (vlastni)" : t.Value; };
    return {
        each("Port", [](const SideSettings& s) { return s.Port; }),
        each("r0", [&](const SideSettings& s) { return tuning(s.r0); }),
        each("Ti [s]", [&](const SideSettings& s) { return tuning(s.Ti); }),
        each("Td [s]", [&](const SideSettings& s) { return tuning(s.Td); }),
        both("Tvz [s]", r.Tvz),
        both("Delka cyklu [s]", r.CycleLength),
        each("Teplota po konci cyklu (t1, t2) [\u00b0C]", [](const SideSettings& s) { return s.Standby; }),
        each("Mez teploty (Tmax) [\u00b0C]",
             [](const SideSettings& s) { return s.Limit.empty() ? std::string("bez meze") : s.Limit; }),
    };
}

} // namespace report
