#pragma once
// A write that fails again and again (a full disk, a folder gone) is told once per outage: the
// first failure's text is kept and handed out once; a write that goes through ends the outage.
#include <optional>
#include <string>
#include <utility>

namespace journal {

class TOutage {
public:
    void Succeeded() {
        text_.reset();
        handedOut_ = false;
    }
    // Keeps the text of the outage's first failure.
    void Failed(std::string text) {
        if (!handedOut_ && !text_) text_ = std::move(text);
    }
    // The kept text, once per outage.
    std::optional<std::string> Take() {
        if (!text_ || handedOut_) return std::nullopt;
        handedOut_ = true;
        return text_;
    }

private:
    std::optional<std::string> text_;
    bool handedOut_ = false;
};

} // namespace journal
