// What the file services share on every system: the open rule's refusals as error codes.
#include "platform/Files.h"

#include <string>

namespace platform {
namespace {

class TFileRefusalCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "open rule"; }
    std::string message(int code) const override {
        switch (static_cast<FileRefusal>(code)) {
        case FileRefusal::NotRegularFile:
            return "neni obycejny soubor";
        case FileRefusal::ForeignLink:
            return "odkaz ve sdilene slozce patri jinemu uzivateli";
        }
        return "odmitnuto";
    }
};

} // namespace

const std::error_category& FileRefusalCategory() {
    static const TFileRefusalCategory category;
    return category;
}

std::error_code make_error_code(FileRefusal refusal) {
    return {static_cast<int>(refusal), FileRefusalCategory()};
}

} // namespace platform
