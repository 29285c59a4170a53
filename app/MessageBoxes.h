#pragma once
// Every modal message box of the program goes through this seam, so tests can record the boxes
// instead of blocking on them.
#include <QString>

class QWidget;

enum class TBoxIcon { None, Information, Warning, Error };

class TMessageBoxes {
public:
    virtual ~TMessageBoxes() = default;
    // Shows a modal box with one OK button and returns when the operator has closed it.
    virtual void Show(const QString& title, const QString& text, TBoxIcon icon) = 0;
};

// The real boxes: QMessageBox, modal to the given window.
class TQtMessageBoxes : public TMessageBoxes {
public:
    explicit TQtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void Show(const QString& title, const QString& text, TBoxIcon icon) override;

private:
    QWidget* parent_ = nullptr;
};
