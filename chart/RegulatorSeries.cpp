#include "chart/RegulatorSeries.h"

#include "chart/PrintLook.h"

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

void AddReferenceSeries(TChart& chart, const QString& from) {
    // Half-transparent: on the dark plot they show as dim versions of the live curves.
    const QColor faintRed(255, 0, 0, 128);
    const QColor faintBlue(0, 0, 255, 170); // blue shows less on the dark plot
    // On paper they take colours of their own.
    chart.AddSeries(
        {QStringLiteral("Reference_1"), faintRed, faintRed, TPenStyle::Solid, true, ReferencePrintColour(1)});
    chart.AddSeries({QStringLiteral("Reference_2"), faintBlue, faintBlue, TPenStyle::Solid, true,
                     ReferencePrintColour(2)});
    chart.SetCaption(QStringLiteral("Reference: %1").arg(from));
}

} // namespace chart
