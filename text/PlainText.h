#pragma once
// Text from outside the program (the settings file, the network, the units) made plain text on
// one line before it goes into the event journal, the communication list or a box, so that no
// line can be split or forged and no terminal or viewer is steered by it:
// - characters that break lines or fields (tab, LF, VT, FF, CR, NEL, the Unicode line and
//   paragraph separators) become a space;
// - every other control character (the rest of C0, DEL, C1) and the bidirectional formatting
//   characters (which reorder what a viewer shows) become "?".
// Everything else is kept byte for byte.
#include <string>
#include <string_view>

namespace plaintext {

// For UTF-8 text (the journal, the boxes). Bytes that are not UTF-8 are judged as Latin-1, as
// a viewer falling back to it would show them.
std::string OneLine(std::string_view text);

// For text shown one byte per character as Latin-1 (the communication list).
std::string OneLineLatin1(std::string_view text);

} // namespace plaintext
