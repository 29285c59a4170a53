#pragma once
// The safety limits in the settings file, section "Bezpecnost":
//   "MaxStari"  seconds without a temperature after which a side is stale (default 10; 0 = off)
//   "MaxT1", "MaxT2"  temperature limit of side 1 and side 2 in degC (empty or 0 = no limit)
//   "CidloMin", "CidloMax"  the range a sensible report lies in, degC (default -50 and 1500);
//                     a report outside it (or no number at all) is a sensor's nonsense
//   "UnikNarust", "UnikCas"  the runaway watch: a side whose heater is commanded off and whose
//                     temperature stands more than UnikNarust degC above its temperature at the
//                     switch-off, UnikCas seconds or more after it, has a heater that does not obey
//                     (default 10 degC and 120 s; UnikNarust 0 switches the watch off)
// Texts use the decimal comma, as everywhere in the settings file.
#include "platform/Profile.h"
#include "supervision/Supervisor.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace supervision {

inline constexpr std::string_view SafetySection = "Bezpecnost";

struct SafetySettings {
    std::string MaxStari = "10";
    std::string MaxT1; // as stored; empty: no limit
    std::string MaxT2;
    std::string CidloMin = "-50";
    std::string CidloMax = "1500";
    std::string UnikNarust = "10";
    std::string UnikCas = "120";
};

// Missing keys give the defaults; never throws (but std::bad_alloc). Without a file: the
// program's settings file (Regulator.ini beside the executable).
SafetySettings ReadSafetySettings(const platform::ProfileFile& file);
SafetySettings ReadSafetySettings();

// Writes "MaxT1" then "MaxT2", each only when the file does not hold that text already (a file
// with no limits, never given any, keeps its bytes). Throws platform::EProfileWrite when the file
// refuses the write.
void WriteTemperatureLimits(const platform::ProfileFile& file, std::string_view maxT1,
                            std::string_view maxT2);
void WriteTemperatureLimits(std::string_view maxT1, std::string_view maxT2);

// "MaxStari" as a time: a number of seconds (decimal comma allowed); 0 switches staleness off.
// A text that is no number, or a negative one, gives the default of 10 s.
std::chrono::milliseconds ParseMaxAge(std::string_view text);

// A limit box or key: empty, blank or 0 is no limit; another number is the limit; a text that is
// no number is not a limit either (nullopt, with Valid false).
struct LimitText {
    bool Valid = true;           // empty, 0 or a number
    std::optional<double> Limit; // the limit, when there is one
    std::string Text;            // how the box shows it: "" for no limit, else the number
};
LimitText ReadLimitText(std::string_view text);

// What the settings say, as limits for the supervisor. A key whose text is no usable number
// (or a range whose minimum is not below its maximum) gives its default.
Limits LimitsFrom(const SafetySettings& settings);

} // namespace supervision
