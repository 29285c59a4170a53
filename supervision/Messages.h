#pragma once
// What the operator is told about a side's safety, in the program's language. The same text goes
// to the report, the communication list and the event journal.
#include <chrono>
#include <string>

namespace supervision {

// "Strana 1: zadna teplota 10 s, topeni vypnuto."
std::string StaleText(int side, std::chrono::milliseconds maxAge);
// "Strana 1: teplota opet prichazi."
std::string RecoveredText(int side);
// "Strana 1: teplota 250,4 dosahla meze 250, topeni vypnuto do vychladnuti a potvrzeni."
std::string OverTemperatureText(int side, double temperature, double limit);
// "Strana 1: cidlo hlasi nesmysl, topeni vypnuto."
std::string SensorFaultText(int side);
// "Strana 1: cidlo opet hlasi teplotu."
std::string SensorRecoveredText(int side);
// "Strana 1: topeni se nevypina, teplota stoupla z 60,1 na 75,3 pri vypnutem topeni. Odpojte topeni od site!"
std::string RunawayText(int side, double offTemperature, double temperature);
// "Strana 1: teplota klesla, topeni opet povoleno."
std::string RunawayReleasedText(int side);
// "Strana 1: alarm z minuleho behu trva (prehrati, topeni se nevypina), topeni vypnuto do potvrzeni."
std::string RestoredText(int side, bool overTemperature, bool runaway, bool sensorFault);
// "Strana 1: teplota pod mezi, topeni opet povoleno."
std::string ReleasedText(int side);

} // namespace supervision
