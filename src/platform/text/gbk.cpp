#include "platform/text/gbk.h"

namespace tolvane {

std::size_t FindLastGbkChar(std::string_view text, char c) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); i += GbkCharLength(text, i)) {
    if (text[i] == c) last = i;
  }
  return last;
}

}  // namespace tolvane
