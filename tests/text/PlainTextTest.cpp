// Text from outside made one plain line: what breaks lines becomes a space, every other control
// and the bidirectional overrides become "?", everything else stays byte for byte.
#include "text/PlainText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

TEST(PlainText, NoLineCanBeSplitOrSteered) {
    const std::pair<std::string, std::string> utf8[] = {
        {"a\tb\r\nc\vd\fe", "a b  c d e"},
        {"\x1b[2J\x1b]0;title\x07", "?[2J?]0;title?"},                  // terminal escapes
        {std::string("nul\0del\x7f", 8), "nul?del?"},                   // NUL and DEL
        {"\xC2\x85nel\xE2\x80\xA8ls\xE2\x80\xA9ps", " nel ls ps"},      // Unicode line breaks
        {"\xC2\x9B[31m", "?[31m"},                                      // C1 in UTF-8
        {"\x9B[31m \x85", "?[31m  "},                                   // C1 as lone Latin-1 bytes
        {"photo\xE2\x80\xAEgnp.exe \xE2\x81\xA6!", "photo?gnp.exe ?!"}, // bidirectional overrides
        {"Strana 1: teplota \xC4\x8D \xE9 150,5", "Strana 1: teplota \xC4\x8D \xE9 150,5"},
    };
    for (const auto& [in, out] : utf8)
        EXPECT_EQ(plaintext::OneLine(in), out) << in;
    // Byte by byte as Latin-1: a UTF-8 sequence's second byte may be a C1 control there.
    EXPECT_EQ(plaintext::OneLineLatin1("1: @t=150,5C\r"), "1: @t=150,5C ");
    EXPECT_EQ(plaintext::OneLineLatin1("\x1b[K\xC4\x8D\xE9"), "?[K\xC4?\xE9");
}
