#pragma once
// What the operator is told about the broker connection. Every change is a journal line; an
// outage (the broker unreachable, gone, or refusing the login) is reported once, however long it
// lasts and however often the client retries, and a new outage begins only after a connection
// has come up again.
#include <optional>
#include <string>

namespace telemetry {

struct LinkEvent {
    enum class Kind { Up, Down, Refused };
    Kind What = Kind::Down;
    int Code = 0; // Refused: the broker's CONNACK code
};

struct LinkNote {
    std::string Journal; // the detail of a journal line of kind "telemetry"
    std::string Report;  // empty, or a text for the general error report
};

class TLinkMonitor {
public:
    explicit TLinkMonitor(std::string broker) : broker_(std::move(broker)) {}

    // What to tell for this event; nothing when it changes nothing (a retry within an outage).
    std::optional<LinkNote> Feed(const LinkEvent& e);

private:
    std::string broker_;
    bool everUp_ = false;
    bool up_ = false;
    bool outage_ = false;
};

} // namespace telemetry
