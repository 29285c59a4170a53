#pragma once
// What keeps a side safe when nobody watches it: the age of its last temperature, whether its
// sensor says anything sensible, its temperature limit, and whether its heater obeys.
//
// Stale: every good temperature that arrives for a side (a unit's sensible report, or a
// simulation step) makes it fresh. When its age passes MaxAge the side is stale, and it stays
// stale until the next good temperature arrives; then it recovers by itself. Ages count from
// Begin() until the first temperature comes.
//
// Sensor fault: a report that is no number, or lies outside the plausible range, is no
// temperature: it does not make the side fresh, and after SensorFaultReports of them in a row the
// side is in sensor fault. The next good report ends the fault by itself.
//
// Over-temperature: when a side's temperature reaches its limit, the side's alarm is latched. It
// is released only when both hold: the temperature is at least ReleaseMargin below the limit, and
// the operator has acknowledged the alarm (in either order).
//
// Runaway: the heater has been commanded off, and RunawayAfter or more after that the side's
// temperature stands more than RunawayRise above where it was at the switch-off: the heater does
// not obey (a welded relay contact). Latched like the over-temperature, released when it has been
// acknowledged and the temperature is ReleaseMargin below the alarm's threshold again.
//
// While a side is stale, in sensor fault or one of its alarms is latched its heater must stay off
// (HeaterBlocked). The monotonic time is passed in by the caller, so nothing here reads a clock.
#include "state/PerSide.h"

#include <chrono>
#include <optional>

namespace supervision {

using TimePoint = std::chrono::steady_clock::time_point;

// How far below its limit a latched side must cool before it may heat again, degC.
inline constexpr double ReleaseMargin = 5.0;
inline constexpr std::chrono::milliseconds DefaultMaxAge{10000};
// Nonsense reports in a row that make a sensor fault.
inline constexpr int SensorFaultReports = 3;
inline constexpr double DefaultPlausibleMin = -50.0;
inline constexpr double DefaultPlausibleMax = 1500.0;
inline constexpr double DefaultRunawayRise = 10.0;
inline constexpr std::chrono::milliseconds DefaultRunawayAfter{120000};

struct Limits {
    std::chrono::milliseconds MaxAge = DefaultMaxAge; // 0: a side is never stale
    state::PerSide<std::optional<double>> MaxT{};     // empty: no temperature limit
    double PlausibleMin = DefaultPlausibleMin;        // a report outside [min, max] is no temperature
    double PlausibleMax = DefaultPlausibleMax;
    double RunawayRise = DefaultRunawayRise;          // degC; 0: no runaway watch
    std::chrono::milliseconds RunawayAfter = DefaultRunawayAfter;
};

// What a check found new on a side.
struct SideChanges {
    bool BecameStale = false;
    bool Recovered = false;       // temperatures arrive again
    bool OverTemperature = false; // the alarm has just been latched
    bool Released = false;        // the alarm was acknowledged and the side has cooled
    bool SensorFault = false;     // nonsense reports: the fault has begun
    bool Runaway = false;         // the heater does not obey: latched
};

enum class AckResult {
    NoAlarm,     // nothing to acknowledge
    WaitsToCool, // acknowledged; the side stays off until it has cooled
    Released,    // acknowledged and already cool: the side may heat again
};

// A side's latched alarms, as the run journal keeps them across a crash.
struct Latched {
    bool OverTemperature = false;
    std::optional<double> RunawayThreshold; // the runaway's threshold, when one stands
    bool SensorFault = false;
    bool Any() const { return OverTemperature || RunawayThreshold || SensorFault; }
    bool operator==(const Latched&) const = default;
};

class TSupervisor {
public:
    void SetLimits(const Limits& limits) { limits_ = limits; }
    const Limits& GetLimits() const { return limits_; }

    // Supervision starts: a side that has had no temperature yet counts its age from here, and
    // its heater counts as off from here.
    void Begin(TimePoint now);
    // A simulation step for the side (1 or 2): a good temperature, from a plant that obeys its
    // heater, so the runaway watch starts over.
    void Fresh(int side, TimePoint now);
    // A unit's temperature report arrived: its value, or nothing when it was no number. A value
    // in the plausible range is a good temperature; anything else counts towards a sensor fault.
    void Reported(int side, std::optional<double> value, TimePoint now);
    // Whether the value is a temperature the sensor can sensibly report.
    bool Plausible(double value) const;
    // The heater command the side's unit was just given; `temperature` is the side's reading.
    void HeaterCommanded(int side, bool on, double temperature, TimePoint now);
    // Judges the side's age, its sensor, its temperature against the limit and its heater.
    SideChanges Check(int side, double temperature, TimePoint now);
    // The operator acknowledges the side's latched alarms.
    AckResult Acknowledge(int side, double temperature);

    bool Stale(int side) const { return sides_[side].Stale; }
    bool SensorFault(int side) const { return sides_[side].SensorFault; }
    bool Alarm(int side) const { return sides_[side].Alarm; }
    bool Runaway(int side) const { return sides_[side].RunawayThreshold.has_value(); }
    bool HeaterBlocked(int side) const;
    // The side's last report was nonsense (not yet, or no longer, a sensor fault).
    bool LastReportNonsense(int side) const { return sides_[side].BadInRow > 0; }

    // The latched alarms, and the same brought back after a restart (not acknowledged).
    Latched Latches(int side) const;
    void Restore(int side, const Latched& latched);

private:
    struct Side {
        TimePoint Last{};
        bool Stale = false;
        int BadInRow = 0;
        bool GoodSinceBegin = false;
        bool SensorFault = false;
        bool SensorLatched = false; // brought back after a restart: ends only when acknowledged
        bool Alarm = false;
        std::optional<double> RunawayThreshold;
        bool Acknowledged = false;
        bool HeaterOn = false;
        TimePoint OffSince{};
        std::optional<double> OffTemperature;
    };
    bool CoolEnough(int side, double temperature) const;
    bool Current(const Side& s) const { return s.GoodSinceBegin && s.BadInRow == 0 && !s.Stale; }
    void Good(Side& s, TimePoint now);
    void Latch(Side& s);
    void Unlatched(Side& s);

    Limits limits_{};
    state::PerSide<Side> sides_{};
};

} // namespace supervision
