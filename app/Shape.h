#pragma once
// A circular lamp: the heater lamps and the port lamps of the window.
#include <QColor>
#include <QWidget>

class TShape : public QWidget {
    Q_OBJECT
public:
    TShape(QWidget* parent, QColor brush);

    QColor BrushColor() const { return brush_; }
    void SetBrushColor(QColor c);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor brush_;
};

// Colours as the program names them.
namespace colors {
inline const QColor Red{255, 0, 0};
inline const QColor Blue{0, 0, 255};
inline const QColor Grey{128, 128, 128};
inline const QColor Lime{0, 255, 0};
inline const QColor Green{0, 128, 0};
inline const QColor Black{0, 0, 0};
} // namespace colors
