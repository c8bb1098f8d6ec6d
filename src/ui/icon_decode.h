#pragma once
// Picking one image out of the bytes of an .ico or .cur file, ready to hand to
// the system's icon-from-resource functions. Pure: every size and offset in the
// file is checked against the bytes actually there.
#include <cstdint>
#include <optional>

#include "platform/text/byte_view.h"

namespace tolvane::ui {

struct IconImage {
  ByteView bytes;           // the image as stored: bitmap header, colours and mask (or a PNG stream)
  std::int32_t width = 0;   // from the image's own header
  std::int32_t height = 0;  // of the visible image: half the bitmap's stored height, which covers the mask too
  std::uint16_t bitsPerPixel = 0;
  bool png = false;
};

// The header must read reserved 0, type 1 (icon) or 2 (cursor) and a count
// above 0. The image is the first directory entry whose width byte equals
// preferredWidth and whose colour count exceeds 15; failing that, the last
// entry. nullopt when anything is out of range or too short.
std::optional<IconImage> DecodeIcon(ByteView file, int preferredWidth);

}  // namespace tolvane::ui
