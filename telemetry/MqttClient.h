#pragma once
// The connection to the broker, over libmosquitto (Debian's libmosquitto1): a plain C client with
// a last will, TLS against the system's CA store, and nothing the program does not already have.
// The connection lives on a thread of this class, which runs the library's network loop.
//
// Nothing here waits on the network on the caller's thread. Publish() hands the message to the
// library, which queues it and returns; the connection's thread sends it (and looks the broker's
// name up). Every failure, whether the broker cannot be reached, refuses the login, fails the TLS
// handshake or drops the connection, is retried at growing intervals (1 s, 2 s, 4 s, ... at most
// 30 s apart; from 1 s again after a connection that came up), until Stop().
//
// While the connection is down, state messages (QoS 0) are dropped: the caller sends the state
// again once it is back. Events (QoS 1) wait in the library and go out after the reconnect; they
// are a few lines per cycle, so even a long outage keeps little.
//
// The connection's ups and downs arrive on the library's thread; they are kept here for the
// caller's thread to take (TakeLinkEvents), which is the only way they leave.
#include "telemetry/LinkMonitor.h"
#include "telemetry/Settings.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace telemetry {

class TMqttClient {
public:
    explicit TMqttClient(MqttSettings settings);
    ~TMqttClient(); // Stop()
    TMqttClient(const TMqttClient&) = delete;
    TMqttClient& operator=(const TMqttClient&) = delete;

    // Begins connecting; "offline" on <prefix>/status is left as the last will, and "online" is
    // published there (retained) at every connection. Returns at once.
    void Start();

    // Queues a message and returns. Never throws (but std::bad_alloc); a message the library
    // refuses is dropped.
    void Publish(const std::string& topic, const std::string& payload, int qos, bool retain);

    // When connected: publishes "offline", waits at most `grace` for the broker to acknowledge it,
    // then disconnects in order (so the broker does not send the last will as well). Then ends
    // the connection's thread whatever it is doing (connecting to a host that does not answer,
    // waiting to retry); one still looking the broker's name up is left to end by itself. Returns
    // within `grace` and 0.6 s more. Safe to call more than once.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(1000));

    // The link events since the last call, in order.
    std::vector<LinkEvent> TakeLinkEvents();

    bool Connected() const;

    // Shared by this object, the thread that begins the connection and the library's callbacks.
    struct Core;

private:
    MqttSettings settings_;
    std::shared_ptr<Core> core_;
    std::thread thread_; // the connection's thread; holds `core_` too
};

} // namespace telemetry
