#include "text/PlainText.h"

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

// The character of the valid UTF-8 sequence at the start of `s` and its length; length 0 when
// there is none.
std::size_t DecodeUtf8(std::string_view s, std::uint32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    std::size_t n = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2, cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3, cp = b0 & 0x0Fu;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4, cp = b0 & 0x07u;
    } else {
        return 0;
    }
    if (s.size() < n) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0u) != 0x80u) return 0;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    return overlong || surrogate || cp > 0x10FFFF ? 0 : n;
}

} // namespace

std::string OneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = 0;
        std::size_t n = DecodeUtf8(text.substr(i), cp);
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
