#include "platform/text/gbk_unicode.h"

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "platform/text/gbk.h"
#include "platform/text/utf.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace tolvane {

namespace {

#ifdef _WIN32

// Code page 936 through the system's own conversion, which every Windows has; the C
// runtime's locale-taking functions are missing from the runtime of older Windows.
class Converter {
 public:
  // GBK bytes of one non-ASCII character, or nullopt when it has none.
  std::optional<std::string> Encode(char32_t c) {
    if (c > 0xFFFF) return std::nullopt;  // code page 936 has only BMP characters
    const wchar_t wide = static_cast<wchar_t>(c);
    char bytes[8];
    BOOL defaulted = FALSE;
    const int n = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes, nullptr, &defaulted);
    if (defaulted || n <= 0 || n > 2) return std::nullopt;
    return std::string(bytes, static_cast<std::size_t>(n));
  }

  // The character of a one- or two-byte GBK sequence, or nullopt.
  std::optional<char32_t> Decode(std::string_view bytes) {
    wchar_t c = 0;
    const int n = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &c, 1);
    if (n != 1) return std::nullopt;
    return static_cast<char32_t>(c);
  }

 private:
  static constexpr UINT kGbk = 936;
};

#else

class Converter {
 public:
  Converter()
      : toGbk_(iconv_open("CP936", "UTF-32LE")), fromGbk_(iconv_open("UTF-32LE", "CP936")) {}
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (toGbk_ != kNone) iconv_close(toGbk_);
    if (fromGbk_ != kNone) iconv_close(fromGbk_);
  }

  // The window converts the same few characters every second (the clock, the board),
  // so what iconv answered is remembered; a file of many characters only refills it.
  std::optional<std::string> Encode(char32_t c) {
    if (auto known = encoded_.find(c); known != encoded_.end()) return known->second;
    if (encoded_.size() >= kRemembered) encoded_.clear();
    return encoded_[c] = AskEncode(c);
  }

  std::optional<char32_t> Decode(std::string_view bytes) {
    std::uint32_t key = static_cast<std::uint32_t>(bytes.size()) << 16;  // one byte or two
    for (std::size_t i = 0; i < bytes.size() && i < 2; ++i) {
      key |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * (1 - i));
    }
    if (auto known = decoded_.find(key); known != decoded_.end()) return known->second;
    if (decoded_.size() >= kRemembered) decoded_.clear();
    return decoded_[key] = AskDecode(bytes);
  }

 private:
  static constexpr std::size_t kRemembered = 4096;

  std::optional<std::string> AskEncode(char32_t c) {
    char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                  static_cast<char>((c >> 16) & 0xFF), static_cast<char>((c >> 24) & 0xFF)};
    char out[8];
    const std::size_t n = Run(toGbk_, in, sizeof in, out, sizeof out);
    if (n == 0 || n > 2) return std::nullopt;
    return std::string(out, n);
  }

  std::optional<char32_t> AskDecode(std::string_view bytes) {
    char in[2];
    bytes.copy(in, sizeof in);
    char out[8];
    if (Run(fromGbk_, in, bytes.size(), out, sizeof out) != 4) return std::nullopt;
    const auto b = [&](int i) { return static_cast<char32_t>(static_cast<unsigned char>(out[i])); };
    return b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24);
  }

  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

  // Converts one whole character; the number of bytes produced, 0 on failure.
  static std::size_t Run(iconv_t cd, char* in, std::size_t inSize, char* out, std::size_t outSize) {
    if (cd == kNone) return 0;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = inSize;
    std::size_t outLeft = outSize;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) return 0;
    return outSize - outLeft;
  }

  iconv_t toGbk_;
  iconv_t fromGbk_;
  std::unordered_map<char32_t, std::optional<std::string>> encoded_;
  std::unordered_map<std::uint32_t, std::optional<char32_t>> decoded_;
};

#endif

// Opening a converter costs far more than converting a settings file, so each
// thread keeps its own.
Converter& ThreadConverter() {
  thread_local Converter converter;
  return converter;
}

}  // namespace

std::string CodePointsToGbk(std::u32string_view text, bool* lossless) {
  bool exact = true;
  std::string gbk;
  gbk.reserve(text.size() * 2);
  Converter& converter = ThreadConverter();
  for (const char32_t c : text) {
    if (c < 0x80) {
      gbk.push_back(static_cast<char>(c));
      continue;
    }
    auto bytes = converter.Encode(c);
    // A look-alike mapping would silently turn one character into another when
    // the text is written back; only exact round trips count.
    if (bytes && converter.Decode(*bytes) != c) bytes.reset();
    if (bytes) {
      gbk += *bytes;
    } else {
      gbk.push_back('?');
      exact = false;
    }
  }
  if (lossless) *lossless = exact;
  return gbk;
}

std::u32string GbkToCodePoints(std::string_view text, bool* lossless) {
  bool exact = true;
  std::u32string out;
  out.reserve(text.size());
  Converter& converter = ThreadConverter();
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    const std::size_t length = GbkCharLength(text, i);
    // Of the single bytes above 0x7F only 0x80 (the euro sign) is a character;
    // the systems disagree on what the others stand for.
    const auto c = (length == 2 || b == 0x80) ? converter.Decode(text.substr(i, length)) : std::nullopt;
    if (c && *c >= 0x80 && *c != kReplacementCharacter) {
      out.push_back(*c);
    } else {
      out.push_back(kReplacementCharacter);
      exact = false;
    }
    i += length;
  }
  if (lossless) *lossless = exact;
  return out;
}

}  // namespace tolvane
