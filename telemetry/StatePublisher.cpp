#include "telemetry/StatePublisher.h"

#include <cmath>
#include <utility>

namespace telemetry {

namespace {
enum : std::size_t { Temp1, Set1, Heat1, Temp2, Set2, Heat2, Time, Length, State };
}

TStatePublisher::TStatePublisher(const std::string& prefix, Sink sink) : sink_(std::move(sink)) {
    const char* names[] = {"side/1/temperature", "side/1/setpoint", "side/1/heater",
                           "side/2/temperature", "side/2/setpoint", "side/2/heater",
                           "cycle/time",         "cycle/length",    "cycle/state"};
    for (std::size_t i = 0; i < topics_.size(); ++i) {
        topics_[i].Name = prefix + "/" + names[i];
        topics_[i].Repeats = i <= Heat2;
    }
}

void TStatePublisher::Offer(Topic& t, const std::string& text, std::chrono::steady_clock::time_point now) {
    if (t.Sent && text == t.Last && !(t.Repeats && now - t.At >= RepeatEvery)) return;
    t.Last = text;
    t.At = now;
    t.Sent = true;
    sink_(t.Name, t.Last);
}

void TStatePublisher::Publish(const Snapshot& s, std::chrono::steady_clock::time_point now) {
    for (std::size_t side = 0; side < 2; ++side) {
        const SideValues& v = s.Sides[side];
        const std::size_t base = side * 3;
        Offer(topics_[base + Temp1], NumberText(v.Temperature), now);
        Offer(topics_[base + Set1], NumberText(v.Setpoint), now);
        Offer(topics_[base + Heat1], v.Heater ? "1" : "0", now);
    }
    Offer(topics_[Time], std::to_string(static_cast<long long>(std::trunc(s.CycleTime))), now);
    Offer(topics_[Length], std::to_string(s.CycleLength), now);
    Offer(topics_[State], std::string(CycleStateName(s.Cycle)), now);
}

void TStatePublisher::Invalidate() {
    for (Topic& t : topics_)
        t.Sent = false;
}

} // namespace telemetry
