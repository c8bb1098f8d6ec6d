#pragma once
// Conversion between Unicode code points and GBK (code page 936), for settings
// files a user saved in UTF-8 or UTF-16. Uses the C library on both systems
// (iconv on Linux, the runtime's code page 936 locale on Windows), so the core
// and its tests need nothing from the Windows API.
#include <string>
#include <string_view>

namespace tolvane {

// A character GBK cannot hold becomes '?'. *lossless is false when that
// happened or when a character would come back as a different one.
std::string CodePointsToGbk(std::u32string_view text, bool* lossless = nullptr);

// Invalid or truncated byte sequences become U+FFFD, and *lossless is false.
std::u32string GbkToCodePoints(std::string_view text, bool* lossless = nullptr);

}  // namespace tolvane
