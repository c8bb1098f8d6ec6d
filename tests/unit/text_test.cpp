#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/text/byte_order.h"
#include "platform/text/gbk.h"
#include "platform/text/utf.h"

namespace tolvane {
namespace {

TEST(GbkRules, CharactersEndWhereCodePage936SaysSo) {
  struct Case {
    std::string_view text;
    std::size_t at, length;
  };
  const Case cases[] = {
      {"\x81\x40", 0, 2},  {"\xFE\xFE", 0, 2},  {"声", 0, 2},          // lowest and highest lead and trail
      {"\x80\\", 0, 1},    {"\xFF\\", 0, 1},    {"a\x81", 1, 1},       // 0x80 and 0xFF stand alone; a lead at the end
      {"\x81\x7F", 0, 1},  {"\x81\x3F", 0, 1},  {"\x81\xFF", 0, 1},    // a lead without a trail after it
      {"乗\\", 1, 1},      {"乗\\", 2, 1},                               // read from inside, a trail byte is one byte
  };
  for (const Case& c : cases) EXPECT_EQ(GbkCharLength(c.text, c.at), c.length) << c.at << " of " << c.text;

  EXPECT_EQ(FindLastGbkChar("C:\\乗", '\\'), 2u);  // 乗 ends in the byte of "\"
  EXPECT_EQ(FindLastGbkChar("乗乗", '\\'), std::string_view::npos);
  EXPECT_EQ(FindLastGbkChar("\x80\\\x80", '\\'), 1u);
  EXPECT_EQ(FindLastGbkChar("", '\\'), std::string_view::npos);
}

TEST(ByteOrder, ReadersTakeEveryByteUnsigned) {
  const std::array<std::uint8_t, 4> bytes = {0x81, 0xFF, 0x7F, 0xFE};
  EXPECT_EQ(Le16(bytes.data()), 0xFF81u);
  EXPECT_EQ(Le32(bytes.data()), 0xFE7FFF81u);
  EXPECT_EQ(Be16(bytes.data()), 0x81FFu);
  EXPECT_EQ(Be32(bytes.data()), 0x81FF7FFEu);
  std::array<std::uint8_t, 4> out{};
  PutLe32(out.data(), 0xFE7FFF81u);
  EXPECT_EQ(out, bytes);
}

std::vector<std::uint8_t> Utf8(std::u32string_view text) {
  std::vector<std::uint8_t> out;
  for (const char32_t c : text) AppendUtf8(out, c);
  return out;
}

TEST(Utf, EveryLengthRoundTripsInEachEncoding) {
  const std::u32string text = U"a\x7F\x80\x7FF\x800\xFFFF\x10000\x10FFFF";
  bool valid = true;
  EXPECT_EQ(DecodeUtf8(Utf8(text), &valid), text);
  EXPECT_EQ(Utf8(U"\x7F\x80\x10000"), (std::vector<std::uint8_t>{0x7F, 0xC2, 0x80, 0xF0, 0x90, 0x80, 0x80}));
  for (const bool bigEndian : {false, true}) {
    std::vector<std::uint8_t> out;
    for (const char32_t c : text) AppendUtf16(out, c, bigEndian);
    EXPECT_EQ(DecodeUtf16(out, bigEndian, &valid), text) << bigEndian;
  }
  std::vector<std::uint8_t> pair;
  AppendUtf16(pair, 0x1F600, true);
  EXPECT_EQ(pair, (std::vector<std::uint8_t>{0xD8, 0x3D, 0xDE, 0x00}));
  EXPECT_TRUE(valid);
}

TEST(Utf, MalformedInputBecomesReplacementCharactersWithoutReadingPastTheEnd) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::u32string expected;
  };
  const char32_t r = kReplacementCharacter;
  const Case utf8[] = {
      {{0xC0, 0x80}, {r, r}},                  // overlong
      {{0xED, 0xA0, 0x80}, {r, r, r}},         // a surrogate
      {{0xF4, 0x90, 0x80, 0x80}, {r, r, r, r}},  // above U+10FFFF
      {{'a', 0xE4, 0xB8}, {'a', r, r}},        // cut short at the end
      {{0xE4, 'b', 'c'}, {r, 'b', 'c'}},       // cut short by an ASCII byte
      {{0xFF}, {r}},
  };
  for (const Case& c : utf8) {
    bool valid = true;
    EXPECT_EQ(DecodeUtf8(c.bytes, &valid), c.expected);
    EXPECT_FALSE(valid);
  }
  const Case utf16le[] = {
      {{0x00, 0xDC, 'a', 0}, {r, 'a'}},  // a low surrogate alone
      {{'a', 0, 0x00, 0xD8}, {'a', r}},  // a high surrogate at the end
      {{0x00, 0xD8, 'a', 0}, {r, 'a'}},  // a high surrogate without its low one
      {{'a', 0, 'b'}, {'a', r}},         // an odd byte
  };
  for (const Case& c : utf16le) {
    bool valid = true;
    EXPECT_EQ(DecodeUtf16(c.bytes, false, &valid), c.expected);
    EXPECT_FALSE(valid);
  }
}

}  // namespace
}  // namespace tolvane
