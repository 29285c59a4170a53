#pragma once
// Reading and writing controls as the logic sees them: texts as std::string of single bytes
// (Latin-1, as the settings file and the units hold them, so a text goes into a box and back
// unchanged byte for byte), and the font colour of the big labels.
#include <QByteArray>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QString>

#include <string>

inline std::string Text(const QLineEdit* edit) {
    const QByteArray bytes = edit->text().toLatin1();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

// For any control with setText(QString): edit boxes and labels.
template <class Control> void SetText(Control* control, const std::string& text) {
    control->setText(QString::fromLatin1(text.data(), qsizetype(text.size())));
}

inline void SetFontColour(QLabel* label, const QColor& colour) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

// Puts a line at the top of a list (the communication list); past `limit` lines the oldest fall
// off the bottom.
inline void AddListLine(QListWidget* list, const std::string& line, int limit) {
    list->insertItem(0, QString::fromLatin1(line.data(), qsizetype(line.size())));
    while (list->count() > limit) delete list->takeItem(list->count() - 1);
}
