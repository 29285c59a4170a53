#pragma once
// The broker the telemetry publishes to: section "MQTT" of Regulator.ini. Telemetry is off unless
// "Host" names a broker.
//
//   Host      the broker's name or address; empty or missing: off
//   Port      1883; 8883 when TLS=1 and no port is given
//   Prefix    the start of every topic; default "regulator/" and the computer's name
//   User      optional, with Password
//   Password
//   TLS       1: TLS, the broker's certificate checked against the system's CA store
#include "platform/Profile.h"

#include <string>
#include <string_view>

namespace telemetry {

inline constexpr std::string_view SettingsSection = "MQTT";

struct MqttSettings {
    std::string Host; // empty: telemetry off
    int Port = 1883;
    std::string Prefix; // topics are Prefix + "/status" and so on; never ends with "/"
    std::string User;   // empty: no login
    std::string Password;
    bool Tls = false;

    bool Enabled() const { return !Host.empty(); }
    // "host:port", as reports name the broker.
    std::string Broker() const { return Host + ":" + std::to_string(Port); }
};

// "regulator/" followed by the computer's name.
std::string DefaultPrefix(std::string_view hostName);

// The computer's name (platform::ComputerName); "regulator" when it has none.
std::string HostName();

// Reads section "MQTT". A port outside 1..65535 or not a number gives the default; a prefix that
// is empty or holds the wildcards "+" or "#" (no topic may) gives the default one. Never throws
// (but std::bad_alloc).
MqttSettings ReadMqttSettings(const platform::ProfileFile& file, std::string_view hostName);

} // namespace telemetry
