#include "telemetry/Payload.h"

#include "persistence/DataLog.h"
#include "text/Utf8.h"

#include <cstdint>
#include <cstdio>

namespace telemetry {

std::string NumberText(double value) {
    // The data log's own rounding, without its padding.
    std::string text = persistence::FormatLogNumber(value);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

std::string_view CycleStateName(CycleState state) {
    switch (state) {
    case CycleState::Running:
        return "running";
    case CycleState::Holding:
        return "holding";
    case CycleState::Idle:
        break;
    }
    return "idle";
}

std::string JsonString(std::string_view text) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += Hex[c >> 4];
            out += Hex[c & 0xF];
        } else if (c >= 0x80) {
            std::uint32_t cp = 0;
            if (const std::size_t n = utf8::Decode(text.substr(i), cp)) {
                out.append(text.substr(i, n));
                i += n;
                continue;
            }
            out += static_cast<char>(0xC0 | (c >> 6)); // Latin-1 to UTF-8
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string IsoTime(const platform::LocalDateTime& t) {
    const int offset = t.UtcOffsetMinutes < 0 ? -t.UtcOffsetMinutes : t.UtcOffsetMinutes;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.Year, t.Month, t.Day,
                  t.Hour, t.Minute, t.Second, t.UtcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

std::string EventJson(const journal::Event& e) {
    std::string json = "{\"time\":" + JsonString(IsoTime(e.Time)) + ",\"side\":";
    json += e.Side == 1 || e.Side == 2 ? std::to_string(e.Side) : "null";
    json += ",\"kind\":" + JsonString(e.Kind) + ",\"text\":" + JsonString(e.Detail) + "}";
    return json;
}

} // namespace telemetry
