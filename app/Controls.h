#pragma once
// Reading and writing controls as the logic sees them: texts as std::string (UTF-8), and the
// font colour of the big labels.
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QString>

#include <string>

inline std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }

// For any control with setText(QString): edit boxes and labels.
template <class Control> void SetText(Control* control, const std::string& text) {
    control->setText(QString::fromStdString(text));
}

inline void SetFontColour(QLabel* label, const QColor& colour) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}
