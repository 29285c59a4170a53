#include "journal/SettingChanges.h"

namespace journal {

std::string ChangeText(std::string_view what, std::string_view before, std::string_view after) {
    std::string text(what);
    text += ": ";
    text += before;
    text += " -> ";
    text += after;
    return text;
}

std::optional<std::string> TSettingChanges::Note(std::string_view what, std::string_view value) {
    const auto found = values_.find(what);
    if (found == values_.end()) {
        values_.emplace(std::string(what), std::string(value));
        return std::nullopt;
    }
    if (found->second == value) return std::nullopt;
    std::string text = ChangeText(what, found->second, value);
    found->second = value;
    return text;
}

} // namespace journal
