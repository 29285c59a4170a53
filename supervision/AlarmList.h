#pragma once
// The alarms as the operator meets them: which stand, since when, which the operator has
// acknowledged, what has ended lately, and when they are to be heard. The window tells the list,
// at every supervision pass, whether each safety condition of each side holds; the list says
// what began and what ended, and keeps what the alarm strip shows. A new safety state is one
// more kind, nothing else.
//
// An alarm begins when its condition first holds and stands while the condition holds. It ends
// when the condition has passed; a latched kind only once the operator has acknowledged it as
// well. An acknowledged alarm that still stands stays in the list (shown as acknowledged) and is
// no longer heard, unless its kind sounds until it ends. An ended alarm leaves a note saying so
// in words (the recovery); notes stay until the operator has seen them (AcknowledgeNotes) or the
// oldest falls off.
//
// The sound: while an alarm is to be heard, it is heard at once and then at most once per
// AlarmSoundInterval; a kind that sounds until it ends is heard also once acknowledged, and also
// with the sound set off. Times are passed in by the caller; nothing here reads a clock.
#include "platform/Clock.h"
#include "platform/Profile.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace supervision {

inline constexpr std::chrono::seconds AlarmSoundInterval{10};
inline constexpr std::size_t MaxAlarmNotes = 5;

// What kind of alarm a safety condition raises.
struct AlarmKind {
    std::string_view Name;         // the event journal's kind word ("stale", "port-lost", ...)
    std::string_view Short;        // its name in the status line ("bez teploty")
    bool Latched = false;          // stays after its condition has passed until acknowledged
    bool SoundsUntilEnded = false; // heard while it stands, even once acknowledged
};

struct Alarm {
    int Side = 0;                  // 1 or 2; 0 for the whole program
    std::string Kind;              // AlarmKind::Name
    std::string Short;             // AlarmKind::Short
    std::string Text;              // what it said when it began
    std::string EndText;           // what its end will say (latched, once the condition passed)
    platform::LocalDateTime Since; // when it began
    bool Holds = true;             // its condition holds still
    bool Acknowledged = false;
    bool Latched = false;
    bool SoundsUntilEnded = false;
};

// A line of information: an alarm that ended, or a warning that needs no acknowledgement.
struct AlarmNote {
    int Side = 0;
    platform::LocalDateTime Time;
    std::string Text;
    bool Warning = false; // a warning (drawn as one) rather than a recovery
};

enum class AlarmChange { None, Began, Ended };

class TAlarmList {
public:
    // Whether the condition of `kind` holds on the side at `now`. `text` is what a beginning
    // alarm says, `endText` what its end says (the note; empty: no note). Returns what changed.
    AlarmChange Set(int side, const AlarmKind& kind, bool holds, std::string_view text,
                    std::string_view endText, const platform::LocalDateTime& now);

    // The operator acknowledges the alarms of the side (0: of every side). Returns those newly
    // acknowledged, as they were; latched alarms whose condition has passed end (see Ended()).
    std::vector<Alarm> Acknowledge(int side, const platform::LocalDateTime& now);
    // The alarms that the last Acknowledge ended.
    const std::vector<Alarm>& Ended() const { return ended_; }

    // A note of the caller's own (a warning), newest first.
    void AddNote(int side, std::string text, bool warning, const platform::LocalDateTime& now);
    // The operator has seen the notes: they go.
    void AcknowledgeNotes() { notes_.clear(); }

    const std::vector<Alarm>& Alarms() const { return alarms_; }  // in the order they began
    const std::deque<AlarmNote>& Notes() const { return notes_; } // newest first
    bool Has(int side, std::string_view kind) const { return Find(side, kind) != nullptr; }
    // An alarm of the side stands that the operator has not acknowledged.
    bool Unacknowledged(int side) const;
    bool AnyUnacknowledged() const;
    // The short names of the side's alarms, joined by ", " (empty: none).
    std::string ShortText(int side) const;

    // The sides whose alarms are to be heard now (empty: no sound now). Sides come in ascending
    // order, 0 included when a program alarm is to be heard. Heard at once when an alarm is first
    // to be heard, then every AlarmSoundInterval while one is. `quiet` (the sound set off) leaves
    // only the kinds that sound until they end.
    std::vector<int> SoundDue(std::chrono::steady_clock::time_point now, bool quiet = false);

private:
    const Alarm* Find(int side, std::string_view kind) const;
    Alarm* Find(int side, std::string_view kind);
    void End(std::size_t i, const platform::LocalDateTime& now);
    static bool Audible(const Alarm& a, bool quiet) {
        return (a.SoundsUntilEnded && a.Holds) || (!quiet && !a.Acknowledged);
    }

    std::vector<Alarm> alarms_;
    std::vector<Alarm> ended_;
    std::deque<AlarmNote> notes_;
    std::optional<std::chrono::steady_clock::time_point> lastSound_;
};

// Section "Bezpecnost", key "Zvuk": 0 silences the alarms (the computer's bell and the units'
// buzzers) but those that sound until they end; 1, the default, lets them all be heard.
bool ReadAlarmSound(const platform::ProfileFile& settings);

// "14:05:03", with the day in front when it is not the day of `now`: "7.12. 14:05:03".
std::string AlarmTime(const platform::LocalDateTime& t, const platform::LocalDateTime& now);

} // namespace supervision
