#pragma once
// What keeps a side safe when nobody watches it: the age of its last temperature and its
// temperature limit.
//
// Stale: every temperature that arrives for a side (a unit's report, or a simulation step) makes
// it fresh. When its age passes MaxAge the side is stale, and it stays stale until the next
// temperature arrives; then it recovers by itself. Ages count from Begin() until the first
// temperature comes.
//
// Over-temperature: when a side's temperature reaches its limit, the side's alarm is latched. It
// is released only when both hold: the temperature is at least ReleaseMargin below the limit, and
// the operator has acknowledged the alarm (in either order).
//
// While a side is stale or its alarm is latched its heater must stay off (HeaterBlocked). The
// monotonic time is passed in by the caller, so nothing here reads a clock.
#include "state/PerSide.h"

#include <chrono>
#include <optional>

namespace supervision {

using TimePoint = std::chrono::steady_clock::time_point;

// How far below its limit a latched side must cool before it may heat again, degC.
inline constexpr double ReleaseMargin = 5.0;
inline constexpr std::chrono::milliseconds DefaultMaxAge{10000};

struct Limits {
    std::chrono::milliseconds MaxAge = DefaultMaxAge; // 0: a side is never stale
    state::PerSide<std::optional<double>> MaxT{};     // empty: no temperature limit
};

// What a check found new on a side.
struct SideChanges {
    bool BecameStale = false;
    bool Recovered = false;       // temperatures arrive again
    bool OverTemperature = false; // the alarm has just been latched
    bool Released = false;        // the alarm was acknowledged and the side has cooled
};

enum class AckResult {
    NoAlarm,     // nothing to acknowledge
    WaitsToCool, // acknowledged; the side stays off until it has cooled
    Released,    // acknowledged and already cool: the side may heat again
};

class TSupervisor {
public:
    void SetLimits(const Limits& limits) { limits_ = limits; }
    const Limits& GetLimits() const { return limits_; }

    // Supervision starts: a side that has had no temperature yet counts its age from here.
    void Begin(TimePoint now);
    // A temperature for the side (1 or 2) arrived.
    void Fresh(int side, TimePoint now);
    // Judges the side's age and its temperature against the limits.
    SideChanges Check(int side, double temperature, TimePoint now);
    // The operator acknowledges the side's alarm.
    AckResult Acknowledge(int side, double temperature);

    bool Stale(int side) const { return sides_[side].Stale; }
    bool Alarm(int side) const { return sides_[side].Alarm; }
    bool Acknowledged(int side) const { return sides_[side].Acknowledged; }
    bool HeaterBlocked(int side) const { return Stale(side) || Alarm(side); }

private:
    struct Side {
        TimePoint Last{};
        bool Stale = false;
        bool Alarm = false;
        bool Acknowledged = false;
    };
    bool CoolEnough(int side, double temperature) const;

    Limits limits_{};
    state::PerSide<Side> sides_{};
};

} // namespace supervision
