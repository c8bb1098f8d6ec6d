#include "ui/icon_decode.h"
#include "ui/program_icon.h"

#include <gtest/gtest.h>

#include <vector>

#include "resources/resources.h"

namespace tolvane::ui {
namespace {

struct Entry {
  std::uint8_t width = 16, colours = 0;
  std::uint32_t size = 0, offset = 0;  // 0: filled in by the builder
  std::int32_t bitmapWidth = 16, bitmapHeight = 32;
  std::uint16_t bits = 32;
};

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  Put16(out, at, v & 0xFFFF);
  Put16(out, at + 2, v >> 16);
}

// An .ico file with one 40-byte bitmap header (plus a little pixel data) per entry.
std::vector<std::uint8_t> Icon(const std::vector<Entry>& entries, std::uint16_t type = 1) {
  constexpr std::uint32_t kImage = 48;
  std::vector<std::uint8_t> out(6 + 16 * entries.size() + kImage * entries.size());
  Put16(out, 2, type);
  Put16(out, 4, static_cast<std::uint32_t>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const std::size_t at = 6 + 16 * i;
    const std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size() + kImage * i);
    out[at] = e.width;
    out[at + 1] = e.width;
    out[at + 2] = e.colours;
    Put16(out, at + 4, 1);
    Put16(out, at + 6, e.bits);
    Put32(out, at + 8, e.size ? e.size : kImage);
    Put32(out, at + 12, e.offset ? e.offset : offset);
    Put32(out, offset, 40);
    Put32(out, offset + 4, static_cast<std::uint32_t>(e.bitmapWidth));
    Put32(out, offset + 8, static_cast<std::uint32_t>(e.bitmapHeight));
    Put16(out, offset + 12, 1);
    Put16(out, offset + 14, e.bits);
    out[offset + 40] = static_cast<std::uint8_t>(i);  // tells the images apart
  }
  return out;
}

std::uint8_t Marker(const IconImage& image) { return image.bytes[40]; }

// Scaled displays get the artwork drawn at their size, each file one image of that width;
// other icon files are left alone.
TEST(IconDecode, TheProgramIconAtEachSize) {
  const std::pair<int, int> asked[] = {{16, 16}, {17, 20}, {20, 20}, {24, 24}, {30, 32}, {32, 32}, {48, 48}, {64, 48}};
  for (auto [pixels, width] : asked) {
    const auto image = DecodeIcon(IconFileForSize(resources::programIcon(), pixels), width);
    ASSERT_TRUE(image) << pixels;
    EXPECT_EQ(image->width, width) << pixels;
    EXPECT_EQ(image->bitsPerPixel, 32);
  }
  const std::vector<std::uint8_t> other(resources::programIcon().begin(), resources::programIcon().end() - 1);
  EXPECT_EQ(IconFileForSize(other, 48).size(), other.size());
}

TEST(IconDecode, TheProgramIcon) {
  const ByteView file = resources::programIcon();
  ASSERT_EQ(file.size(), 1150u);
  const auto image = DecodeIcon(file, 16);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->bytes.data(), file.data() + 22);
  EXPECT_EQ(image->bytes.size(), 1128u);
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->height, 16);
  EXPECT_EQ(image->bitsPerPixel, 32);
  EXPECT_TRUE(DecodeIcon(file, 32));  // its only image is the fallback

  // Soft edges need partial alpha; transparent pixels are also set in the AND
  // mask for systems that ignore alpha.
  int partial = 0, clear = 0;
  for (int pixel = 0; pixel < 256; ++pixel) {
    const std::uint8_t alpha = image->bytes[40 + pixel * 4 + 3];
    partial += alpha > 0 && alpha < 255;
    const int row = pixel / 16, column = pixel % 16;
    const bool masked = image->bytes[40 + 1024 + row * 4 + column / 8] & (0x80 >> (column % 8));
    EXPECT_EQ(masked, alpha == 0) << pixel;
    clear += alpha == 0;
  }
  EXPECT_GT(partial, 10);
  EXPECT_GT(clear, 10);
}

TEST(IconDecode, PicksTheFirstEntryOfThePreferredWidthWithEnoughColours) {
  const auto file = Icon({{.width = 32, .colours = 16, .bitmapWidth = 32, .bitmapHeight = 64},
                          {.width = 16, .colours = 15},
                          {.width = 16, .colours = 16},
                          {.width = 16, .colours = 255},
                          {.width = 48, .colours = 0, .bitmapWidth = 48, .bitmapHeight = 96}});
  EXPECT_EQ(Marker(*DecodeIcon(file, 16)), 2);
  EXPECT_EQ(Marker(*DecodeIcon(file, 32)), 0);
  const auto fallback = DecodeIcon(file, 24);
  EXPECT_EQ(Marker(*fallback), 4);  // none fits: the last entry
  EXPECT_EQ(fallback->width, 48);
  EXPECT_EQ(fallback->height, 48);
}

TEST(IconDecode, CursorsTooButOnlyWithAValidHeader) {
  EXPECT_TRUE(DecodeIcon(Icon({{}}, 2), 16));
  EXPECT_FALSE(DecodeIcon(Icon({{}}, 0), 16));
  EXPECT_FALSE(DecodeIcon(Icon({{}}, 3), 16));
  auto reserved = Icon({{}});
  reserved[0] = 1;
  EXPECT_FALSE(DecodeIcon(reserved, 16));
  auto none = Icon({{}});
  none[4] = 0;
  EXPECT_FALSE(DecodeIcon(none, 16));
  for (std::size_t size = 0; size < 6 + 16 + 16; ++size)
    EXPECT_FALSE(DecodeIcon(ByteView(Icon({{}})).first(size), 16)) << size;
}

TEST(IconDecode, HostileDirectoriesGiveNoIcon) {
  // More entries claimed than the file holds: the walk runs off the end.
  auto claimsMore = Icon({{.width = 48}});
  Put16(claimsMore, 4, 0xFFFF);
  EXPECT_FALSE(DecodeIcon(claimsMore, 16));
  // ...but a fitting entry found before the end is fine.
  auto early = Icon({{.width = 16, .colours = 16}});
  Put16(early, 4, 0xFFFF);
  EXPECT_TRUE(DecodeIcon(early, 16));

  EXPECT_FALSE(DecodeIcon(Icon({{.size = 0xFFFFFFF0u}}), 16));
  EXPECT_FALSE(DecodeIcon(Icon({{.size = 0x20, .offset = 0xFFFFFFF0u}}), 16));  // offset + size wraps in 32 bits
  EXPECT_FALSE(DecodeIcon(Icon({{.size = 49}}), 16));                            // one byte past the end
  EXPECT_FALSE(DecodeIcon(Icon({{.size = 15}}), 16));                            // too short for a bitmap header
  EXPECT_FALSE(DecodeIcon(Icon({{.bitmapHeight = -32}}), 16));
  EXPECT_FALSE(DecodeIcon(Icon({{.bitmapHeight = 1}}), 16));
  EXPECT_FALSE(DecodeIcon(Icon({{.bitmapWidth = 0}}), 16));
}

TEST(IconDecode, PngImagesTakeTheirSizeFromTheirHeader) {
  std::vector<std::uint8_t> file = Icon({{.width = 0}});
  const std::uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                              0, 0, 1, 0, 0, 0, 1, 0, 8, 6, 0, 0, 0};
  std::copy(std::begin(png), std::end(png), file.begin() + 22);
  const auto image = DecodeIcon(file, 16);
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->png);
  EXPECT_EQ(image->width, 256);
  EXPECT_EQ(image->height, 256);
  file[22 + 12] = 'X';  // no IHDR where it must be
  EXPECT_FALSE(DecodeIcon(file, 16));
}

}  // namespace
}  // namespace tolvane::ui
