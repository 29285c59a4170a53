#include "chart/RegulatorSeries.h"

namespace chart {

void AddRegulatorSeries(TChart& chart) {
    const QColor red(255, 0, 0);
    const QColor blue(0, 0, 255);
    const QColor white(255, 255, 255);
    chart.AddSeries({QStringLiteral("Teplota_1"), red, red, TPenStyle::Solid});
    chart.AddSeries({QStringLiteral("Zadana_hodnota_1"), red, red, TPenStyle::Dashed});
    chart.AddSeries({QStringLiteral("Teplota_2"), blue, blue, TPenStyle::Solid});
    chart.AddSeries({QStringLiteral("Zadana_hodnota_2"), blue, white, TPenStyle::Dashed});
}

} // namespace chart
