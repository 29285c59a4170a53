#pragma once
// The program's telemetry: its live state and its events published to an MQTT broker, for
// dashboards and notifiers elsewhere. Off unless section "MQTT" of the settings names a broker
// (Settings.h); when off, nothing of it exists and no thread runs. Read-only: it subscribes to
// nothing.
//
// Topics under the prefix ("regulator/<computer name>" by default):
//   status       "online" at every connection, "offline" at a normal exit and, as the last
//                will, when the program vanishes (retained)
//   side/N/...   temperature, setpoint, heater (StatePublisher.h), retained
//   cycle/...    time, length, state (StatePublisher.h), retained
//   event        one JSON object per journal event (Payload.h: EventJson), not retained
//
// Everything here is called on the user-interface thread and returns without waiting on the
// network: messages are queued and sent by the client library's own thread.
#include "journal/EventJournal.h"
#include "telemetry/LinkMonitor.h"
#include "telemetry/MqttClient.h"
#include "telemetry/Settings.h"
#include "telemetry/StatePublisher.h"

#include <chrono>
#include <memory>
#include <vector>

namespace telemetry {

class TTelemetry {
public:
    // Started telemetry, or nullptr when the settings leave it off.
    static std::unique_ptr<TTelemetry> Start(const MqttSettings& settings);

    explicit TTelemetry(const MqttSettings& settings); // does not connect yet
    ~TTelemetry();                                     // Stop()

    // What the operator is to be told about the connection since the last call. A connection
    // that has come up (again) makes the next Refresh send the whole state.
    std::vector<LinkNote> TakeLinkNotes();

    // A display refresh: sends what changed (and the side values every 10 s).
    void Refresh(const Snapshot& s, std::chrono::steady_clock::time_point now);

    // A journal event, sent on <prefix>/event.
    void PublishEvent(const journal::Event& e);

    // "offline", disconnect, and the library's thread ended; bounded even with the broker gone.
    void Stop();

    TMqttClient& Client() { return client_; }

private:
    TMqttClient client_;
    TStatePublisher state_;
    TLinkMonitor link_;
    std::string eventTopic_;
};

} // namespace telemetry
