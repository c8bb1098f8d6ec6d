#include "platform/sound/wave_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bytes.h"

namespace tolvane::sound {
namespace {

using namespace bytes;
using Samples = std::vector<std::int16_t>;

Bytes Extensible(std::uint16_t subFormat, std::uint16_t channels, std::uint16_t bits, std::uint32_t mask = 0) {
  Bytes b = Fmt(0xFFFE, channels, bits);
  Put(b, 22, 2);
  Put(b, bits, 2);  // valid bits
  Put(b, mask, 4);
  Put(b, subFormat, 4);
  for (std::uint8_t x : {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) b.push_back(x);
  return b;
}

struct ConversionCase {
  const char* name;
  Bytes format;
  Bytes data;
  std::uint16_t channels;
  Samples expected;
};

// Negative full scale, zero and positive full scale in each sample format; a byte
// or a frame cut short at the end is dropped.
TEST(WaveConvert, EachSampleFormatTo16Bits) {
  const float nan = std::nanf("");
  const ConversionCase cases[] = {
      {"8-bit unsigned", Fmt(1, 1, 8), {0x00, 0x80, 0xFF, 0xC0}, 1, {-32768, 0, 32512, 16384}},
      {"16-bit, odd byte count", Fmt(1, 1, 16), {0x00, 0x80, 0, 0, 0xFF, 0x7F, 0x01}, 1, {-32768, 0, 32767}},
      {"12 bits in 16", Fmt(1, 1, 12), {0x00, 0x80, 0xF0, 0x7F}, 1, {-32768, 32752}},
      {"24-bit", Fmt(1, 1, 24), {0, 0, 0x80, 0, 0, 0, 0xFF, 0xFF, 0x7F, 0x00, 0x34, 0x12, 0xAA}, 1,
       {-32768, 0, 32767, 0x1234}},
      {"32-bit integer", Fmt(1, 1, 32), {0, 0, 0, 0x80, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3}, 1,
       {-32768, 0, 32767}},
      {"32-bit float, clipped and NaN", Fmt(3, 1, 32), LittleEndian<float>({-1.0f, 0.0f, 1.0f, 0.5f, -3.0f, 2.0f, nan}), 1,
       {-32768, 0, 32767, 16384, -32768, 32767, 0}},
      {"64-bit float", Fmt(3, 1, 64), LittleEndian<double>({-1.0, 0.0, 1.0, -0.25}), 1, {-32768, 0, 32767, -8192}},
      {"stereo 16-bit, truncated last frame", Fmt(1, 2, 16), LittleEndian<std::int16_t>({1, -1, 2, -2, 3}), 2, {1, -1, 2, -2}},
      {"extensible 24-bit stereo", Extensible(1, 2, 24, 0x3), {0, 0, 0x80, 0xFF, 0xFF, 0x7F, 0, 0x01, 0x02}, 2,
       {-32768, 32767}},
      {"extensible float", Extensible(3, 1, 32), LittleEndian<float>({0.25f, -0.5f}), 1, {8192, -16384}},
      // Left: FL, FC, LFE, BL; right: FR, FC, LFE, BR; each the mean of its channels.
      {"6 channels in the usual order", Fmt(1, 6, 16), LittleEndian<std::int16_t>({800, -800, 400, 0, 0, 0, 32767, 32767, 32767, 32767, 32767, 32767}),
       2, {300, -100, 32767, 32767}},
      // Mask FL FR BL BR: the third channel is a back left one.
      {"4 channels by mask", Extensible(1, 4, 16, 0x33), LittleEndian<std::int16_t>({100, 0, 300, 0}), 2, {200, 0}},
      // Only right-hand speakers: the left side repeats the right.
      {"3 channels, all on the right", Extensible(1, 3, 16, 0x422), LittleEndian<std::int16_t>({30, 60, 90}), 2, {60, 60}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto wave = ConvertToPcm16(c.format, c.data);
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->channels, c.channels);
    EXPECT_EQ(wave->rate, 8000u);
    EXPECT_EQ(wave->samples, c.expected);
  }
}

TEST(WaveConvert, RefusesWhatItCannotTake) {
  Bytes wrongGuid = Extensible(1, 1, 16);
  wrongGuid.back() ^= 1;
  Bytes cutShort = Extensible(1, 1, 16);
  cutShort.pop_back();
  Bytes noChannels = Fmt(1, 1, 16);
  noChannels[2] = 0;
  const std::pair<const char*, Bytes> formats[] = {
      {"MS ADPCM", Fmt(2, 1, 4)},       {"IMA ADPCM", Fmt(0x11, 1, 4)},   {"mu-law", Fmt(7, 1, 8)},
      {"A-law", Fmt(6, 1, 8)},          {"16-bit float", Fmt(3, 1, 16)},  {"0 bits", Fmt(1, 1, 0)},
      {"33 bits", Fmt(1, 1, 33)},       {"no channels", noChannels},      {"short format", Bytes(14, 1)},
      {"extensible, other GUID", wrongGuid}, {"extensible, cut short", cutShort},
      {"extensible ADPCM", Extensible(2, 1, 4)},
  };
  const Bytes data(64, 0x55);
  for (const auto& [name, format] : formats) EXPECT_FALSE(ConvertToPcm16(format, data)) << name;
  EXPECT_FALSE(ConvertToPcm16(Fmt(1, 2, 24), Bytes(5, 0))) << "less than one frame";
  // A channel count the data cannot hold one frame of allocates nothing.
  EXPECT_FALSE(ConvertToPcm16(Fmt(1, 65535, 32), data));
}

TEST(WaveConvert, ResamplesByLinearInterpolation) {
  const Pcm16Wave mono{1, 22050, {0, 1000}};
  EXPECT_EQ(Resample(mono, 44100)->samples, (Samples{0, 500, 1000, 1000}));
  const Pcm16Wave stereo{2, 22050, {0, 100, 1000, -100}};
  EXPECT_EQ(Resample(stereo, 44100)->samples, (Samples{0, 100, 500, 0, 1000, -100, 1000, -100}));
  EXPECT_EQ(Resample(Pcm16Wave{1, 88200, {0, 10, 20, 30}}, 44100)->samples, (Samples{0, 20}));

  // Lengths: the frame count scales with the rate, rounded, never below one.
  const struct {
    std::uint32_t from;
    std::size_t frames;
    std::size_t expected;
  } lengths[] = {{96000, 96000, 44100}, {11025, 11025, 44100}, {8000, 8001, 44106}, {96000, 1, 1}, {44100, 7, 7}};
  for (const auto& l : lengths) {
    const auto out = Resample(Pcm16Wave{2, l.from, Samples(l.frames * 2, 7)}, 44100);
    ASSERT_TRUE(out) << l.from;
    EXPECT_EQ(out->rate, 44100u);
    EXPECT_EQ(out->samples.size(), l.expected * 2) << l.from << " Hz, " << l.frames << " frames";
  }
  EXPECT_FALSE(Resample(Pcm16Wave{1, kMinResampleRate - 1, Samples(10)}, 44100));
  EXPECT_FALSE(Resample(Pcm16Wave{1, 44100, {}}, 22050));
}

TEST(WaveConvert, FormatBlockDescribesTheResult) {
  const Bytes expected = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
  EXPECT_EQ(Pcm16FormatBlock(Pcm16Wave{2, 44100, {}}), expected);
}

}  // namespace
}  // namespace tolvane::sound
