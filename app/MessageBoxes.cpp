#include "app/MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon QtIcon(TBoxIcon icon) {
    switch (icon) {
    case TBoxIcon::None: return QMessageBox::NoIcon;
    case TBoxIcon::Information: return QMessageBox::Information;
    case TBoxIcon::Warning: return QMessageBox::Warning;
    case TBoxIcon::Error: return QMessageBox::Critical;
    case TBoxIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// A box that deletes itself when closed, blocks input to its window only, and returns at once.
QMessageBox* OpenBox(QWidget* parent, TBoxIcon icon, const QString& title, const QString& text,
                     QMessageBox::StandardButtons buttons) {
    auto* box = new QMessageBox(QtIcon(icon), title, text, buttons, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    return box;
}

} // namespace

void TQtMessageBoxes::Show(const QString& title, const QString& text, TBoxIcon icon, std::function<void()> closed) {
    ShowOver(parent_, title, text, icon, std::move(closed));
}

void TQtMessageBoxes::ShowOver(QWidget* window, const QString& title, const QString& text, TBoxIcon icon,
                               std::function<void()> closed) {
    QMessageBox* box = OpenBox(window, icon, title, text, QMessageBox::Ok);
    QObject::connect(box, &QDialog::finished, box, [closed = std::move(closed)](int) {
        if (closed) closed();
    });
    box->open();
}

void TQtMessageBoxes::Ask(const TQuestion& question, std::function<void(bool yes)> answered) {
    QWidget* window = question.Over != nullptr ? question.Over : parent_;
    QMessageBox* box = OpenBox(window, TBoxIcon::Question, question.Title, question.Text, QMessageBox::NoButton);
    QPushButton* yes = box->addButton(QStringLiteral("Ano"), QMessageBox::YesRole);
    QPushButton* no = box->addButton(QStringLiteral("Ne"), QMessageBox::NoRole);
    box->setDefaultButton(question.DefaultYes ? yes : no);
    box->setEscapeButton(no);
    QObject::connect(box, &QDialog::finished, box, [box, yes, answered = std::move(answered)](int) {
        if (answered) answered(box->clickedButton() == yes);
    });
    box->open();
}
