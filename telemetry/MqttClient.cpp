#include "telemetry/MqttClient.h"

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

namespace telemetry {

namespace {

// A broker that loses sight of the program (the computer off, the cable out) gives the last will
// 15 s later; a program that ends without a word on a live connection gets it at once.
constexpr int KeepAliveSeconds = 10;
constexpr std::chrono::seconds RetryFirst{1};
constexpr std::chrono::seconds RetryMax{30};
// How long the connection's thread waits on the network at a time: it looks at Stop() between.
constexpr int LoopWaitMs = 100;
// An orderly exit: after the acknowledgement of "offline" (or the grace), the disconnect itself
// is written at once; this bounds the wait for it.
constexpr std::chrono::milliseconds DisconnectWait{600};
constexpr std::size_t MaxEarly = 256; // messages published before the first connection was begun
constexpr std::size_t MaxEvents = 64; // link events not yet taken
constexpr std::size_t MaxAcks = 64;   // acknowledgements kept for Stop to look at
constexpr std::string_view Online = "online";
constexpr std::string_view Offline = "offline";
constexpr const char* SystemCaFolder = "/etc/ssl/certs"; // Debian's ca-certificates

std::once_flag gLibraryInit;

int Length(std::string_view s) {
    return static_cast<int>(s.size());
}

} // namespace

struct TMqttClient::Core {
    struct Pending {
        std::string Topic, Payload;
        int Qos = 0;
        bool Retain = false;
    };

    ~Core() {
        if (Mosq != nullptr) mosquitto_destroy(Mosq);
    }

    std::string StatusTopic;
    mosquitto* Mosq = nullptr;

    std::mutex Mutex;
    std::condition_variable Changed;
    bool Begun = false;             // the first connection was begun (or failed to be)
    bool StopRequested = false;     // Stop(): the thread ends as soon as it may
    bool Ended = false;             // the thread is done with the library
    std::atomic<bool> Ready{false}; // begun: Publish goes straight to the library
    std::vector<Pending> Early;     // published before that, sent once begun
    std::vector<LinkEvent> Events;
    std::vector<int> Acked; // message ids the broker has acknowledged, the latest last
    std::atomic<bool> Connected{false};
    bool WasUp = false; // the current attempt came up: the next retry starts the back-off afresh
    std::atomic<bool> OfflineSent{false}; // Stop() has published "offline"

    void Push(LinkEvent e) {
        if (Events.size() < MaxEvents) Events.push_back(e);
    }
    void Send(const std::string& topic, const std::string& payload, int qos, bool retain) {
        mosquitto_publish(Mosq, nullptr, topic.c_str(), Length(payload), payload.data(), qos, retain);
    }

    static void OnConnect(mosquitto* mosq, void* self, int rc) {
        auto* c = static_cast<Core*>(self);
        if (rc == 0) {
            mosquitto_publish(mosq, nullptr, c->StatusTopic.c_str(), Length(Online), Online.data(), 1, true);
            c->Connected = true;
        }
        std::lock_guard lock(c->Mutex);
        if (rc == 0) c->WasUp = true;
        c->Push(rc == 0 ? LinkEvent{LinkEvent::Kind::Up, 0} : LinkEvent{LinkEvent::Kind::Refused, rc});
    }

    // Every end of a connection or of an attempt at one (refused, a failed TLS handshake, a
    // lost line) comes here, with rc 0 only for the orderly disconnect.
    static void OnDisconnect(mosquitto*, void* self, int rc) {
        auto* c = static_cast<Core*>(self);
        {
            std::lock_guard lock(c->Mutex);
            c->Connected = false;
            if (rc != 0) c->Push({LinkEvent::Kind::Down, rc});
        }
        c->Changed.notify_all();
    }

    static void OnPublish(mosquitto*, void* self, int mid) {
        auto* c = static_cast<Core*>(self);
        {
            std::lock_guard lock(c->Mutex);
            if (c->Acked.size() >= MaxAcks) c->Acked.erase(c->Acked.begin());
            c->Acked.push_back(mid);
        }
        c->Changed.notify_all();
    }

    // Waits for the back-off before the next attempt; false when Stop() came meanwhile.
    bool Pause(std::chrono::seconds delay) {
        std::unique_lock lock(Mutex);
        return !Changed.wait_for(lock, delay, [&] { return StopRequested; });
    }

    bool Stopping() {
        std::lock_guard lock(Mutex);
        return StopRequested;
    }

    // The connection's thread. Every attempt that fails, however it fails (the name lookup, a
    // refused connection, a failed TLS handshake, a refused login) and every lost connection is
    // retried after a pause that doubles from 1 s up to 30 s, and starts at 1 s again once a
    // connection has come up. The library's own retry loop gives up for good after some of these
    // (a failed TLS handshake among them), so the retries are kept here.
    static void Run(const std::shared_ptr<Core>& c, const MqttSettings& s) {
        std::chrono::seconds delay = RetryFirst;
        for (bool first = true;; first = false) {
            // The name lookup inside may take a while; Stop() does not wait for it. Each attempt
            // begins as the first did.
            const int rc = mosquitto_connect_async(c->Mosq, s.Host.c_str(), s.Port, KeepAliveSeconds);
            {
                std::lock_guard lock(c->Mutex);
                if (first) {
                    c->Begun = true;
                    for (const Pending& p : c->Early)
                        c->Send(p.Topic, p.Payload, p.Qos, p.Retain);
                    c->Early.clear();
                    c->Ready = true;
                }
                if (rc != MOSQ_ERR_SUCCESS) c->Push({LinkEvent::Kind::Down, rc});
                c->WasUp = false;
            }
            c->Changed.notify_all();
            if (rc == MOSQ_ERR_SUCCESS) {
                // Until the connection or the attempt ends; after Stop() only as long as the
                // orderly disconnect takes to go out.
                bool leaving = false;
                int loop = MOSQ_ERR_SUCCESS;
                while ((loop = mosquitto_loop(c->Mosq, LoopWaitMs, 1)) == MOSQ_ERR_SUCCESS) {
                    if (!c->Stopping()) continue;
                    if (!c->Connected) break;
                    if (!leaving) {
                        leaving = true;
                        // Connected too late for Stop() to say it: "offline" goes before the
                        // disconnect all the same.
                        if (!c->OfflineSent)
                            mosquitto_publish(c->Mosq, nullptr, c->StatusTopic.c_str(), Length(Offline),
                                              Offline.data(), 1, true);
                        mosquitto_disconnect(c->Mosq);
                    }
                }
                // A TLS handshake that fails inside the loop ends it without a disconnect
                // callback; a second word of a loss the callback told changes nothing.
                if (loop != MOSQ_ERR_SUCCESS && !c->Stopping()) {
                    std::lock_guard lock(c->Mutex);
                    c->Push({LinkEvent::Kind::Down, loop});
                }
            }
            bool wasUp = false;
            {
                std::lock_guard lock(c->Mutex);
                wasUp = c->WasUp;
            }
            if (wasUp) delay = RetryFirst;
            if (c->Stopping() || !c->Pause(delay)) break;
            delay = std::min(delay * 2, RetryMax);
        }
        {
            std::lock_guard lock(c->Mutex);
            c->Ended = true;
            c->Connected = false;
        }
        c->Changed.notify_all();
    }
};

TMqttClient::TMqttClient(MqttSettings settings) : settings_(std::move(settings)) {}

TMqttClient::~TMqttClient() {
    Stop();
}

void TMqttClient::Start() {
    if (core_) return;
    std::call_once(gLibraryInit, [] { mosquitto_lib_init(); });
    auto c = std::make_shared<Core>();
    c->StatusTopic = settings_.Prefix + "/status";
    c->Mosq = mosquitto_new(nullptr, true, c.get());
    if (c->Mosq == nullptr) return;
    // The connection runs on a thread of ours (Run); calls from other threads only queue.
    mosquitto_threaded_set(c->Mosq, true);
    mosquitto_connect_callback_set(c->Mosq, &Core::OnConnect);
    mosquitto_disconnect_callback_set(c->Mosq, &Core::OnDisconnect);
    mosquitto_publish_callback_set(c->Mosq, &Core::OnPublish);
    mosquitto_will_set(c->Mosq, c->StatusTopic.c_str(), Length(Offline), Offline.data(), 1, true);
    if (!settings_.User.empty())
        mosquitto_username_pw_set(c->Mosq, settings_.User.c_str(),
                                  settings_.Password.empty() ? nullptr : settings_.Password.c_str());
    if (settings_.Tls) {
        // The system's CA store, named as a folder too: with the store alone (the option below),
        // libmosquitto 2.0.11 refuses every attempt after the first ("MOSQ_OPT_SSL_CTX_WITH_DEFAULTS
        // used without specifying cafile, capath or psk"), so a failed handshake was never retried.
        mosquitto_tls_set(c->Mosq, nullptr, SystemCaFolder, nullptr, nullptr, nullptr);
        mosquitto_int_option(c->Mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    }
    core_ = c;
    thread_ = std::thread([c, s = settings_] { Core::Run(c, s); });
}

void TMqttClient::Publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
    Core* c = core_.get();
    if (c == nullptr) return;
    if (!c->Ready.load(std::memory_order_acquire)) {
        std::lock_guard lock(c->Mutex);
        if (!c->Ready.load()) {
            if (!c->Begun && c->Early.size() < MaxEarly) c->Early.push_back({topic, payload, qos, retain});
            return;
        }
    }
    c->Send(topic, payload, qos, retain);
}

void TMqttClient::Stop(std::chrono::milliseconds grace) {
    if (!core_) return;
    const std::shared_ptr<Core> c = std::exchange(core_, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    std::unique_lock lock(c->Mutex);
    if (c->Changed.wait_until(lock, deadline, [&] { return c->Begun; }) && c->Connected) {
        // "offline" first, and the disconnect only once the broker has it: a disconnect that
        // overtakes it, or a connection closed before the disconnect went out, makes the broker
        // send the last will as well.
        lock.unlock();
        int mid = -1;
        const int rc = mosquitto_publish(c->Mosq, &mid, c->StatusTopic.c_str(), Length(Offline),
                                         Offline.data(), 1, true);
        lock.lock();
        if (rc == MOSQ_ERR_SUCCESS) {
            c->OfflineSent = true;
            c->Changed.wait_until(lock, deadline, [&] {
                return !c->Connected || std::find(c->Acked.begin(), c->Acked.end(), mid) != c->Acked.end();
            });
        }
    }
    // The connection's thread disconnects (at its next look, within LoopWaitMs) and ends.
    c->StopRequested = true;
    lock.unlock();
    c->Changed.notify_all();
    lock.lock();
    const bool ended = c->Changed.wait_for(lock, DisconnectWait, [&] { return c->Ended; });
    lock.unlock();
    // Still looking the broker's name up (or connecting to a host that does not answer): the
    // thread ends by itself when that returns, and the library goes with the last reference.
    if (ended) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

std::vector<LinkEvent> TMqttClient::TakeLinkEvents() {
    if (!core_) return {};
    std::lock_guard lock(core_->Mutex);
    return std::exchange(core_->Events, {});
}

bool TMqttClient::Connected() const {
    return core_ && core_->Connected.load();
}

} // namespace telemetry
