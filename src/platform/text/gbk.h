#pragma once
// The byte rules of GBK (code page 936), the encoding of every text the program
// holds: which bytes start a two-byte character, which may end one, and where a
// character ends. Every scan of program text steps by these rules, except the
// full-width folding of date texts and typed numbers, which keeps a wider rule of
// its own on purpose and is named for it below.
#include <cstddef>
#include <string_view>

namespace tolvane {

// A byte from 0x81 to 0xFE starts a two-byte character. 0x80 (the euro sign) and
// 0xFF stand alone.
constexpr bool IsGbkLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
// The second byte of a two-byte character: 0x40 to 0xFE, except 0x7F. It may
// equal an ASCII character such as "\" or a letter and still be part of another.
constexpr bool IsGbkTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Bytes taken by the character at text[at] (at < text.size()): two for a lead
// byte followed by a trail byte, one otherwise, also for a lead byte at the end.
constexpr std::size_t GbkCharLength(std::string_view text, std::size_t at) {
  return IsGbkLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() &&
                 IsGbkTrailByte(static_cast<unsigned char>(text[at + 1]))
             ? 2
             : 1;
}

// Where the last character equal to the one-byte character c starts, npos when
// there is none. A trail byte equal to c is never taken for it.
std::size_t FindLastGbkChar(std::string_view text, char c);

// The full-width folding rule: every byte from 0x80 starts a two-byte character,
// wider than code page 936 (which lets 0x80 and 0xFF stand alone). Date texts and
// typed numbers have always been folded by this rule, so it stays as it is.
constexpr bool StartsFoldingPair(unsigned char b) { return b >= 0x80; }

}  // namespace tolvane
