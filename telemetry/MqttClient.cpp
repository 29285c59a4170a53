#include "telemetry/MqttClient.h"

#include <mosquitto.h>

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
constexpr unsigned RetryFirst = 1;
constexpr unsigned RetryMax = 30;
constexpr std::size_t MaxEarly = 256; // messages published before the library's thread runs
constexpr std::size_t MaxEvents = 64; // link events not yet taken
constexpr std::string_view Online = "online";
constexpr std::string_view Offline = "offline";

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

    std::string StatusTopic;
    mosquitto* Mosq = nullptr;

    std::mutex Mutex;
    std::condition_variable Changed;
    bool Begun = false;     // the first connection was begun (or failed to be)
    bool Abandoned = false; // stopped before that: the beginning thread cleans up
    bool LoopStarted = false;
    std::atomic<bool> Ready{false}; // the library's thread runs: Publish goes straight to it
    std::vector<Pending> Early;     // published before that, sent once it runs
    std::vector<LinkEvent> Events;
    std::atomic<bool> Connected{false};

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
        c->Push(rc == 0 ? LinkEvent{LinkEvent::Kind::Up, 0} : LinkEvent{LinkEvent::Kind::Refused, rc});
    }

    static void OnDisconnect(mosquitto*, void* self, int rc) {
        auto* c = static_cast<Core*>(self);
        {
            std::lock_guard lock(c->Mutex);
            c->Connected = false;
            if (rc != 0) c->Push({LinkEvent::Kind::Down, rc});
        }
        c->Changed.notify_all();
    }

    // The beginning thread: the name lookup and the start of the connection, then the library's
    // thread. A failure here is retried by the library's thread like any lost connection.
    static void Begin(const std::shared_ptr<Core>& c, const MqttSettings& s) {
        const int rc = mosquitto_connect_async(c->Mosq, s.Host.c_str(), s.Port, KeepAliveSeconds);
        const bool loop = mosquitto_loop_start(c->Mosq) == MOSQ_ERR_SUCCESS;
        std::unique_lock lock(c->Mutex);
        c->Begun = true;
        if (c->Abandoned) {
            lock.unlock();
            if (loop) mosquitto_loop_stop(c->Mosq, true);
            mosquitto_destroy(c->Mosq);
            return;
        }
        if (rc != MOSQ_ERR_SUCCESS) c->Push({LinkEvent::Kind::Down, rc});
        c->LoopStarted = loop;
        if (loop) {
            for (const Pending& p : c->Early)
                c->Send(p.Topic, p.Payload, p.Qos, p.Retain);
            c->Early.clear();
            c->Ready = true;
        }
        lock.unlock();
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
    mosquitto_connect_callback_set(c->Mosq, &Core::OnConnect);
    mosquitto_disconnect_callback_set(c->Mosq, &Core::OnDisconnect);
    mosquitto_will_set(c->Mosq, c->StatusTopic.c_str(), Length(Offline), Offline.data(), 1, true);
    if (!settings_.User.empty())
        mosquitto_username_pw_set(c->Mosq, settings_.User.c_str(),
                                  settings_.Password.empty() ? nullptr : settings_.Password.c_str());
    if (settings_.Tls && mosquitto_int_option(c->Mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1) != MOSQ_ERR_SUCCESS) {
        // A client library without TLS (the Windows build's): the login must never go out in clear.
        mosquitto_destroy(c->Mosq);
        return;
    }
    mosquitto_reconnect_delay_set(c->Mosq, RetryFirst, RetryMax, true);
    core_ = c;
    std::thread([c, s = settings_] { Core::Begin(c, s); }).detach();
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
    {
        std::unique_lock lock(c->Mutex);
        if (!c->Changed.wait_until(lock, deadline, [&] { return c->Begun; })) {
            c->Abandoned = true; // still looking the name up: the beginning thread cleans up
            return;
        }
    }
    if (c->LoopStarted) {
        const bool wasUp = c->Connected.load();
        if (wasUp)
            mosquitto_publish(c->Mosq, nullptr, c->StatusTopic.c_str(), Length(Offline), Offline.data(), 1,
                              true);
        mosquitto_disconnect(c->Mosq);
        if (wasUp) {
            std::unique_lock lock(c->Mutex);
            c->Changed.wait_until(lock, deadline + grace, [&] { return !c->Connected.load(); });
        }
        // Forced: the thread may be inside a connect to a host that does not answer.
        mosquitto_loop_stop(c->Mosq, true);
    }
    mosquitto_destroy(c->Mosq);
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
