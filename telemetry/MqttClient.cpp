#include "telemetry/MqttClient.h"

#include <mosquitto.h>

#include <mutex>
#include <string_view>
#include <utility>

namespace telemetry {

namespace {

constexpr int KeepAliveSeconds = 10; // the broker gives the last will 15 s after the program vanishes
constexpr unsigned RetryFirst = 1;
constexpr unsigned RetryMax = 30;
constexpr std::string_view Online = "online";
constexpr std::string_view Offline = "offline";

std::once_flag gLibraryInit;
constexpr std::size_t MaxEarly = 256; // messages published before the library's thread runs

int Length(std::string_view s) { return static_cast<int>(s.size()); }

} // namespace

TMqttClient::TMqttClient(MqttSettings settings)
    : settings_(std::move(settings)), statusTopic_(settings_.Prefix + "/status") {}

TMqttClient::~TMqttClient() { Stop(); }

void TMqttClient::Start() {
    if (mosq_ != nullptr) return;
    std::call_once(gLibraryInit, [] { mosquitto_lib_init(); });
    mosq_ = mosquitto_new(nullptr, true, this);
    if (mosq_ == nullptr) {
        Push({LinkEvent::Kind::Down, MOSQ_ERR_NOMEM});
        return;
    }
    mosquitto_connect_callback_set(mosq_, &TMqttClient::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &TMqttClient::OnDisconnect);
    mosquitto_will_set(mosq_, statusTopic_.c_str(), Length(Offline), Offline.data(), 1, true);
    if (!settings_.User.empty())
        mosquitto_username_pw_set(mosq_, settings_.User.c_str(),
                                  settings_.Password.empty() ? nullptr : settings_.Password.c_str());
    if (settings_.Tls) mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    mosquitto_reconnect_delay_set(mosq_, RetryFirst, RetryMax, true);
    starter_ = std::thread([this] { Begin(); });
}

void TMqttClient::Begin() {
    // The name lookup and the start of the connection; a failure here is retried by the
    // library's thread like any lost connection.
    const int rc = mosquitto_connect_async(mosq_, settings_.Host.c_str(), settings_.Port, KeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) Push({LinkEvent::Kind::Down, rc});
    loopStarted_ = mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS;
    if (!loopStarted_) return;
    std::lock_guard lock(mutex_);
    for (const Pending& p : early_) Send(p.Topic, p.Payload, p.Qos, p.Retain);
    early_.clear();
    ready_ = true;
}

void TMqttClient::Send(const std::string& topic, const std::string& payload, int qos, bool retain) {
    mosquitto_publish(mosq_, nullptr, topic.c_str(), Length(payload), payload.data(), qos, retain);
}

void TMqttClient::Publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
    if (mosq_ == nullptr) return;
    if (!ready_.load(std::memory_order_acquire)) {
        std::unique_lock lock(mutex_);
        if (!ready_.load()) {
            if (early_.size() < MaxEarly) early_.push_back({topic, payload, qos, retain});
            return;
        }
    }
    Send(topic, payload, qos, retain);
}

void TMqttClient::Stop(std::chrono::milliseconds grace) {
    if (mosq_ == nullptr) return;
    if (starter_.joinable()) starter_.join();
    if (loopStarted_) {
        const bool wasUp = connected_.load();
        if (wasUp) mosquitto_publish(mosq_, nullptr, statusTopic_.c_str(), Length(Offline), Offline.data(), 1, true);
        mosquitto_disconnect(mosq_);
        if (wasUp) {
            std::unique_lock lock(mutex_);
            disconnected_.wait_for(lock, grace, [this] { return !connected_.load(); });
        }
        // Forced: the thread may be inside a connect to a host that does not answer.
        mosquitto_loop_stop(mosq_, true);
        loopStarted_ = false;
    }
    ready_ = false;
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
}

std::vector<LinkEvent> TMqttClient::TakeLinkEvents() {
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

void TMqttClient::Push(LinkEvent e) {
    std::lock_guard lock(mutex_);
    if (events_.size() < 64) events_.push_back(e);
}

void TMqttClient::OnConnect(mosquitto* mosq, void* self, int rc) {
    auto* c = static_cast<TMqttClient*>(self);
    if (rc != 0) {
        c->Push({LinkEvent::Kind::Refused, rc});
        return;
    }
    mosquitto_publish(mosq, nullptr, c->statusTopic_.c_str(), Length(Online), Online.data(), 1, true);
    c->connected_ = true;
    c->Push({LinkEvent::Kind::Up, 0});
}

void TMqttClient::OnDisconnect(mosquitto*, void* self, int rc) {
    auto* c = static_cast<TMqttClient*>(self);
    {
        std::lock_guard lock(c->mutex_);
        c->connected_ = false;
        if (rc != 0 && c->events_.size() < 64) c->events_.push_back({LinkEvent::Kind::Down, rc});
    }
    c->disconnected_.notify_all();
}

} // namespace telemetry
