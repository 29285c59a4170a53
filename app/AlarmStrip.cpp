#include "app/AlarmStrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QColor AlarmRed{255, 0, 0};
const QColor AcknowledgedOrange{255, 140, 0};
const QColor NoteGround{230, 230, 230};
const QColor WarningYellow{255, 235, 120};

} // namespace

TAlarmStrip::TAlarmStrip(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("PanelAlarmy"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(4);
    auto* rows = new QWidget(this);
    rowsLayout_ = new QVBoxLayout(rows);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(1);
    layout->addWidget(rows, 1);
    ButtonPotvrdit = new QPushButton(QStringLiteral("Potvrdit"), this);
    ButtonPotvrdit->setObjectName(QStringLiteral("ButtonPotvrdit"));
    ButtonPotvrdit->setAutoDefault(false);
    QFont bold = ButtonPotvrdit->font();
    bold.setBold(true);
    ButtonPotvrdit->setFont(bold);
    layout->addWidget(ButtonPotvrdit, 0, Qt::AlignTop);
    hide();
}

QColor TAlarmStrip::Background(TRowStyle style) {
    switch (style) {
    case TRowStyle::Alarm:
        return AlarmRed;
    case TRowStyle::Acknowledged:
        return AcknowledgedOrange;
    case TRowStyle::Note:
        return NoteGround;
    case TRowStyle::Warning:
        return WarningYellow;
    }
    return NoteGround;
}

void TAlarmStrip::Show(const std::vector<TRow>& rows, bool acknowledgeable) {
    ButtonPotvrdit->setVisible(acknowledgeable);
    if (rows == rows_) {
        setVisible(!rows_.empty());
        return;
    }
    rows_ = rows;
    while (labels_.size() < rows_.size()) {
        auto* l = new QLabel(this);
        l->setObjectName(QStringLiteral("LabelAlarm%1").arg(labels_.size() + 1));
        l->setAutoFillBackground(true);
        l->setContentsMargins(4, 1, 4, 1);
        rowsLayout_->addWidget(l);
        labels_.push_back(l);
    }
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        QLabel* l = labels_[i];
        if (i >= rows_.size()) {
            l->hide();
            continue;
        }
        const TRow& row = rows_[i];
        const bool alarm = row.Style == TRowStyle::Alarm || row.Style == TRowStyle::Acknowledged;
        QFont f = l->font();
        f.setBold(alarm);
        l->setFont(f);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, Background(row.Style));
        p.setColor(QPalette::WindowText, alarm ? QColor(255, 255, 255) : QColor(0, 0, 0));
        l->setPalette(p);
        l->setText(row.Text);
        l->show();
    }
    setVisible(!rows_.empty());
}
