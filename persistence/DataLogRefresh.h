#pragma once
// The texts of the display refresh: the large labels truncate where the data log rounds, so
// 148.27 shows "148,2" on the screen and "148.3" in the log.
#include <string>

namespace persistence {

// A temperature truncated toward zero to one decimal place, in the general float format with
// the decimal comma: 150.49 gives "150,4", 150.0 gives "150", -3.27 gives "-3,2".
// Throws state::EMathError for a value too large to truncate.
std::string TemperatureLabelText(double temperature);

// The cycle time truncated toward zero to whole seconds: 12.9 gives "12".
// Throws state::EMathError for a value too large to truncate.
std::string CycleTimeLabelText(double cycleTime);

} // namespace persistence
