// The resume question's time of the interruption: the local time an outage ago, across the
// ends of days, months and years.
#include "journal/ResumeQuestion.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(ResumeQuestion, TheInterruptionLiesAnOutageBeforeNow) {
    struct Case {
        platform::LocalDateTime now;
        std::int64_t seconds;
        platform::LocalDateTime expected;
    };
    const Case cases[] = {
        {{2026, 12, 8, 13, 45, 0}, 37, {2026, 12, 8, 13, 44, 23}},
        {{2027, 3, 1, 0, 0, 10}, 20, {2027, 2, 28, 23, 59, 50}},
        {{2028, 3, 1, 0, 0, 10}, 20, {2028, 2, 29, 23, 59, 50}},
        {{2027, 1, 1, 0, 5, 0}, 3600, {2026, 12, 31, 23, 5, 0}},
        {{2027, 1, 1, 0, 5, 0}, 0, {2027, 1, 1, 0, 5, 0}},
    };
    for (const Case& c : cases) {
        const auto t = journal::LocalTimeBefore(c.now, c.seconds);
        EXPECT_EQ((std::array{t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second}),
                  (std::array{c.expected.Year, c.expected.Month, c.expected.Day, c.expected.Hour,
                              c.expected.Minute, c.expected.Second}))
            << c.seconds;
    }
}

} // namespace
