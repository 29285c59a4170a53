#include "text/PlainText.h"

#include "text/Utf8.h"

#include <cstdint>

namespace plaintext {
namespace {

// What a character becomes: 0 kept, else the replacement.
char Replacement(std::uint32_t c) {
    if ((c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029) return ' ';
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return '?';
    if (c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069))
        return '?';
    return 0;
}

} // namespace

std::string OneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = 0;
        std::size_t n = utf8::Decode(text.substr(i), cp);
        if (n == 0) {
            cp = static_cast<unsigned char>(text[i]); // not UTF-8: a Latin-1 byte
            n = 1;
        }
        if (const char r = Replacement(cp)) {
            out += r;
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string OneLineLatin1(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (const char r = Replacement(static_cast<unsigned char>(c))) c = r;
    }
    return out;
}

} // namespace plaintext
