#pragma once
// The rows the log-writing helper process writes as line n, and the test computes again.
#include "persistence/DataLog.h"

inline persistence::LogRow RowOf(long n) {
    persistence::LogRow row;
    row.CycleTime = static_cast<double>(n) / 10.0;
    row.Setpoint1 = 150;
    row.Heater1 = n % 2 == 0;
    row.Temperature1 = 20.0 + static_cast<double>(n % 1000) * 0.37;
    row.Setpoint2 = static_cast<double>(n % 300);
    row.Heater2 = n % 3 == 0;
    row.Temperature2 = -5.0 + static_cast<double>(n % 777) * 0.11;
    return row;
}
