#include "ui/program_icon.h"

#include <algorithm>
#include <utility>

#include "resources/resources.h"

namespace tolvane::ui {

ByteView IconFileForSize(ByteView file, int pixels) {
  const ByteView own = resources::programIcon();
  if (!std::ranges::equal(file, own)) return file;
  const std::pair<int, ByteView> sizes[] = {{16, own},
                                            {20, resources::programIcon20()},
                                            {24, resources::programIcon24()},
                                            {32, resources::programIcon32()},
                                            {48, resources::programIcon48()}};
  for (const auto& [size, bytes] : sizes) {
    if (size >= pixels) return bytes;
  }
  return sizes[std::size(sizes) - 1].second;
}

}  // namespace tolvane::ui
