#include "platform/sound/wave_chunks.h"
#include "platform/text/byte_order.h"

#include <algorithm>
#include <cstring>

namespace tolvane::sound {
namespace {

bool HasId(ByteView data, std::size_t at, const char* id) {
  return at <= data.size() && data.size() - at >= 4 && std::memcmp(data.data() + at, id, 4) == 0;
}

// How much a position looks like the start of a chunk header (see the header).
int ChunkIdScore(ByteView data, std::size_t at) {
  if (at > data.size() || data.size() - at < 8) return 0;  // not even a whole header
  if (HasId(data, at, "fmt ") || HasId(data, at, "data")) return 2;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::uint8_t c = data[at + i];
    if (c < 0x20 || c > 0x7E) return 0;
  }
  return 1;
}

}  // namespace

SoundKind RecogniseSound(ByteView data) {
  if (data.size() >= 12 && HasId(data, 0, "RIFF") && HasId(data, 8, "WAVE")) return SoundKind::Wave;
  if (data.size() > 4 && HasId(data, 0, "MThd")) return SoundKind::Midi;
  return SoundKind::None;
}

std::optional<WaveChunks> FindWaveChunks(ByteView data) {
  if (data.size() < kMinWaveSize || !HasId(data, 0, "RIFF") || !HasId(data, 8, "WAVE")) return std::nullopt;
  const std::uint64_t riffSize = Le32(data.data() + 4);

  std::optional<ByteView> format;
  std::optional<ByteView> samples;
  std::uint64_t pos = 12;  // 64-bit: sizes near 4 GiB must not wrap the walk back
  while (pos - 12 < riffSize && pos + 8 <= data.size()) {
    const std::size_t at = static_cast<std::size_t>(pos);
    const std::uint64_t size = Le32(data.data() + at + 4);
    const std::size_t bodyAt = at + 8;
    const std::size_t present = static_cast<std::size_t>(std::min<std::uint64_t>(size, data.size() - bodyAt));
    const ByteView body = data.subspan(bodyAt, present);
    if (HasId(data, at, "fmt ")) format = body;
    if (HasId(data, at, "data")) samples = body;
    if (format && samples) break;

    pos = bodyAt + size;
    if (size % 2 == 1 && pos < data.size()) {
      const std::size_t unpadded = static_cast<std::size_t>(pos);
      if (ChunkIdScore(data, unpadded + 1) >= ChunkIdScore(data, unpadded)) ++pos;
    }
  }
  if (!format || !samples || samples->empty()) return std::nullopt;
  return WaveChunks{*format, *samples};
}

std::vector<std::uint8_t> WaveFormatBlock(ByteView format) {
  constexpr std::size_t kFormatStruct = 18;
  std::vector<std::uint8_t> block(format.begin(), format.end());
  if (block.size() < kFormatStruct) block.resize(kFormatStruct, 0);
  const std::size_t extraAvailable = format.size() > kFormatStruct ? format.size() - kFormatStruct : 0;
  const std::size_t extraClaimed = static_cast<std::size_t>(block[16]) | static_cast<std::size_t>(block[17]) << 8;
  if (extraClaimed > extraAvailable) {
    block[16] = static_cast<std::uint8_t>(extraAvailable);
    block[17] = static_cast<std::uint8_t>(extraAvailable >> 8);
  }
  return block;
}

std::size_t WaveBufferBytes(ByteView format) {
  const std::size_t block = format.size() >= 14 ? std::max<std::size_t>(Le16(format.data() + 12), 1) : 1;
  return std::max<std::size_t>(kWaveBufferTarget / block, 1) * block;
}

std::chrono::milliseconds BufferWait(ByteView format, std::size_t bufferBytes) {
  const std::uint64_t rate = format.size() >= 12 ? Le32(format.data() + 8) : 0;
  if (rate == 0) return kMaxBufferWait;
  // In 64 bits, so a rate of 1 byte a second cannot wrap the sum before the clamp.
  const std::uint64_t playing = static_cast<std::uint64_t>(bufferBytes) * 1000 / rate;
  const std::uint64_t wait = playing + playing / 4 + 2000;
  const auto lo = static_cast<std::uint64_t>(kMinBufferWait.count());
  const auto hi = static_cast<std::uint64_t>(kMaxBufferWait.count());
  return std::chrono::milliseconds(std::clamp(wait, lo, hi));
}

}  // namespace tolvane::sound
