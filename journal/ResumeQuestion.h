#pragma once
// The question asked at start-up when a cycle was interrupted: when it was interrupted, at what
// cycle time, how long the program was away, and what each answer does.
#include "journal/RunJournal.h"
#include "platform/Clock.h"

#include <cstdint>
#include <string>

namespace journal {

// The local date and time `seconds` before `t` (calendar arithmetic; a change of daylight
// saving time in between is not accounted for).
platform::LocalDateTime LocalTimeBefore(const platform::LocalDateTime& t, std::int64_t seconds);

// The question's text for the entry, the program having been away `outageSeconds` until
// `now` (local time).
std::string ResumeQuestionText(const RunEntry& entry, std::int64_t outageSeconds,
                               const platform::LocalDateTime& now);

} // namespace journal
