#include "platform/sound/wave_convert.h"
#include "platform/text/byte_order.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace tolvane::sound {
namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
// The sub-format GUID of an extensible format is the old format tag followed by
// these fixed bytes.
constexpr std::array<std::uint8_t, 12> kSubFormatTail = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                         0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};


enum class Encoding { Unsigned8, Signed, Float32, Float64 };

struct SampleLayout {
  Encoding encoding;
  std::size_t bytes;  // per sample
  std::uint16_t channels;
  std::uint32_t rate;
  std::uint32_t channelMask;  // 0: the channels are in the usual speaker order
};

std::optional<SampleLayout> LayoutOf(ByteView format) {
  if (format.size() < 16) return std::nullopt;
  std::uint16_t tag = Le16(&format[0]);
  const std::uint16_t channels = Le16(&format[2]);
  const std::uint32_t rate = Le32(&format[4]);
  const std::uint16_t bits = Le16(&format[14]);
  std::uint32_t mask = 0;
  if (tag == kTagExtensible) {
    if (format.size() < 40 || !std::equal(kSubFormatTail.begin(), kSubFormatTail.end(), &format[28])) {
      return std::nullopt;
    }
    const std::uint32_t subFormat = Le32(&format[24]);
    if (subFormat > 0xFFFF) return std::nullopt;
    tag = static_cast<std::uint16_t>(subFormat);
    mask = Le32(&format[20]);
  }
  if (channels == 0 || rate == 0) return std::nullopt;
  if (tag == kTagPcm && bits >= 1 && bits <= 32) {
    const std::size_t bytes = (bits + 7u) / 8u;
    return SampleLayout{bytes == 1 ? Encoding::Unsigned8 : Encoding::Signed, bytes, channels, rate, mask};
  }
  if (tag == kTagFloat && bits == 32) return SampleLayout{Encoding::Float32, 4, channels, rate, mask};
  if (tag == kTagFloat && bits == 64) return SampleLayout{Encoding::Float64, 8, channels, rate, mask};
  return std::nullopt;
}

std::int16_t FromFloat(double v) {
  if (std::isnan(v)) return 0;
  v = std::clamp(v * 32768.0, -32768.0, 32767.0);
  return static_cast<std::int16_t>(std::lround(v));
}

// Integer samples keep their top 16 bits: the rest lies below what 16 bits can tell.
std::int16_t Decode(const std::uint8_t* p, const SampleLayout& layout) {
  switch (layout.encoding) {
    case Encoding::Unsigned8:
      return static_cast<std::int16_t>((p[0] - 128) * 256);
    case Encoding::Signed:
      return static_cast<std::int16_t>(Le16(p + layout.bytes - 2));
    case Encoding::Float32:
      return FromFloat(std::bit_cast<float>(Le32(p)));
    case Encoding::Float64: {
      const std::uint64_t raw = Le32(p) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
      return FromFloat(std::bit_cast<double>(raw));
    }
  }
  return 0;
}

// Which side a speaker position feeds in a stereo mix-down: front, back, side and
// top speakers keep their side, centre and low-frequency ones feed both.
enum Side : unsigned { kLeft = 1, kRight = 2, kBoth = 3 };
Side SideOfSpeaker(int position) {
  switch (position) {
    case 0: case 4: case 6: case 9: case 12: case 15:
      return kLeft;
    case 1: case 5: case 7: case 10: case 14: case 17:
      return kRight;
    default:
      return kBoth;
  }
}

// The side of each channel: the channel mask names the speakers of the channels in
// order of its bits; without a mask the channels follow the usual order, and
// channels beyond the mask's speakers feed both sides.
std::vector<Side> ChannelSides(std::uint16_t channels, std::uint32_t mask) {
  std::vector<Side> sides;
  sides.reserve(channels);
  int bit = 0;
  for (std::uint16_t c = 0; c < channels; ++c) {
    if (mask == 0) {
      sides.push_back(SideOfSpeaker(c));
      continue;
    }
    while (bit < 32 && (mask >> bit & 1u) == 0) ++bit;
    sides.push_back(bit < 32 ? SideOfSpeaker(bit) : kBoth);
    ++bit;
  }
  return sides;
}

}  // namespace

std::optional<Pcm16Wave> ConvertToPcm16(ByteView format, ByteView data) {
  const auto layout = LayoutOf(format);
  if (!layout) return std::nullopt;
  const std::size_t frameBytes = layout->bytes * layout->channels;
  const std::size_t frames = data.size() / frameBytes;
  if (frames == 0) return std::nullopt;

  Pcm16Wave wave;
  wave.rate = layout->rate;
  wave.channels = layout->channels > 2 ? 2 : layout->channels;
  wave.samples.resize(frames * wave.channels);
  const std::uint8_t* in = data.data();
  std::int16_t* out = wave.samples.data();
  if (layout->channels <= 2) {
    for (std::size_t i = 0; i < frames * layout->channels; ++i, in += layout->bytes) *out++ = Decode(in, *layout);
    return wave;
  }

  // Each side is the mean of the channels that feed it, so the mix never clips.
  const std::vector<Side> sides = ChannelSides(layout->channels, layout->channelMask);
  const auto feeding = [&](Side side) {
    return std::count_if(sides.begin(), sides.end(), [side](Side s) { return (s & side) != 0; });
  };
  const std::int64_t leftCount = feeding(kLeft), rightCount = feeding(kRight);
  for (std::size_t f = 0; f < frames; ++f) {
    std::int64_t left = 0, right = 0;
    for (std::uint16_t c = 0; c < layout->channels; ++c, in += layout->bytes) {
      const std::int16_t s = Decode(in, *layout);
      if (sides[c] & kLeft) left += s;
      if (sides[c] & kRight) right += s;
    }
    // A mask may leave one side without a speaker: it then repeats the other.
    const std::int64_t l = leftCount > 0 ? left / leftCount : right / rightCount;
    const std::int64_t r = rightCount > 0 ? right / rightCount : l;
    *out++ = static_cast<std::int16_t>(l);
    *out++ = static_cast<std::int16_t>(r);
  }
  return wave;
}

std::optional<Pcm16Wave> Resample(const Pcm16Wave& wave, std::uint32_t rate) {
  if (wave.rate < kMinResampleRate || rate < kMinResampleRate || wave.channels == 0) return std::nullopt;
  if (wave.rate == rate) return wave;
  const std::uint64_t from = wave.rate;
  const std::uint64_t frames = wave.samples.size() / wave.channels;
  if (frames == 0) return std::nullopt;
  // frames * rate / from, rounded, without overflowing on the way.
  const std::uint64_t outFrames = std::max<std::uint64_t>(1, frames / from * rate + (frames % from * rate + from / 2) / from);

  Pcm16Wave out;
  out.channels = wave.channels;
  out.rate = rate;
  out.samples.resize(static_cast<std::size_t>(outFrames * wave.channels));
  // Output frame j lies at j * from / rate input frames: a whole part and a
  // fraction in units of 1/rate, stepped exactly.
  std::uint64_t whole = 0, fraction = 0;
  const std::uint64_t stepWhole = from / rate, stepFraction = from % rate;
  std::int16_t* dst = out.samples.data();
  for (std::uint64_t j = 0; j < outFrames; ++j) {
    const std::uint64_t a = std::min(whole, frames - 1);
    const std::uint64_t b = std::min(whole + 1, frames - 1);
    for (std::uint16_t c = 0; c < wave.channels; ++c) {
      const std::int64_t sa = wave.samples[a * wave.channels + c];
      const std::int64_t sb = wave.samples[b * wave.channels + c];
      *dst++ = static_cast<std::int16_t>(sa + (sb - sa) * static_cast<std::int64_t>(fraction) / static_cast<std::int64_t>(rate));
    }
    whole += stepWhole;
    fraction += stepFraction;
    if (fraction >= rate) {
      fraction -= rate;
      ++whole;
    }
  }
  return out;
}

std::vector<std::uint8_t> Pcm16FormatBlock(const Pcm16Wave& wave) {
  const std::uint16_t blockAlign = static_cast<std::uint16_t>(wave.channels * 2);
  const std::uint32_t bytesPerSecond = wave.rate * blockAlign;
  std::vector<std::uint8_t> block;
  const auto put = [&block](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) block.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  put(kTagPcm, 2);
  put(wave.channels, 2);
  put(wave.rate, 4);
  put(bytesPerSecond, 4);
  put(blockAlign, 2);
  put(16, 2);
  put(0, 2);  // no extra bytes
  return block;
}

}  // namespace tolvane::sound
