#include "app/MessageBoxes.h"

#include <QMessageBox>

void TQtMessageBoxes::Show(const QString& title, const QString& text, TBoxIcon icon) {
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case TBoxIcon::None: qicon = QMessageBox::NoIcon; break;
    case TBoxIcon::Information: qicon = QMessageBox::Information; break;
    case TBoxIcon::Warning: qicon = QMessageBox::Warning; break;
    case TBoxIcon::Error: qicon = QMessageBox::Critical; break;
    }
    QMessageBox box(qicon, title, text, QMessageBox::Ok, parent_);
    box.exec();
}
