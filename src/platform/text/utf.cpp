#include "platform/text/utf.h"

namespace tolvane {

void AppendUtf8(std::vector<std::uint8_t>& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<std::uint8_t>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<std::uint8_t>(0xC0 | (c >> 6)));
    out.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<std::uint8_t>(0xE0 | (c >> 12)));
    out.push_back(static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<std::uint8_t>(0xF0 | (c >> 18)));
    out.push_back(static_cast<std::uint8_t>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
  }
}

void AppendUtf16(std::vector<std::uint8_t>& out, char32_t c, bool bigEndian) {
  const auto unit = [&](std::uint32_t u) {
    const auto hi = static_cast<std::uint8_t>(u >> 8), lo = static_cast<std::uint8_t>(u & 0xFF);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
  };
  if (c < 0x10000) {
    unit(c);
  } else {
    const std::uint32_t v = c - 0x10000;
    unit(0xD800 | (v >> 10));
    unit(0xDC00 | (v & 0x3FF));
  }
}

std::u32string DecodeUtf8(std::span<const std::uint8_t> in, bool* valid) {
  std::u32string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    const std::uint8_t b = in[i];
    std::size_t length = 0;
    char32_t c = 0, minimum = 0;
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      length = 2, c = b & 0x1F, minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      length = 3, c = b & 0x0F, minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      length = 4, c = b & 0x07, minimum = 0x10000;
    }
    bool ok = length != 0 && in.size() - i >= length;
    for (std::size_t k = 1; ok && k < length; ++k) {
      if ((in[i + k] & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (in[i + k] & 0x3F);
    }
    ok = ok && c >= minimum && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
    if (ok) {
      out.push_back(c);
      i += length;
    } else {
      out.push_back(kReplacementCharacter);
      *valid = false;
      ++i;
    }
  }
  return out;
}

std::u32string DecodeUtf16(std::span<const std::uint8_t> in, bool bigEndian, bool* valid) {
  std::u32string out;
  out.reserve(in.size() / 2);
  const auto unit = [&](std::size_t i) -> char32_t {
    return bigEndian ? (in[i] << 8) | in[i + 1] : in[i] | (in[i + 1] << 8);
  };
  std::size_t i = 0;
  for (; i + 1 < in.size(); i += 2) {
    const char32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < in.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out.push_back(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      out.push_back(kReplacementCharacter);
      *valid = false;
    } else {
      out.push_back(u);
    }
  }
  if (i < in.size()) {  // an odd byte at the end
    out.push_back(kReplacementCharacter);
    *valid = false;
  }
  return out;
}

}  // namespace tolvane
