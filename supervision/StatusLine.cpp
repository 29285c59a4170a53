#include "supervision/StatusLine.h"

#include "text/Duration.h"
#include "text/NumText.h"

namespace supervision {

std::string CycleStatusText(CyclePhase phase, std::int64_t elapsedSeconds, std::int64_t lengthSeconds) {
    switch (phase) {
    case CyclePhase::Idle:
        return "Cyklus stoji";
    case CyclePhase::Holding:
        return "Cyklus drzi t1/t2";
    case CyclePhase::Running:
        break;
    }
    using numtext::DurationText;
    return "Cyklus bezi: " + DurationText(elapsedSeconds) + " z " + DurationText(lengthSeconds) + ", zbyva " +
           DurationText(lengthSeconds - elapsedSeconds);
}

std::string SideStatusText(int side, double setpoint, bool heating, const std::string& alarms) {
    std::string text = "Strana " + std::to_string(side) + ": zadana " + numtext::FormatFloat(setpoint) +
                       (heating ? ", topi" : ", netopi");
    if (!alarms.empty()) text += ", ALARM: " + alarms;
    return text;
}

} // namespace supervision
