#include "app/ErrorReport.h"

#include "text/PlainText.h"

QString TErrorReport::ReportText(const QString& errorText) {
    QString text = QString::fromStdString(plaintext::OneLine(errorText.toStdString()));
    if (!text.isEmpty() && text.back().unicode() > u'.') text += u'.';
    return text;
}

void TErrorReport::Add(const QString& errorText) {
    const QString text = ReportText(errorText);
    if (!pending_.empty() && pending_.back().text == text) {
        ++pending_.back().count;
    } else {
        pending_.push_back({text, 1});
    }
}

void TErrorReport::SetHeld(bool held) {
    held_ = held;
    ShowPending();
}

void TErrorReport::ShowPending() {
    if (held_ || showing_ || pending_.empty()) return;
    showing_ = true;
    Pending& next = pending_.front();
    QString shown = next.text;
    if (next.count > 1) shown += QStringLiteral(" (%1x)").arg(next.count);
    // Reports of the same text that come while this box is open are counted onto the entry at
    // the front, which is why it is removed only after the box has closed.
    next.count = 0;
    if (OnShown) OnShown(shown);
    boxes_.Show(QStringLiteral("Regulace teploty"), shown, TBoxIcon::Error, [this] { Closed(); });
}

void TErrorReport::Closed() {
    if (!pending_.empty() && pending_.front().count == 0) pending_.pop_front();
    // else: identical reports arrived meanwhile; the same entry is shown once more with their count
    showing_ = false;
    ShowPending();
    if (Idle() && OnIdle) OnIdle();
}

std::vector<QString> TErrorReport::TakeUnshown() {
    std::vector<QString> texts;
    for (const Pending& p : pending_) {
        if (p.count == 0) continue; // the report open now: the journal has it from its opening
        texts.push_back(p.count > 1 ? p.text + QStringLiteral(" (%1x)").arg(p.count) : p.text);
    }
    // The open box keeps its entry until it closes.
    const bool open = showing_ && !pending_.empty();
    const Pending front = open ? pending_.front() : Pending{};
    pending_.clear();
    if (open) pending_.push_back({front.text, 0});
    return texts;
}
