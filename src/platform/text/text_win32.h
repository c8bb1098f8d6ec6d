#pragma once
// GBK <-> UTF-16 at the Windows API boundary: the program keeps its texts in GBK
// and calls the W functions, so it reads correctly whatever the system code page.
#include <string>
#include <string_view>

namespace tolvane {

std::wstring GbkToWide(std::string_view text);
// Characters GBK cannot hold come out as the default character; *lossless tells
// whether that happened (or the conversion failed).
std::string WideToGbk(std::wstring_view text, bool* lossless = nullptr);

}  // namespace tolvane
