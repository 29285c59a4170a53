#pragma once
// The operator's settings as they were last recorded, so that every change goes to the event
// journal once, with its old and its new value ("r0: 0,01995 -> 0,025").
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace journal {

// "what: before -> after"
std::string ChangeText(std::string_view what, std::string_view before, std::string_view after);

class TSettingChanges {
public:
    // The setting's value as it now takes effect. Returns the change's text when the value
    // differs from the one noted last; the first value noted for a setting is only remembered.
    std::optional<std::string> Note(std::string_view what, std::string_view value);
    // Remembers a value the program itself set, without a change being told.
    void Set(std::string_view what, std::string_view value) { values_[std::string(what)] = value; }
    // Remembers the value only when the setting has none yet (the value in effect at start).
    void Seed(std::string_view what, std::string_view value) {
        values_.emplace(std::string(what), std::string(value));
    }

private:
    std::map<std::string, std::string, std::less<>> values_;
};

} // namespace journal
