// WAVE recognition, chunk walk, the device's wait and sample conversion on arbitrary
// bytes: never read past the input, whatever is found lies inside it, the wait stays
// within its bounds, and the converted sound is never larger than the bytes it came
// from allow.
#include <cstdint>
#include <cstdlib>

#include "platform/sound/wave_chunks.h"
#include "platform/sound/wave_convert.h"

namespace {

using tolvane::ByteView;
using namespace tolvane::sound;

void Check(bool ok) {
  if (!ok) std::abort();
}

void Convert(ByteView format, ByteView data) {
  const auto wave = ConvertToPcm16(format, data);
  if (!wave) return;
  Check(wave->channels == 1 || wave->channels == 2);
  Check(!wave->samples.empty() && wave->samples.size() % wave->channels == 0);
  Check(wave->samples.size() <= data.size());  // one 16-bit sample per input byte at most
  Check(Pcm16FormatBlock(*wave).size() == 18);

  const auto resampled = Resample(*wave, 44100);
  if (!resampled) return Check(wave->rate < kMinResampleRate);
  const std::uint64_t frames = wave->samples.size() / wave->channels;
  const std::uint64_t bound = frames * 44100 / wave->rate + 1;
  Check(resampled->channels == wave->channels && resampled->rate == 44100);
  Check(resampled->samples.size() / resampled->channels <= bound);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteView input(data, size);
  RecogniseSound(input);
  // The converter also takes the input itself as a format block and its samples,
  // so sample formats are reached without a whole file around them.
  const std::size_t formatSize = size < 40 ? size : 40;
  Convert(input.first(formatSize), input.subspan(formatSize));

  const auto chunks = FindWaveChunks(input);
  if (!chunks) return 0;
  const auto inside = [&](ByteView part) {
    return part.empty() || (part.data() >= data && part.data() + part.size() <= data + size);
  };
  Check(inside(chunks->format) && inside(chunks->samples) && !chunks->samples.empty());
  const auto block = WaveFormatBlock(chunks->format);
  const std::size_t extra = block[16] | block[17] << 8;
  Check(block.size() >= 18 && 18 + extra <= block.size());
  const auto wait = BufferWait(chunks->format, 15360);
  Check(wait >= kMinBufferWait && wait <= kMaxBufferWait);
  Convert(chunks->format, chunks->samples);
  return 0;
}
