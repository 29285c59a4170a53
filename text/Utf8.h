#pragma once
// One UTF-8 character read off the front of a text: the one decoder for whoever must tell UTF-8
// from bytes that are not (which they then take as Latin-1).
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace utf8 {

// The length in bytes of the valid UTF-8 sequence at the start of `s`, with its character in
// `cp`; 0 when none starts there (an empty text, a stray or cut-off byte, an overlong form, a
// surrogate, or beyond U+10FFFF), `cp` then undefined.
std::size_t Decode(std::string_view s, std::uint32_t& cp);

} // namespace utf8
