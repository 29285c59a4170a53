#include "supervision/Supervisor.h"

#include <algorithm>
#include <cmath>

namespace supervision {

void TSupervisor::Begin(TimePoint now) {
    for (int side = 1; side <= 2; ++side) {
        Side& s = sides_[side];
        s.Last = now;
        s.HeaterOn = false;
        s.OffSince = now;
        s.OffTemperature.reset();
    }
}

void TSupervisor::Good(Side& s, TimePoint now) {
    s.Last = now;
    s.BadInRow = 0;
    s.GoodSinceBegin = true;
}

void TSupervisor::Fresh(int side, TimePoint now) {
    Side& s = sides_[side];
    Good(s, now);
    if (!s.HeaterOn) {
        s.OffSince = now;
        s.OffTemperature.reset();
    }
}

bool TSupervisor::Plausible(double value) const {
    return std::isfinite(value) && value >= limits_.PlausibleMin && value <= limits_.PlausibleMax;
}

void TSupervisor::Reported(int side, std::optional<double> value, TimePoint now) {
    Side& s = sides_[side];
    if (value && Plausible(*value)) {
        Good(s, now);
        return;
    }
    s.BadInRow = std::min(s.BadInRow + 1, SensorFaultReports);
}

void TSupervisor::HeaterCommanded(int side, bool on, double temperature, TimePoint now) {
    Side& s = sides_[side];
    if (on) {
        s.HeaterOn = true;
        s.OffTemperature.reset();
        return;
    }
    if (!s.HeaterOn) return; // still the same off period
    s.HeaterOn = false;
    s.OffSince = now;
    // The reference is the reading at the switch-off when it is current, else the first current
    // reading after it (Check takes it).
    if (Current(s)) {
        s.OffTemperature = temperature;
    } else {
        s.OffTemperature.reset();
    }
}

bool TSupervisor::CoolEnough(int side, double temperature) const {
    const auto& limit = limits_.MaxT[side];
    return !limit || temperature <= *limit - ReleaseMargin;
}

void TSupervisor::Latch(Side& s) {
    s.Acknowledged = false; // a new alarm needs its own acknowledgement
}

void TSupervisor::Unlatched(Side& s) {
    if (!s.Alarm && !s.RunawayThreshold && !s.SensorLatched) s.Acknowledged = false;
}

SideChanges TSupervisor::Check(int side, double temperature, TimePoint now) {
    Side& s = sides_[side];
    SideChanges changes;

    const bool old = limits_.MaxAge.count() > 0 && now - s.Last > limits_.MaxAge;
    if (old != s.Stale) {
        s.Stale = old;
        (old ? changes.BecameStale : changes.Recovered) = true;
    }

    // The reading is a real temperature (not the start-up value, not the 0 of a nonsense report).
    const bool reading = s.GoodSinceBegin && s.BadInRow == 0;
    if (!s.SensorFault && s.BadInRow >= SensorFaultReports) {
        s.SensorFault = true;
        changes.SensorFault = true;
    } else if (s.SensorFault && reading && (!s.SensorLatched || s.Acknowledged)) {
        s.SensorFault = false;
        s.SensorLatched = false;
        Unlatched(s);
    }

    const auto& limit = limits_.MaxT[side];
    if (reading && !s.Alarm && limit && temperature >= *limit) {
        s.Alarm = true;
        Latch(s);
        changes.OverTemperature = true;
    } else if (reading && s.Alarm && s.Acknowledged && CoolEnough(side, temperature)) {
        s.Alarm = false;
        changes.Released = true;
        Unlatched(s);
    }

    const bool current = Current(s);
    if (!s.HeaterOn && !s.OffTemperature && current) s.OffTemperature = temperature;
    if (!s.RunawayThreshold && limits_.RunawayRise > 0.0 && !s.HeaterOn && s.OffTemperature && current &&
        now - s.OffSince >= limits_.RunawayAfter && temperature > *s.OffTemperature + limits_.RunawayRise) {
        s.RunawayThreshold = *s.OffTemperature + limits_.RunawayRise;
        Latch(s);
        changes.Runaway = true;
    } else if (s.RunawayThreshold && s.Acknowledged && reading &&
               temperature <= *s.RunawayThreshold - ReleaseMargin) {
        s.RunawayThreshold.reset();
        Unlatched(s);
    }
    return changes;
}

AckResult TSupervisor::Acknowledge(int side, double temperature) {
    Side& s = sides_[side];
    if (!s.Alarm && !s.RunawayThreshold && !s.SensorLatched) return AckResult::NoAlarm;
    s.Acknowledged = true;
    // Released at the next check when every latch is cool (or its sensor sensible) already.
    const bool reading = s.GoodSinceBegin && s.BadInRow == 0;
    const bool cool = reading && (!s.Alarm || CoolEnough(side, temperature)) &&
                      (!s.RunawayThreshold || temperature <= *s.RunawayThreshold - ReleaseMargin);
    return cool ? AckResult::Released : AckResult::WaitsToCool;
}

bool TSupervisor::HeaterBlocked(int side) const {
    const Side& s = sides_[side];
    return s.Stale || s.SensorFault || s.Alarm || s.RunawayThreshold;
}

Latched TSupervisor::Latches(int side) const {
    const Side& s = sides_[side];
    return Latched{s.Alarm, s.RunawayThreshold, s.SensorFault};
}

void TSupervisor::Restore(int side, const Latched& latched) {
    Side& s = sides_[side];
    s.Alarm = s.Alarm || latched.OverTemperature;
    if (latched.RunawayThreshold) s.RunawayThreshold = latched.RunawayThreshold;
    if (latched.SensorFault) {
        s.SensorFault = true;
        s.SensorLatched = true;
    }
    if (latched.Any()) s.Acknowledged = false;
}

} // namespace supervision
