#include "win32/icon.h"

#include <vector>

#include "ui/icon_decode.h"

namespace tolvane::win32 {

HICON IconFromFile(ByteView file, int preferredWidth) {
  const auto image = ui::DecodeIcon(file, preferredWidth);
  if (!image || image->bytes.empty()) return nullptr;
  // The system functions take a non-const pointer; hand them a copy.
  std::vector<BYTE> bytes(image->bytes.begin(), image->bytes.end());
  HICON icon = CreateIconFromResourceEx(bytes.data(), static_cast<DWORD>(bytes.size()), TRUE, 0x30000,
                                        image->width, image->height, LR_DEFAULTCOLOR);
  if (icon == nullptr && image->bitsPerPixel != 16) {
    icon = CreateIconFromResource(bytes.data(), static_cast<DWORD>(bytes.size()), TRUE, 0x30000);
  }
  return icon;
}

}  // namespace tolvane::win32
