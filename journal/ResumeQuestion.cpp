#include "journal/ResumeQuestion.h"

#include "text/Duration.h"

#include <chrono>
#include <cstdio>

namespace journal {

platform::LocalDateTime LocalTimeBefore(const platform::LocalDateTime& t, std::int64_t seconds) {
    using namespace std::chrono;
    const sys_days day = year_month_day{year{t.Year}, month{static_cast<unsigned>(t.Month)},
                                        std::chrono::day{static_cast<unsigned>(t.Day)}};
    const sys_seconds at = day + hours{t.Hour} + minutes{t.Minute} + std::chrono::seconds{t.Second} -
                           std::chrono::seconds{seconds};
    const sys_days atDay = floor<days>(at);
    const year_month_day ymd{atDay};
    const hh_mm_ss<std::chrono::seconds> clock{at - atDay};
    return {static_cast<int>(ymd.year()),
            static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())),
            static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()),
            static_cast<int>(clock.seconds().count())};
}

std::string ResumeQuestionText(const RunEntry& entry, std::int64_t outageSeconds,
                               const platform::LocalDateTime& now) {
    const platform::LocalDateTime at = LocalTimeBefore(now, outageSeconds);
    char when[64];
    std::snprintf(when, sizeof when, "%d.%d.%d %02d:%02d:%02d", at.Day, at.Month, at.Year, at.Hour, at.Minute,
                  at.Second);
    const std::string cycleTime = numtext::DurationText(entry.CycleTicks / 10);
    return "Pokracovat v prerusenem cyklu?\n\nCyklus byl prerusen " + std::string(when) + " v case cyklu " +
           cycleTime + ", vypadek trval " + numtext::DurationText(outageSeconds) +
           ".\n\nAno: cyklus pokracuje od " + cycleTime +
           " se stejnymi programy a datovym souborem.\nNe: cyklus se ukonci, regulace zustane " +
           "vypnuta a topeni vypnuto, dokud obsluha nespusti novy cyklus.";
}

} // namespace journal
