#include "persistence/DataLogRefresh.h"

#include "state/CheckedMath.h"
#include "text/NumText.h"

namespace persistence {

std::string TemperatureLabelText(double temperature) {
    const auto tenths = static_cast<double>(state::Trunc(state::Mul(temperature, 10.0)));
    return numtext::FormatFloat(state::Div(tenths, 10.0));
}

std::string CycleTimeLabelText(double cycleTime) { return numtext::FormatInt(state::Trunc(cycleTime)); }

} // namespace persistence
