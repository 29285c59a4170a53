#include "telemetry/Settings.h"

#include "platform/Host.h"

namespace telemetry {

std::string DefaultPrefix(std::string_view hostName) {
    return "regulator/" + std::string(hostName);
}

std::string HostName() {
    const std::string name = platform::ComputerName();
    return name.empty() ? "regulator" : name;
}

MqttSettings ReadMqttSettings(const platform::ProfileFile& file, std::string_view hostName) {
    MqttSettings s;
    s.Host = file.ReadString(SettingsSection, "Host", "");
    s.Tls = file.ReadBool(SettingsSection, "TLS", false);
    const int defaultPort = s.Tls ? 8883 : 1883;
    const std::int32_t port = file.ReadInteger(SettingsSection, "Port", defaultPort);
    s.Port = port >= 1 && port <= 65535 ? port : defaultPort;
    s.Prefix = file.ReadString(SettingsSection, "Prefix", "");
    while (!s.Prefix.empty() && s.Prefix.back() == '/')
        s.Prefix.pop_back();
    if (s.Prefix.empty() || s.Prefix.find_first_of("+#") != std::string::npos)
        s.Prefix = DefaultPrefix(hostName);
    s.User = file.ReadString(SettingsSection, "User", "");
    s.Password = file.ReadString(SettingsSection, "Password", "");
    return s;
}

} // namespace telemetry
