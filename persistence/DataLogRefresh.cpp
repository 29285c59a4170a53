#include "persistence/DataLogRefresh.h"

#include "state/CheckedMath.h"
#include "state/NumText.h"

namespace persistence {

std::string TemperatureLabelText(double temperature) {
    const auto tenths = static_cast<double>(state::Trunc(state::Mul(temperature, 10.0)));
    return state::FormatFloat(state::Div(tenths, 10.0));
}

std::string CycleTimeLabelText(double cycleTime) { return state::FormatInt(state::Trunc(cycleTime)); }

} // namespace persistence
