#include "supervision/Messages.h"

#include "persistence/DataLogRefresh.h"
#include "text/NumText.h"

namespace supervision {
namespace {

std::string Side(int side) {
    return "Strana " + std::to_string(side) + ": ";
}

} // namespace

std::string StaleText(int side, std::chrono::milliseconds maxAge) {
    return Side(side) + "zadna teplota " + numtext::FormatFloat(static_cast<double>(maxAge.count()) / 1000.0) +
           " s, topeni vypnuto.";
}

std::string RecoveredText(int side) {
    return Side(side) + "teplota opet prichazi.";
}

std::string OverTemperatureText(int side, double temperature, double limit) {
    // The temperature as the big label shows it.
    return Side(side) + "teplota " + persistence::TemperatureLabelText(temperature) + " dosahla meze " +
           numtext::FormatFloat(limit) + ", topeni vypnuto do vychladnuti a potvrzeni.";
}

std::string SensorFaultText(int side) {
    return Side(side) + "cidlo hlasi nesmysl, topeni vypnuto.";
}

std::string SensorRecoveredText(int side) {
    return Side(side) + "cidlo opet hlasi teplotu.";
}

std::string RunawayText(int side, double offTemperature, double temperature) {
    return Side(side) + "topeni se nevypina, teplota stoupla z " + persistence::TemperatureLabelText(offTemperature) +
           " na " + persistence::TemperatureLabelText(temperature) +
           " pri vypnutem topeni. Odpojte topeni od site!";
}

std::string RunawayReleasedText(int side) {
    return Side(side) + "teplota klesla, topeni opet povoleno.";
}

std::string RestoredText(int side, bool overTemperature, bool runaway, bool sensorFault) {
    std::string which;
    for (const auto& [on, name] : {std::pair{overTemperature, "prehrati"}, std::pair{runaway, "topeni se nevypina"},
                                   std::pair{sensorFault, "cidlo hlasi nesmysl"}}) {
        if (!on) continue;
        if (!which.empty()) which += ", ";
        which += name;
    }
    return Side(side) + "alarm z minuleho behu trva (" + which + "), topeni vypnuto do potvrzeni.";
}

std::string ReleasedText(int side) {
    return Side(side) + "teplota pod mezi, topeni opet povoleno.";
}

} // namespace supervision
