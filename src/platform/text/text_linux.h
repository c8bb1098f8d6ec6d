#pragma once
// GBK <-> UTF-8 at the boundary to GTK and D-Bus, through the portable converter.
#include <string>
#include <string_view>

namespace tolvane {

std::string GbkToUtf8(std::string_view gbk);
// *lossless is false when a character has no GBK form (it becomes '?') or the
// UTF-8 is malformed.
std::string Utf8ToGbk(std::string_view utf8, bool* lossless = nullptr);

}  // namespace tolvane
