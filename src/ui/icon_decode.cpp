#include "ui/icon_decode.h"

#include "platform/text/byte_order.h"

namespace tolvane::ui {

namespace {

constexpr std::size_t kHeaderBytes = 6;
constexpr std::size_t kEntryBytes = 16;
constexpr std::size_t kCoreHeaderBytes = 12;  // the old OS/2-style bitmap header
constexpr std::size_t kInfoHeaderFields = 16;  // size, width, height, planes, bit count

bool IsPng(ByteView image) {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (image.size() < sizeof kSignature) return false;
  for (std::size_t i = 0; i < sizeof kSignature; ++i)
    if (image[i] != kSignature[i]) return false;
  return true;
}

// Newer icons may hold a PNG stream instead of a bitmap; its size is in the
// IHDR chunk that must follow the signature.
std::optional<IconImage> FromPng(ByteView image) {
  constexpr std::size_t kIhdrEnd = 8 + 8 + 13;
  if (image.size() < kIhdrEnd || Be32(image.data() + 8) != 13 || image[12] != 'I' || image[13] != 'H' ||
      image[14] != 'D' || image[15] != 'R')
    return std::nullopt;
  const std::uint32_t width = Be32(image.data() + 16);
  const std::uint32_t height = Be32(image.data() + 20);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return std::nullopt;
  return IconImage{image, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), 32, true};
}

std::optional<IconImage> FromBitmap(ByteView image) {
  if (image.size() < 4) return std::nullopt;
  std::int64_t width = 0, storedHeight = 0;
  std::uint16_t bits = 0;
  if (Le32(image.data()) == kCoreHeaderBytes) {
    if (image.size() < kCoreHeaderBytes) return std::nullopt;
    width = Le16(image.data() + 4);
    storedHeight = Le16(image.data() + 6);
    bits = Le16(image.data() + 10);
  } else {
    if (image.size() < kInfoHeaderFields) return std::nullopt;
    width = static_cast<std::int32_t>(Le32(image.data() + 4));
    storedHeight = static_cast<std::int32_t>(Le32(image.data() + 8));
    bits = Le16(image.data() + 14);
  }
  // The stored height covers the colour rows and the mask rows below them.
  const std::int64_t height = storedHeight / 2;
  if (width <= 0 || height <= 0) return std::nullopt;
  return IconImage{image, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), bits, false};
}

}  // namespace

std::optional<IconImage> DecodeIcon(ByteView file, int preferredWidth) {
  if (file.size() < kHeaderBytes) return std::nullopt;
  const std::uint16_t reserved = Le16(file.data()), type = Le16(file.data() + 2), count = Le16(file.data() + 4);
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) return std::nullopt;

  std::size_t chosen = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kHeaderBytes + i * kEntryBytes;
    if (entry > file.size() || file.size() - entry < kEntryBytes) return std::nullopt;  // the directory runs past the file
    chosen = entry;
    if (file[entry] == preferredWidth && file[entry + 2] > 15) break;
  }

  const std::uint32_t size = Le32(file.data() + chosen + 8);
  const std::uint32_t offset = Le32(file.data() + chosen + 12);
  // Compared without adding, so offset + size cannot wrap.
  if (offset > file.size() || size > file.size() - offset || size == 0) return std::nullopt;
  const ByteView image = file.subspan(offset, size);
  return IsPng(image) ? FromPng(image) : FromBitmap(image);
}

}  // namespace tolvane::ui
