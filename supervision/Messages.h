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
// "Strana 1: alarm teploty potvrzen."
std::string AcknowledgedText(int side);
// "Strana 1: teplota pod mezi, topeni opet povoleno."
std::string ReleasedText(int side);

} // namespace supervision
