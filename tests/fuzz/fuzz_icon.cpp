// Icon decoding on arbitrary bytes: whatever the directory claims, the image
// handed on lies inside the input and has a usable size.
#include <cstdint>
#include <cstdlib>

#include "ui/icon_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tolvane::ByteView file(data, size);
  for (const int width : {16, 32}) {
    const auto image = tolvane::ui::DecodeIcon(file, width);
    if (!image) continue;
    if (image->bytes.empty() || image->bytes.data() < data || image->bytes.data() + image->bytes.size() > data + size ||
        image->width <= 0 || image->height <= 0)
      std::abort();
    unsigned sum = 0;  // touch every byte so a bad span shows under the sanitizers
    for (const std::uint8_t b : image->bytes) sum += b;
    if (sum == 0xFFFFFFFFu) std::abort();
  }
  return 0;
}
