#pragma once
// The run journal: "Regulator.run" in the data folder (beside the data logs, so that in a shared
// installation the next operator of the group can continue a cycle), what the program needs to
// continue a heating cycle after a crash or a power cut. While a cycle runs it is rewritten (at
// most once a second) with the cycle time, the cycle length, the beep and end flags, each side's program step
// and setpoint, the state of "Regulovat" and "Na prubeh", the name of the current data log and the
// wall-clock time of the entry. Stop, the end of a cycle and a normal close mark it finished; a
// journal found unfinished at start-up tells of a cycle that was interrupted.
//
// The file is plain text the operator can read, one "Key=Value" line each (lines starting with
// ";" are comments), the format's version first:
//
//   ; Regulace teploty: stav behu cyklu
//   Verze=1
//   Ukonceno=0
//   Zapsano=1796738400
//   Cas=2026-12-08 13:40:00
//   CasCyklu=1234,5
//   DelkaCyklu=3600
//   Pipnuto=0
//   KonecCyklu=0
//   Regulovat=1
//   NaPrubeh=1
//   Krok1=3
//   Krok2=2
//   Zadana1=150
//   Zadana2=120,5
//   DataLog=data_08_12_26__13_19.txt
//   Prehrati1=0
//   Unik1=
//   Cidlo1=0
//   Prehrati2=1
//   Unik2=
//   Cidlo2=0
//
// "Zapsano" is the entry's wall-clock time in seconds since the epoch; "Cas" is the same as local
// time, for the reader only. Numbers use the decimal comma, flags are "1" or "0". The last six keys
// are the sides' latched alarms, kept so that a crash never releases them: "Prehrati" the
// over-temperature alarm, "Unik" the runaway alarm's threshold in degC (empty: none), "Cidlo" the
// sensor fault. A journal of version 1 (without them) is still read, with no alarms.
//
// Every rewrite replaces the whole file in one atomic step (platform::ReplaceFile), so a kill at
// any moment leaves the previous or the new entry, never a broken one. Only another operator's
// journal in a sticky shared folder, which may not be replaced, is rewritten in place; a kill in
// that rewrite may leave it broken, and a broken journal is reported and resumes nothing.
#include "journal/Outage.h"
#include "platform/Profile.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace journal {

inline constexpr int RunJournalVersion = 2;

// A side's latched alarms at the time of the entry.
struct SideAlarms {
    bool OverTemperature = false;
    std::optional<double> RunawayThreshold; // degC; empty: no runaway alarm
    bool SensorFault = false;

    bool operator==(const SideAlarms&) const = default;
};

// One entry: the state of a cycle at one moment.
struct RunEntry {
    bool Finished = false;          // the cycle was stopped, ended or the program closed normally
    std::int64_t WallTime = 0;      // when the entry was written, seconds since the epoch
    std::int64_t CycleTicks = 0;    // the cycle time in time-base ticks of 0.1 s
    std::int32_t CycleLength = 0;   // s
    bool BeepSent = false;
    bool CycleEnded = false;
    bool Regulovat = false;         // "Regulovat" checked
    bool NaPrubeh = false;          // "Na prubeh" checked
    std::int32_t ProgramStep1 = 0;
    std::int32_t ProgramStep2 = 0;
    double Setpoint1 = 0.0;
    double Setpoint2 = 0.0;
    std::string DataLog;            // file name of the data log in the data folder; empty: none open
    SideAlarms Alarms1;
    SideAlarms Alarms2;

    SideAlarms& Alarms(int side) { return side == 1 ? Alarms1 : Alarms2; }
    const SideAlarms& Alarms(int side) const { return side == 1 ? Alarms1 : Alarms2; }

    bool operator==(const RunEntry&) const = default;
};

// The file's text for the entry (the local time line from platform::LocalNow()).
std::string RunEntryText(const RunEntry& entry);

// What reading the journal found.
struct RunJournalRead {
    enum class Status { Missing, Broken, Ok };
    Status State = Status::Missing;
    RunEntry Entry;          // when Ok
    std::string Problem;     // when Broken: what is wrong, in the operator's words
};

// Reads an entry from the file's text. Every key of its version must be there once with a value
// of its form; unknown keys, another version and any line of another form make the journal Broken.
RunJournalRead ParseRunEntry(std::string_view text);

// Reads the journal file: Missing when there is none, Broken when it cannot be read or parsed.
// Never throws (but std::bad_alloc).
RunJournalRead ReadRunJournal(const std::filesystem::path& file);

// Writes the entry atomically. Throws std::system_error; the old file is then unchanged.
void WriteRunJournal(const std::filesystem::path& file, const RunEntry& entry);

// ProgramDir()/"Data"/"Regulator.run".
std::filesystem::path RunJournalPath();

// Seconds since the epoch.
std::int64_t EpochSeconds(std::chrono::system_clock::time_point t);

// ---- What to do with an unfinished cycle found at start-up.

// Section "Bezpecnost": "MaxVypadek", the longest outage after which a cycle is continued, in
// seconds (default 600; 0 or less: never continue), and "Pokracovat" (1: continue without asking,
// for unattended machines; default 0).
struct ResumeSettings {
    std::int32_t MaxOutage = 600;
    bool WithoutAsking = false;
};
ResumeSettings ReadResumeSettings(const platform::ProfileFile& settings);

enum class ResumeChoice {
    Nothing,  // no unfinished cycle
    TooOld,   // unfinished, but away too long (or the clock went back): start afresh
    Ask,      // ask the operator
    Continue, // continue without asking
};

// The outage is `now` minus the entry's time; it must be shorter than MaxOutage. A clock that
// went back (now before the entry) tells nothing of how long the program was away: too old.
ResumeChoice DecideResume(const RunEntry& entry, std::chrono::system_clock::time_point now,
                          const ResumeSettings& settings);

// ---- The writer, as the window uses it.

class TRunJournal {
public:
    explicit TRunJournal(std::filesystem::path file) : file_(std::move(file)) {}

    // Brings the journal up to date with `now` (Finished set when no cycle runs). While a cycle
    // runs the entry is written when the last one written is a second of cycle time old, when the
    // cycle time went back (a new cycle), when its alarms changed or when `force` is set; once the
    // cycle no longer runs, the last entry of this session is written once more, finished, and
    // again whenever the latched alarms change (they outlast a restart, cycle or not). A write
    // that failed is tried again at every following update, so a stopped cycle never stays
    // unfinished in the file. Never throws: a failure is kept for TakeFailure.
    void Update(const RunEntry& now, bool force);

    // Marks an entry that this session did not write (the one found at start-up) finished; a
    // failed write is tried again at the following updates.
    void Finish(RunEntry found);

    // True once this session has written a running cycle.
    bool WroteCycle() const { return wroteCycle_; }

    // The text of a write failure not handed out yet; handed out once per outage.
    std::optional<std::string> TakeFailure();

    const std::filesystem::path& Path() const { return file_; }

private:
    void Write(const RunEntry& entry);

    std::filesystem::path file_;
    std::optional<RunEntry> last_; // the last entry written by this session
    bool unwritten_ = false;       // the last write failed
    bool wroteCycle_ = false;
    TOutage outage_;
};

} // namespace journal
