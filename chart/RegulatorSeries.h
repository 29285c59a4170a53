#pragma once
// The four series of the regulator's chart, by fixed index.
#include "chart/TChart.h"

namespace chart {

inline constexpr int SeriesTemperature1 = 0; // "Teplota_1": measured temperature of side 1
inline constexpr int SeriesSetpoint1 =
    1; // "Zadana_hodnota_1": step curve of program 1, then the live setpoint
inline constexpr int SeriesTemperature2 = 2; // "Teplota_2"
inline constexpr int SeriesSetpoint2 = 3;    // "Zadana_hodnota_2"

// A reference run's measured temperatures, while one is shown: after the four, drawn behind them.
inline constexpr int SeriesReference1 = 4; // "Reference_1"
inline constexpr int SeriesReference2 = 5; // "Reference_2"

// The measured temperature series of a side (0 or 2) and its setpoint series (1 or 3).
constexpr int TemperatureSeries(int side) {
    return side == 1 ? SeriesTemperature1 : SeriesTemperature2;
}
constexpr int SetpointSeries(int side) {
    return side == 1 ? SeriesSetpoint1 : SeriesSetpoint2;
}

// Adds the four series in index order to an empty chart. Side 1 is red, side 2 blue; the
// setpoint series are dashed. Both setpoint series are given the white line colour first; on
// series 1 the red series colour set afterwards replaces it, while series 3 keeps the white
// line, set after its blue series colour.
void AddRegulatorSeries(TChart& chart);

// Adds the two reference series to a chart holding the four: "Reference_1" and "Reference_2",
// thin and semi-transparent in the sides' colours, behind the others; the chart's caption names
// the file, "Reference: <from>".
void AddReferenceSeries(TChart& chart, const QString& from);

} // namespace chart
