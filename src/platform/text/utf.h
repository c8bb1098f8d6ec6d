#pragma once
// UTF-8 and UTF-16 (either byte order) to and from Unicode code points, for
// settings files a user saved in a Unicode encoding. The decoders never read
// past their input: a malformed or cut-off sequence becomes U+FFFD.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

void AppendUtf8(std::vector<std::uint8_t>& out, char32_t c);
void AppendUtf16(std::vector<std::uint8_t>& out, char32_t c, bool bigEndian);

// A byte that starts no well-formed sequence (an overlong form, a surrogate, a
// value above U+10FFFF, a sequence cut short) becomes U+FFFD and clears *valid;
// decoding goes on at the next byte.
std::u32string DecodeUtf8(std::span<const std::uint8_t> in, bool* valid);
// A lone surrogate, or an odd byte at the end, becomes U+FFFD and clears *valid.
std::u32string DecodeUtf16(std::span<const std::uint8_t> in, bool bigEndian, bool* valid);

}  // namespace tolvane
