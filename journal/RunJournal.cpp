#include "journal/RunJournal.h"

#include "journal/EventJournal.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/ProgramDir.h"
#include "text/NumText.h"
#include "state/RegulatorState.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <map>
#include <system_error>

namespace journal {

namespace {

// The file never needs more than a few hundred bytes; anything much longer is no journal.
constexpr std::size_t MaxJournalBytes = 16 * 1024;

// Keys in the order they are written.
constexpr std::string_view KeyVersion = "Verze";
constexpr std::string_view KeyFinished = "Ukonceno";
constexpr std::string_view KeyWallTime = "Zapsano";
constexpr std::string_view KeyLocalTime = "Cas";
constexpr std::string_view KeyCycleTime = "CasCyklu";
constexpr std::string_view KeyCycleLength = "DelkaCyklu";
constexpr std::string_view KeyBeepSent = "Pipnuto";
constexpr std::string_view KeyCycleEnded = "KonecCyklu";
constexpr std::string_view KeyRegulovat = "Regulovat";
constexpr std::string_view KeyNaPrubeh = "NaPrubeh";
constexpr std::string_view KeyStep1 = "Krok1";
constexpr std::string_view KeyStep2 = "Krok2";
constexpr std::string_view KeySetpoint1 = "Zadana1";
constexpr std::string_view KeySetpoint2 = "Zadana2";
constexpr std::string_view KeyDataLog = "DataLog";

constexpr std::string_view KeyOverTemperature1 = "Prehrati1";
constexpr std::string_view KeyRunaway1 = "Unik1";
constexpr std::string_view KeySensorFault1 = "Cidlo1";
constexpr std::string_view KeyOverTemperature2 = "Prehrati2";
constexpr std::string_view KeyRunaway2 = "Unik2";
constexpr std::string_view KeySensorFault2 = "Cidlo2";

constexpr std::string_view AllKeys[] = {KeyVersion,     KeyFinished,   KeyWallTime,   KeyLocalTime, KeyCycleTime,
                                        KeyCycleLength, KeyBeepSent,   KeyCycleEnded, KeyRegulovat, KeyNaPrubeh,
                                        KeyStep1,       KeyStep2,      KeySetpoint1,  KeySetpoint2, KeyDataLog};
// Since version 2.
constexpr std::string_view AlarmKeys[] = {KeyOverTemperature1, KeyRunaway1,         KeySensorFault1,
                                          KeyOverTemperature2, KeyRunaway2,         KeySensorFault2};
constexpr int FirstVersion = 1;

std::string Flag(bool on) { return on ? "1" : "0"; }

void Line(std::string& out, std::string_view key, std::string_view value) {
    out += key;
    out += '=';
    out += value;
    out += "\r\n";
}

// A data log's name is a plain file name in the data folder: nothing that leads elsewhere.
bool PlainFileName(std::string_view name) {
    if (name == "." || name == "..") return false;
    for (char c : name) {
        if (c == '/' || c == '\\' || c == '\0' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

struct Problem {
    std::string Text;
};

class Fields {
public:
    explicit Fields(std::map<std::string, std::string, std::less<>> values) : values_(std::move(values)) {}

    const std::string& Text(std::string_view key) const { return values_.find(key)->second; }

    std::int64_t Integer(std::string_view key, std::int64_t min, std::int64_t max) const {
        const std::string& text = Text(key);
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc{} || end != text.data() + text.size()) throw Bad(key);
        if (value < min || value > max) throw Bad(key);
        return value;
    }

    bool FlagValue(std::string_view key) const {
        const std::string& text = Text(key);
        if (text == "1") return true;
        if (text == "0") return false;
        throw Bad(key);
    }

    double Number(std::string_view key) const {
        const auto value = numtext::ParseFloat(Text(key));
        if (!value || !std::isfinite(*value)) throw Bad(key);
        return *value;
    }

    static Problem Bad(std::string_view key) { return {"chybna hodnota " + std::string(key)}; }

private:
    std::map<std::string, std::string, std::less<>> values_;
};

RunJournalRead Broken(std::string problem) {
    RunJournalRead read;
    read.State = RunJournalRead::Status::Broken;
    read.Problem = std::move(problem);
    return read;
}

} // namespace

std::int64_t EpochSeconds(std::chrono::system_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

std::string RunEntryText(const RunEntry& e) {
    std::string out = "; Regulace teploty: stav behu cyklu\r\n";
    Line(out, KeyVersion, numtext::FormatInt(RunJournalVersion));
    Line(out, KeyFinished, Flag(e.Finished));
    Line(out, KeyWallTime, numtext::FormatInt(e.WallTime));
    Line(out, KeyLocalTime, FormatTime(platform::LocalNow()));
    Line(out, KeyCycleTime, numtext::FormatFloat(static_cast<double>(e.CycleTicks) / 10.0));
    Line(out, KeyCycleLength, numtext::FormatInt(e.CycleLength));
    Line(out, KeyBeepSent, Flag(e.BeepSent));
    Line(out, KeyCycleEnded, Flag(e.CycleEnded));
    Line(out, KeyRegulovat, Flag(e.Regulovat));
    Line(out, KeyNaPrubeh, Flag(e.NaPrubeh));
    Line(out, KeyStep1, numtext::FormatInt(e.ProgramStep1));
    Line(out, KeyStep2, numtext::FormatInt(e.ProgramStep2));
    Line(out, KeySetpoint1, numtext::FormatFloat(e.Setpoint1));
    Line(out, KeySetpoint2, numtext::FormatFloat(e.Setpoint2));
    Line(out, KeyDataLog, PlainFileName(e.DataLog) ? e.DataLog : std::string());
    for (int side = 1; side <= 2; ++side) {
        const SideAlarms& a = e.Alarms(side);
        Line(out, side == 1 ? KeyOverTemperature1 : KeyOverTemperature2, Flag(a.OverTemperature));
        Line(out, side == 1 ? KeyRunaway1 : KeyRunaway2,
             a.RunawayThreshold ? numtext::FormatFloat(*a.RunawayThreshold) : std::string());
        Line(out, side == 1 ? KeySensorFault1 : KeySensorFault2, Flag(a.SensorFault));
    }
    return out;
}

RunJournalRead ParseRunEntry(std::string_view text) {
    std::map<std::string, std::string, std::less<>> values;
    bool first = true;
    int version = RunJournalVersion;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3); // saved by an editor that marks UTF-8
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == ';') continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) return Broken("radek bez '=': " + std::string(line.substr(0, 40)));
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        if (first) {
            if (key != KeyVersion) return Broken("chybi verze");
            version = 0;
            for (int v = FirstVersion; v <= RunJournalVersion; ++v) {
                if (value == numtext::FormatInt(v)) version = v;
            }
            if (version == 0) return Broken("jina verze (" + std::string(value) + ")");
            first = false;
        }
        bool known = false;
        for (std::string_view k : AllKeys) known = known || k == key;
        for (std::string_view k : AlarmKeys) known = known || (version >= 2 && k == key);
        if (!known) return Broken("neznamy klic " + std::string(key.substr(0, 40)));
        if (!values.emplace(std::string(key), std::string(value)).second) return Broken("dvakrat " + std::string(key));
    }
    for (std::string_view k : AllKeys) {
        if (values.find(k) == values.end()) return Broken(values.empty() ? "prazdny soubor" : "chybi " + std::string(k));
    }
    for (std::string_view k : AlarmKeys) {
        if (version >= 2 && values.find(k) == values.end()) return Broken("chybi " + std::string(k));
    }
    try {
        const Fields f(std::move(values));
        RunJournalRead read;
        read.State = RunJournalRead::Status::Ok;
        RunEntry& e = read.Entry;
        e.Finished = f.FlagValue(KeyFinished);
        e.WallTime = f.Integer(KeyWallTime, 0, INT64_MAX / 2);
        const double cycleTime = f.Number(KeyCycleTime);
        // Ten years of cycle time is more than any cycle; the bound keeps the ticks in range.
        if (cycleTime < 0 || cycleTime > 10.0 * 366 * 24 * 3600) throw Fields::Bad(KeyCycleTime);
        e.CycleTicks = std::llround(cycleTime * 10.0);
        e.CycleLength = static_cast<std::int32_t>(f.Integer(KeyCycleLength, INT32_MIN, INT32_MAX));
        e.BeepSent = f.FlagValue(KeyBeepSent);
        e.CycleEnded = f.FlagValue(KeyCycleEnded);
        e.Regulovat = f.FlagValue(KeyRegulovat);
        e.NaPrubeh = f.FlagValue(KeyNaPrubeh);
        e.ProgramStep1 = static_cast<std::int32_t>(f.Integer(KeyStep1, 0, state::MaxProgramPoints));
        e.ProgramStep2 = static_cast<std::int32_t>(f.Integer(KeyStep2, 0, state::MaxProgramPoints));
        e.Setpoint1 = f.Number(KeySetpoint1);
        e.Setpoint2 = f.Number(KeySetpoint2);
        e.DataLog = f.Text(KeyDataLog);
        if (!PlainFileName(e.DataLog)) throw Fields::Bad(KeyDataLog);
        if (version >= 2) {
            for (int side = 1; side <= 2; ++side) {
                SideAlarms& a = e.Alarms(side);
                a.OverTemperature = f.FlagValue(side == 1 ? KeyOverTemperature1 : KeyOverTemperature2);
                const std::string_view runaway = side == 1 ? KeyRunaway1 : KeyRunaway2;
                if (!f.Text(runaway).empty()) a.RunawayThreshold = f.Number(runaway);
                a.SensorFault = f.FlagValue(side == 1 ? KeySensorFault1 : KeySensorFault2);
            }
        }
        return read;
    } catch (const Problem& p) {
        return Broken(p.Text);
    }
}

RunJournalRead ReadRunJournal(const std::filesystem::path& file) {
    std::string text;
    try {
        text = platform::ReadSmallFile(file, MaxJournalBytes);
    } catch (const std::system_error& e) {
        // No journal, or no data folder to hold one.
        if (e.code() == std::errc::no_such_file_or_directory || e.code() == std::errc::not_a_directory) return {};
        if (e.code() == std::errc::file_too_large) return Broken("soubor je prilis dlouhy");
        return Broken(e.code().message());
    }
    return ParseRunEntry(text);
}

void WriteRunJournal(const std::filesystem::path& file, const RunEntry& entry) {
    platform::ReplaceFile(file, RunEntryText(entry));
}

std::filesystem::path RunJournalPath() { return platform::ProgramDir() / "Data" / "Regulator.run"; }

ResumeSettings ReadResumeSettings(const platform::ProfileFile& settings) {
    ResumeSettings r;
    r.MaxOutage = settings.ReadInteger("Bezpecnost", "MaxVypadek", r.MaxOutage);
    r.WithoutAsking = settings.ReadBool("Bezpecnost", "Pokracovat", r.WithoutAsking);
    return r;
}

ResumeChoice DecideResume(const RunEntry& entry, std::chrono::system_clock::time_point now,
                          const ResumeSettings& settings) {
    if (entry.Finished) return ResumeChoice::Nothing;
    const std::int64_t outage = EpochSeconds(now) - entry.WallTime;
    if (settings.MaxOutage <= 0 || outage < 0 || outage >= settings.MaxOutage) return ResumeChoice::TooOld;
    return settings.WithoutAsking ? ResumeChoice::Continue : ResumeChoice::Ask;
}

// ---- The writer.

void TRunJournal::Update(const RunEntry& now, bool force) {
    const bool alarmsChanged = last_ ? now.Alarms1 != last_->Alarms1 || now.Alarms2 != last_->Alarms2
                                     : now.Alarms1 != SideAlarms{} || now.Alarms2 != SideAlarms{};
    if (now.Finished) {
        // Latched alarms are kept also when no cycle runs: a restart must not release them.
        if (!last_ && !alarmsChanged) return;
        if (last_ && last_->Finished && !unwritten_ && !alarmsChanged) return;
    } else {
        const bool due = !last_ || last_->Finished || unwritten_ || now.CycleTicks < last_->CycleTicks ||
                         now.CycleTicks - last_->CycleTicks >= 10 || now.DataLog != last_->DataLog ||
                         alarmsChanged;
        if (!due && !force) return;
    }
    Write(now);
    // Kept also when the write failed (the next update tries again).
    last_ = now;
    if (!now.Finished) wroteCycle_ = true;
}

void TRunJournal::Finish(RunEntry found) {
    found.Finished = true;
    Write(found);
    // Kept, so that a failed write is tried again at the next update.
    if (unwritten_) last_ = found;
}

void TRunJournal::Write(const RunEntry& entry) {
    try {
        WriteRunJournal(file_, entry);
        unwritten_ = false;
        outage_.Succeeded();
    } catch (const std::system_error& error) {
        unwritten_ = true;
        outage_.Failed("Zapis stavu cyklu selhal: " + file_.string() + " (" + error.code().message() + ")");
    }
}

std::optional<std::string> TRunJournal::TakeFailure() {
    return outage_.Take();
}

} // namespace journal
