#include "supervision/SafetySettings.h"

#include "persistence/Settings.h"
#include "text/NumText.h"

#include <cmath>

namespace supervision {

SafetySettings ReadSafetySettings(const platform::ProfileFile& file) {
    SafetySettings s;
    s.MaxStari = file.ReadString(SafetySection, "MaxStari", s.MaxStari);
    s.MaxT1 = file.ReadString(SafetySection, "MaxT1", s.MaxT1);
    s.MaxT2 = file.ReadString(SafetySection, "MaxT2", s.MaxT2);
    s.CidloMin = file.ReadString(SafetySection, "CidloMin", s.CidloMin);
    s.CidloMax = file.ReadString(SafetySection, "CidloMax", s.CidloMax);
    s.UnikNarust = file.ReadString(SafetySection, "UnikNarust", s.UnikNarust);
    s.UnikCas = file.ReadString(SafetySection, "UnikCas", s.UnikCas);
    return s;
}

SafetySettings ReadSafetySettings() {
    return ReadSafetySettings(persistence::SettingsFile());
}

void WriteTemperatureLimits(const platform::ProfileFile& file, std::string_view maxT1,
                            std::string_view maxT2) {
    const SafetySettings stored = ReadSafetySettings(file);
    platform::ProfileWriteBatch batch(file); // both limits change in one step
    if (stored.MaxT1 != maxT1) file.WriteString(SafetySection, "MaxT1", maxT1);
    if (stored.MaxT2 != maxT2) file.WriteString(SafetySection, "MaxT2", maxT2);
    batch.Commit();
}

void WriteTemperatureLimits(std::string_view maxT1, std::string_view maxT2) {
    WriteTemperatureLimits(persistence::SettingsFile(), maxT1, maxT2);
}

std::chrono::milliseconds ParseMaxAge(std::string_view text) {
    const auto seconds = numtext::ParseFloat(text);
    // A week is far more than any sensible limit and keeps the milliseconds well in range.
    if (!seconds || *seconds < 0 || !std::isfinite(*seconds) || *seconds > 7 * 24 * 3600.0)
        return DefaultMaxAge;
    return std::chrono::milliseconds(std::llround(*seconds * 1000.0));
}

LimitText ReadLimitText(std::string_view text) {
    if (text.find_first_not_of(" \t") == std::string_view::npos) return {};
    const auto value = numtext::ParseFloat(text);
    if (!value) return {false, std::nullopt, std::string(text)};
    if (*value == 0.0) return {};
    return {true, *value, numtext::FormatFloat(*value)};
}

namespace {

// A finite number within [min, max], else the fallback.
double NumberOr(std::string_view text, double min, double max, double fallback) {
    const auto value = numtext::ParseFloat(text);
    if (!value || !std::isfinite(*value) || *value < min || *value > max) return fallback;
    return *value;
}

} // namespace

Limits LimitsFrom(const SafetySettings& settings) {
    Limits limits;
    limits.MaxAge = ParseMaxAge(settings.MaxStari);
    const double low = NumberOr(settings.CidloMin, -1e6, 1e6, DefaultPlausibleMin);
    const double high = NumberOr(settings.CidloMax, -1e6, 1e6, DefaultPlausibleMax);
    if (low < high) {
        limits.PlausibleMin = low;
        limits.PlausibleMax = high;
    }
    limits.RunawayRise = NumberOr(settings.UnikNarust, 0.0, 1e6, DefaultRunawayRise);
    const double after = NumberOr(settings.UnikCas, 0.0, 7 * 24 * 3600.0, -1.0);
    if (after >= 0.0) limits.RunawayAfter = std::chrono::milliseconds(std::llround(after * 1000.0));
    limits.MaxT[1] = ReadLimitText(settings.MaxT1).Limit;
    limits.MaxT[2] = ReadLimitText(settings.MaxT2).Limit;
    return limits;
}

} // namespace supervision
