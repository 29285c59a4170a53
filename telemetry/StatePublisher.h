#pragma once
// Which state messages a display refresh sends. The side values go out when their text changes
// and again every 10 s (a dashboard sees that the program is alive even when nothing moves);
// the cycle's values go out when they change. "Changed" is judged on the text as published, so
// a temperature that moves by less than the last decimal sends nothing.
//
// Topics, under the prefix:
//   side/1/temperature, side/1/setpoint  "148.3" (one decimal, a point)
//   side/1/heater                        "1" on, "0" off
//   side/2/...                           the same for side 2
//   cycle/time                           whole seconds, as the window shows beside "Cas:" ("12"),
//                                        so it changes once a second
//   cycle/length                         whole seconds ("180")
//   cycle/state                          "idle", "running" or "holding"
#include "telemetry/Payload.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace telemetry {

struct SideValues {
    double Temperature = 0.0;
    double Setpoint = 0.0;
    bool Heater = false;
};

// The state one refresh sees.
struct Snapshot {
    std::array<SideValues, 2> Sides{}; // side 1, side 2
    double CycleTime = 0.0;            // seconds
    std::int32_t CycleLength = 0;      // seconds
    CycleState Cycle = CycleState::Idle;
};

inline constexpr std::chrono::seconds RepeatEvery{10};

class TStatePublisher {
public:
    // Receives each message to send: the full topic and the payload.
    using Sink = std::function<void(const std::string& topic, const std::string& payload)>;

    TStatePublisher(const std::string& prefix, Sink sink);

    // Sends what is due for this refresh.
    void Publish(const Snapshot& s, std::chrono::steady_clock::time_point now);

    // The next Publish sends every topic again (the broker may have lost what it kept).
    void Invalidate();

private:
    struct Topic {
        std::string Name;
        bool Repeats = false; // every RepeatEvery as well as on change
        std::string Last;
        std::chrono::steady_clock::time_point At{};
        bool Sent = false;
    };
    void Offer(Topic& t, const std::string& text, std::chrono::steady_clock::time_point now);

    Sink sink_;
    std::array<Topic, 9> topics_;
};

} // namespace telemetry
