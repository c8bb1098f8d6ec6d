#include "platform/text/text_linux.h"

#include <glib.h>

#include <algorithm>
#include <memory>

#include "platform/text/gbk_unicode.h"

namespace tolvane {

namespace {

struct GFree {
  void operator()(gchar* p) const { g_free(p); }
};
using GOwned = std::unique_ptr<gchar, GFree>;

std::string Take(gchar* owned) {
  const GOwned held(owned);
  return held ? std::string(held.get()) : std::string();
}

std::string CodePointsToUtf8(std::u32string_view points) {
  std::string utf8;
  for (const char32_t point : points) {
    char buffer[8];
    const gint length = g_unichar_to_utf8(static_cast<gunichar>(point), buffer);
    utf8.append(buffer, static_cast<std::size_t>(length));
  }
  return utf8;
}

// GLib takes any case of the scheme, so the program does too.
bool IsFileUri(std::string_view text) { return text.size() >= 5 && g_ascii_strncasecmp(text.data(), "file:", 5) == 0; }

// The bytes of a local file URI; empty when it is not one. URIs the program
// writes are ASCII: any other byte means the text is something else.
std::string UriToFileName(std::string_view uri) {
  if (std::any_of(uri.begin(), uri.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80 || c == '\0'; }))
    return {};
  gchar* host = nullptr;
  std::string name = Take(g_filename_from_uri(std::string(uri).c_str(), &host, nullptr));
  const GOwned hostHeld(host);
  if (host != nullptr && g_ascii_strcasecmp(host, "localhost") != 0) return {};
  return name;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) { return CodePointsToUtf8(GbkToCodePoints(gbk)); }

std::string Utf8ToGbk(std::string_view utf8, bool* lossless) {
  glong count = 0;
  gunichar* points = g_utf8_to_ucs4(utf8.data(), static_cast<glong>(utf8.size()), nullptr, &count, nullptr);
  if (points == nullptr) {
    if (lossless) *lossless = false;
    return {};
  }
  const std::u32string text(reinterpret_cast<const char32_t*>(points), static_cast<std::size_t>(count));
  g_free(points);
  return CodePointsToGbk(text, lossless);
}

std::string FileNameToText(std::string_view fileName) {
  if (fileName.empty() || fileName.find('\0') != std::string_view::npos) return {};
  gsize written = 0;
  const GOwned utf8(g_filename_to_utf8(fileName.data(), static_cast<gssize>(fileName.size()), nullptr, &written, nullptr));
  if (utf8) {
    bool lossless = true;
    std::string gbk = Utf8ToGbk(std::string_view(utf8.get(), written), &lossless);
    // Plain only when it leads back to the very same bytes: a relative name that
    // reads as a URI, or a character GBK does not keep exactly, becomes the URI.
    if (lossless && TextToFileName(gbk) == fileName) return gbk;
  }
  return FileNameToUri(fileName);
}

std::string FileNameToUri(std::string_view fileName) {
  if (fileName.find('\0') != std::string_view::npos) return {};
  return Take(g_filename_to_uri(std::string(fileName).c_str(), nullptr, nullptr));
}

std::string TextToFileName(std::string_view text) {
  if (text.empty()) return {};
  if (IsFileUri(text)) return UriToFileName(text);
  bool lossless = true;
  const std::u32string points = GbkToCodePoints(text, &lossless);
  if (!lossless || points.find(U'\0') != std::u32string::npos) return {};
  const std::string utf8 = CodePointsToUtf8(points);
  gsize written = 0;
  const GOwned name(g_filename_from_utf8(utf8.c_str(), static_cast<gssize>(utf8.size()), nullptr, &written, nullptr));
  return name ? std::string(name.get(), written) : std::string();
}

std::string FileNameTextShown(std::string_view text) {
  if (!IsFileUri(text)) return std::string(text);
  const std::string name = UriToFileName(text);
  if (name.empty()) return std::string(text);
  return Utf8ToGbk(Take(g_filename_display_name(name.c_str())));
}

}  // namespace tolvane
