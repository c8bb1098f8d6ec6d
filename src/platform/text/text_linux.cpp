#include "platform/text/text_linux.h"

#include <glib.h>

#include "platform/text/gbk_unicode.h"

namespace tolvane {

std::string GbkToUtf8(std::string_view gbk) {
  const std::u32string points = GbkToCodePoints(gbk);
  std::string utf8;
  for (const char32_t point : points) {
    char buffer[8];
    const gint length = g_unichar_to_utf8(static_cast<gunichar>(point), buffer);
    utf8.append(buffer, static_cast<std::size_t>(length));
  }
  return utf8;
}

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

}  // namespace tolvane
