#pragma once
// A real Mosquitto broker for tests, started on a free loopback port from the mosquitto Debian
// package (/usr/sbin/mosquitto), and a subscriber that collects what arrives. The broker is this
// test's child process: Kill() and Start() again take it away and bring it back on the same port.
// It logs every connection to a file of its own (Connections()).
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace testsupport {

class TTestBroker {
public:
    // Starts the broker; Running() tells whether it came up (mosquitto missing: false).
    // With `refuseLogins`, it admits nobody (every CONNECT is answered "not authorised").
    // With `tls`, it speaks TLS only, with a certificate for 127.0.0.1 made for it (openssl)
    // that no system trusts (CertificateFile()).
    explicit TTestBroker(bool refuseLogins = false, bool tls = false);
    ~TTestBroker(); // Kill()

    bool Start(); // on Port(); waits until it accepts connections (at most a few seconds)
    void Kill();  // SIGKILL, and waits for the process
    bool Running() const { return pid_ > 0; }
    int Port() const { return port_; }
    std::string CertificateFile() const { return dir_ + "/cert.pem"; }

    static bool Installed();

    // The connections (or attempts at one) the broker has seen since it was made.
    int Connections() const;
    // Waits until it has seen `count` of them; false on timeout.
    bool WaitForConnections(int count, std::chrono::milliseconds timeout);

private:
    std::string dir_;
    bool refuseLogins_ = false;
    bool tls_ = false;
    int probes_ = 0; // connections of its own, made to see that it runs
    int port_ = 0;
    pid_t pid_ = -1;
};

struct TMessage {
    std::string Topic;
    std::string Payload;
    bool Retained = false;
};

// Subscribes to `filter` on the broker at 127.0.0.1:port and keeps every message.
class TSubscriber {
public:
    TSubscriber(int port, const std::string& filter);
    ~TSubscriber();
    TSubscriber(const TSubscriber&) = delete;
    TSubscriber& operator=(const TSubscriber&) = delete;

    bool Subscribed(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Waits until a message satisfies `match` (it may have arrived already); false on timeout.
    bool WaitFor(const std::function<bool(const TMessage&)>& match,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The same for a topic (with the payload, when given).
    bool WaitFor(const std::string& topic, const std::string& payload = {},
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));

    std::vector<TMessage> Messages() const;
    std::vector<TMessage> On(const std::string& topic) const;
    void Clear();

private:
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* m);
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*);
    mosquitto* mosq_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<TMessage> messages_;
    bool subscribed_ = false;
};

} // namespace testsupport
