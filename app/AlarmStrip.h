#pragma once
// The alarm strip above the chart: one row per standing alarm, red (orange once acknowledged),
// with the time it began and its text; below them the latest notes (an alarm that ended, a
// warning) on a quiet ground; at its right the "Potvrdit" button that acknowledges them all.
// Hidden while it has nothing to show. It only shows rows; what they say is the window's.
#include <QColor>
#include <QFrame>
#include <QString>

#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QVBoxLayout;

class TAlarmStrip : public QFrame {
    Q_OBJECT
public:
    enum class TRowStyle { Alarm, Acknowledged, Note, Warning };
    struct TRow {
        QString Text;
        TRowStyle Style = TRowStyle::Alarm;
        bool operator==(const TRow&) const = default;
    };

    explicit TAlarmStrip(QWidget* parent);

    // Shows these rows (none: the strip hides); the button shows while `acknowledgeable`.
    void Show(const std::vector<TRow>& rows, bool acknowledgeable);
    const std::vector<TRow>& Rows() const { return rows_; }
    static QColor Background(TRowStyle style);

    QPushButton* ButtonPotvrdit = nullptr;

private:
    QVBoxLayout* rowsLayout_ = nullptr;
    std::vector<QLabel*> labels_;
    std::vector<TRow> rows_;
};
