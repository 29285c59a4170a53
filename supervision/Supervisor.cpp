#include "supervision/Supervisor.h"

namespace supervision {

void TSupervisor::Begin(TimePoint now) {
    for (int side = 1; side <= 2; ++side)
        sides_[side].Last = now;
}

void TSupervisor::Fresh(int side, TimePoint now) {
    sides_[side].Last = now;
}

bool TSupervisor::CoolEnough(int side, double temperature) const {
    const auto& limit = limits_.MaxT[side];
    return !limit || temperature <= *limit - ReleaseMargin;
}

SideChanges TSupervisor::Check(int side, double temperature, TimePoint now) {
    Side& s = sides_[side];
    SideChanges changes;

    const bool old = limits_.MaxAge.count() > 0 && now - s.Last > limits_.MaxAge;
    if (old != s.Stale) {
        s.Stale = old;
        (old ? changes.BecameStale : changes.Recovered) = true;
    }

    const auto& limit = limits_.MaxT[side];
    if (!s.Alarm && limit && temperature >= *limit) {
        s.Alarm = true;
        s.Acknowledged = false;
        changes.OverTemperature = true;
    } else if (s.Alarm && s.Acknowledged && CoolEnough(side, temperature)) {
        s.Alarm = false;
        s.Acknowledged = false;
        changes.Released = true;
    }
    return changes;
}

AckResult TSupervisor::Acknowledge(int side, double temperature) {
    Side& s = sides_[side];
    if (!s.Alarm) return AckResult::NoAlarm;
    s.Acknowledged = true;
    if (!CoolEnough(side, temperature)) return AckResult::WaitsToCool;
    s.Alarm = false;
    s.Acknowledged = false;
    return AckResult::Released;
}

} // namespace supervision
