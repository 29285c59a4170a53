#include "app/AppIcon.h"

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 64.0;
    // Two zones: red (side 1) and blue (side 2).
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 40, 30));
    p.drawRoundedRect(QRectF(2 * s, 2 * s, 29 * s, 60 * s), 8 * s, 8 * s);
    p.setBrush(QColor(30, 70, 210));
    p.drawRoundedRect(QRectF(33 * s, 2 * s, 29 * s, 60 * s), 8 * s, 8 * s);
    // A thermometer across both.
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(26 * s, 6 * s, 12 * s, 42 * s), 6 * s, 6 * s);
    p.drawEllipse(QPointF(32 * s, 50 * s), 10 * s, 10 * s);
    p.setBrush(QColor(200, 0, 0));
    p.drawRect(QRectF(29.5 * s, 20 * s, 5 * s, 28 * s));
    p.drawEllipse(QPointF(32 * s, 50 * s), 7 * s, 7 * s);
    p.end();
    return image;
}

QIcon MakeAppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
    return icon;
}

void LoadWindowFonts() {
    // Tahoma and Courier New are not part of Linux. Liberation Sans (Arial's metrics, close to
    // Tahoma's at the window's 11 px) and Liberation Mono (Courier New's metrics) stand in, with
    // DejaVu as the last resort.
    QFont::insertSubstitutions(QStringLiteral("Tahoma"), {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Courier New"),
                               {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
}

void SetApplicationTitle() { QApplication::setApplicationName(QStringLiteral("Regulace teploty")); }
