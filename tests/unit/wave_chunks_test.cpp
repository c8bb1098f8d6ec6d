#include "platform/sound/wave_chunks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "bytes.h"

namespace tolvane::sound {
namespace {

using namespace bytes;

const Bytes kFormat = Fmt(1, 1, 16, 11025);
const Bytes kSamples = {1, 2, 3, 4, 5, 6};

TEST(SoundRecognition, ByFirstBytesOnly) {
  const Bytes wave = Riff();
  EXPECT_EQ(RecogniseSound(wave), SoundKind::Wave);
  EXPECT_EQ(RecogniseSound(ByteView(wave).first(11)), SoundKind::None);
  Bytes avi = wave;
  avi[11] = 'X';
  EXPECT_EQ(RecogniseSound(avi), SoundKind::None);

  const Bytes midi = {'M', 'T', 'h', 'd', 0};
  EXPECT_EQ(RecogniseSound(midi), SoundKind::Midi);
  EXPECT_EQ(RecogniseSound(ByteView(midi).first(4)), SoundKind::None);  // needs more than the tag
  EXPECT_EQ(RecogniseSound({}), SoundKind::None);
}

TEST(WaveChunks, BuiltInClipHasItsFixedLayout) {
  const ByteView clip = resources::builtinClip();
  ASSERT_EQ(clip.size(), 21260u);
  EXPECT_EQ(Le32(clip.data() + 4), 21252u);
  const auto chunks = FindWaveChunks(clip);
  ASSERT_TRUE(chunks);
  EXPECT_TRUE(std::equal(kFormat.begin(), kFormat.end(), chunks->format.begin(), chunks->format.end()));
  EXPECT_EQ(chunks->samples.data(), clip.data() + 44);  // fmt first, then data
  EXPECT_EQ(chunks->samples.size(), 20468u);

  // The chunks the player skips, and nothing after them.
  const std::pair<const char*, std::uint32_t> rest[] = {{"DISP", 620}, {"DISP", 24}, {"LIST", 80}};
  std::size_t at = 44 + 20468;
  for (const auto& [id, size] : rest) {
    EXPECT_EQ(std::memcmp(clip.data() + at, id, 4), 0) << id;
    EXPECT_EQ(Le32(clip.data() + at + 4), size) << id;
    at += 8 + size;
  }
  EXPECT_EQ(at, clip.size());

  // A real sound: loud enough to hear, not clipped, ending in silence.
  int peak = 0;
  for (std::size_t i = 0; i + 1 < chunks->samples.size(); i += 2) {
    const auto s = static_cast<std::int16_t>(chunks->samples[i] | chunks->samples[i + 1] << 8);
    peak = std::max(peak, std::abs(static_cast<int>(s)));
  }
  EXPECT_GT(peak, 8000);
  EXPECT_LE(peak, 16384);  // two copies started together must not clip
  const std::size_t n = chunks->samples.size();
  EXPECT_LT(std::abs(static_cast<std::int16_t>(chunks->samples[n - 2] | chunks->samples[n - 1] << 8)), 16);
}

TEST(WaveChunks, RefusesShortOrIncompleteFiles) {
  Bytes file = Riff();
  file.resize(35, 0);
  FixRiffSize(file);
  EXPECT_FALSE(FindWaveChunks(file));  // 35 bytes: too short whatever it holds

  Bytes onlyFormat = Riff();
  Chunk(onlyFormat, "fmt ", kFormat);
  Chunk(onlyFormat, "LIST", Bytes(8, 'x'));
  FixRiffSize(onlyFormat);
  EXPECT_FALSE(FindWaveChunks(onlyFormat));

  Bytes onlyData = Riff();
  Chunk(onlyData, "data", Bytes(40, 1));
  FixRiffSize(onlyData);
  EXPECT_FALSE(FindWaveChunks(onlyData));

  EXPECT_FALSE(FindWaveChunks(Wave(kFormat, {})));  // no samples
}

TEST(WaveChunks, EitherOrderAndTheLatestChunkOfAKindCounts) {
  Bytes file = Riff();
  Chunk(file, "data", {9, 9});
  Chunk(file, "fmt ", {7, 7, 7, 7});
  Chunk(file, "LIST", Bytes(30, 'x'));  // keeps the file above the minimum size
  FixRiffSize(file);
  auto chunks = FindWaveChunks(file);
  ASSERT_TRUE(chunks);
  EXPECT_EQ(Bytes(chunks->samples.begin(), chunks->samples.end()), (Bytes{9, 9}));

  Bytes twice = Riff();
  Chunk(twice, "fmt ", Bytes(16, 1));
  Chunk(twice, "fmt ", kFormat);
  Chunk(twice, "data", kSamples);
  FixRiffSize(twice);
  chunks = FindWaveChunks(twice);
  ASSERT_TRUE(chunks);
  EXPECT_EQ(Bytes(chunks->format.begin(), chunks->format.end()), kFormat);
}

TEST(WaveChunks, WalkEndsAtTheRiffSize) {
  Bytes file = Riff();
  Chunk(file, "fmt ", kFormat);
  const std::size_t dataAt = file.size();
  Chunk(file, "data", kSamples);
  // The data chunk starts exactly at the RIFF size counted from byte 12: not walked.
  SetRiffSize(file, static_cast<std::uint32_t>(dataAt - 12));
  EXPECT_FALSE(FindWaveChunks(file));
  SetRiffSize(file, static_cast<std::uint32_t>(dataAt - 11));
  EXPECT_TRUE(FindWaveChunks(file));
}

TEST(WaveChunks, OddChunksWithAndWithoutThePadByte) {
  for (bool pad : {true, false}) {
    Bytes file = Riff();
    Chunk(file, "JUNK", {1, 2, 3}, pad);
    Chunk(file, "fmt ", kFormat);
    Chunk(file, "INFO", {'a', 'b', 'c', 'd', 'e'}, pad);
    Chunk(file, "data", kSamples);
    FixRiffSize(file);
    const auto chunks = FindWaveChunks(file);
    ASSERT_TRUE(chunks) << "pad " << pad;
    EXPECT_EQ(Bytes(chunks->format.begin(), chunks->format.end()), kFormat);
    EXPECT_EQ(Bytes(chunks->samples.begin(), chunks->samples.end()), kSamples);
  }

  // Both positions can look like ids. A pad byte that is not zero ("xLIS" against
  // "LIST") must still be skipped...
  Bytes dirtyPad = Riff();
  Chunk(dirtyPad, "JUNK", {1, 2, 3}, false);
  dirtyPad.push_back('x');
  Chunk(dirtyPad, "LIST", Bytes(8, 'y'));
  Chunk(dirtyPad, "fmt ", kFormat);
  Chunk(dirtyPad, "data", kSamples);
  FixRiffSize(dirtyPad);
  EXPECT_TRUE(FindWaveChunks(dirtyPad));

  // ...while a missing pad byte before a data chunk of 65 bytes ("data" against
  // "ataA") must not be.
  Bytes noPad = Riff();
  Chunk(noPad, "fmt ", kFormat);
  Chunk(noPad, "JUNK", {1, 2, 3}, false);
  Chunk(noPad, "data", Bytes(65, 5), false);
  FixRiffSize(noPad);
  const auto chunks = FindWaveChunks(noPad);
  ASSERT_TRUE(chunks);
  EXPECT_EQ(chunks->samples.size(), 65u);
}

TEST(WaveChunks, SizesPastTheEndAreClippedToTheBytesPresent) {
  Bytes file = Riff();
  Chunk(file, "fmt ", kFormat);
  Chunk(file, "data", kSamples, true, 0xFFFFFFF0u);
  SetRiffSize(file, 0xFFFFFFFFu);
  const auto chunks = FindWaveChunks(file);
  ASSERT_TRUE(chunks);
  EXPECT_EQ(Bytes(chunks->samples.begin(), chunks->samples.end()), kSamples);

  // A format chunk running off the end after the data is cut, not refused.
  Bytes late = Riff();
  Chunk(late, "data", Bytes(20, 1));
  Chunk(late, "fmt ", {1, 0, 1, 0}, true, 1000);
  SetRiffSize(late, 5000);
  const auto cut = FindWaveChunks(late);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->format.size(), 4u);

  // A data header with nothing behind it has nothing to play.
  Bytes bare = Riff();
  Chunk(bare, "fmt ", kFormat);
  Chunk(bare, "JUNK", Bytes(4, 0));
  Chunk(bare, "data", {}, true, 100);
  FixRiffSize(bare);
  EXPECT_FALSE(FindWaveChunks(bare));
}

TEST(WaveChunks, FormatBlockNeverClaimsMoreThanItHolds) {
  const Bytes pcm = WaveFormatBlock(kFormat);
  ASSERT_EQ(pcm.size(), 18u);
  EXPECT_EQ(pcm[16] | pcm[17] << 8, 0);

  Bytes adpcm(18, 0);
  adpcm[16] = 32;  // claims 32 extra bytes, has 4
  adpcm.insert(adpcm.end(), {1, 2, 3, 4});
  const Bytes block = WaveFormatBlock(adpcm);
  ASSERT_EQ(block.size(), 22u);
  EXPECT_EQ(block[16] | block[17] << 8, 4);

  EXPECT_EQ(WaveFormatBlock(Bytes{1, 0}), (Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// A 15360-byte buffer lasts 0.7 s in the built-in clip's format, 9.45 s in GSM 6.10;
// whatever rate the file gives, the wait is bounded and nothing divides by zero.
TEST(WaveChunks, BufferWaitFollowsTheByteRate) {
  using std::chrono::milliseconds;
  const struct {
    std::size_t formatBytes;
    std::uint32_t byteRate;
    milliseconds atLeast, atMost;
  } rows[] = {
      {16, 22050, kMinBufferWait, kMinBufferWait},          // PCM, 16-bit, 11025 Hz
      {20, 1625, milliseconds(10452), milliseconds(20000)},  // GSM 6.10: 9.45 s and a margin
      {16, 0, kMaxBufferWait, kMaxBufferWait},
      {16, 1, kMaxBufferWait, kMaxBufferWait},
      {16, 0xFFFFFFFF, kMinBufferWait, kMinBufferWait},
      {11, 0xFFFFFFFF, kMaxBufferWait, kMaxBufferWait},  // cut before the rate's last byte
  };
  for (const auto& row : rows) {
    Bytes format(kFormat.begin(), kFormat.begin() + 8);
    Put(format, row.byteRate, 4);
    format.resize(row.formatBytes, 0);
    const auto wait = BufferWait(format, 15360);
    EXPECT_TRUE(wait >= row.atLeast && wait <= row.atMost) << row.byteRate << " B/s: " << wait.count() << " ms";
  }
}

}  // namespace
}  // namespace tolvane::sound
