#pragma once
// A length of time as the operator reads it.
#include <cstdint>
#include <string>

namespace numtext {

// Whole seconds: "45 s", "2 min 05 s", "1 h 05 min" (a negative length counts as 0).
std::string DurationText(std::int64_t seconds);

} // namespace numtext
