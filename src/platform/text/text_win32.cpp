#include "platform/text/text_win32.h"

#include <windows.h>

#include <climits>

namespace tolvane {

namespace {
constexpr UINT kGbkCodePage = 936;
}  // namespace

std::wstring GbkToWide(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int size = static_cast<int>(text.size());
  const int wideSize = MultiByteToWideChar(kGbkCodePage, 0, text.data(), size, nullptr, 0);
  if (wideSize <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  const int written = MultiByteToWideChar(kGbkCodePage, 0, text.data(), size, wide.data(), wideSize);
  wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return wide;
}

std::string WideToGbk(std::wstring_view text, bool* lossless) {
  if (lossless) *lossless = true;
  if (text.empty()) return {};
  if (text.size() > INT_MAX) {
    if (lossless) *lossless = false;
    return {};
  }
  const int size = static_cast<int>(text.size());
  // No best fit: a character without a GBK form must show up as lost, not as a
  // look-alike that names a different file.
  BOOL usedDefault = FALSE;
  const int gbkSize =
      WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0, nullptr, &usedDefault);
  if (gbkSize <= 0) {
    if (lossless) *lossless = false;
    return {};
  }
  std::string gbk(static_cast<std::size_t>(gbkSize), '\0');
  usedDefault = FALSE;
  const int written = WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text.data(), size, gbk.data(), gbkSize,
                                          nullptr, &usedDefault);
  gbk.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  if (lossless && (usedDefault || written <= 0)) *lossless = false;
  return gbk;
}

}  // namespace tolvane
