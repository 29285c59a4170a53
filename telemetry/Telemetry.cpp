#include "telemetry/Telemetry.h"

#include "telemetry/Payload.h"

namespace telemetry {

std::unique_ptr<TTelemetry> TTelemetry::Start(const MqttSettings& settings) {
    if (!settings.Enabled()) return nullptr;
    auto t = std::make_unique<TTelemetry>(settings);
    t->client_.Start();
    return t;
}

TTelemetry::TTelemetry(const MqttSettings& settings)
    : client_(settings),
      state_(settings.Prefix,
             [this](const std::string& topic, const std::string& payload) {
                 client_.Publish(topic, payload, 0, true);
             }),
      link_(settings.Broker()), eventTopic_(settings.Prefix + "/event") {}

TTelemetry::~TTelemetry() {
    Stop();
}

std::vector<LinkNote> TTelemetry::TakeLinkNotes() {
    std::vector<LinkNote> notes;
    for (const LinkEvent& e : client_.TakeLinkEvents()) {
        if (e.What == LinkEvent::Kind::Up) state_.Invalidate();
        if (auto note = link_.Feed(e)) notes.push_back(std::move(*note));
    }
    return notes;
}

void TTelemetry::Refresh(const Snapshot& s, std::chrono::steady_clock::time_point now) {
    state_.Publish(s, now);
}

void TTelemetry::PublishEvent(const journal::Event& e) {
    client_.Publish(eventTopic_, EventJson(e), 1, false);
}

void TTelemetry::Stop() {
    client_.Stop();
}

} // namespace telemetry
