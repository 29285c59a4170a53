#include "app/Shape.h"

#include <QPainter>

TShape::TShape(QWidget* parent, QColor brush) : QWidget(parent), brush_(brush) {}

void TShape::SetBrushColor(QColor c) {
    if (c == brush_) return;
    brush_ = c;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(brush_);
    const int d = std::min(width(), height()) - 2;
    p.drawEllipse((width() - d) / 2, (height() - d) / 2, d, d);
}
