// WAVE recognition and chunk walk on arbitrary bytes: never read past the input,
// and whatever is found lies inside it.
#include <cstdint>
#include <cstdlib>

#include "platform/sound/wave_chunks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane::sound;
  const tolvane::ByteView input(data, size);
  RecogniseSound(input);
  const auto chunks = FindWaveChunks(input);
  if (!chunks) return 0;
  const auto inside = [&](tolvane::ByteView part) {
    return part.empty() || (part.data() >= data && part.data() + part.size() <= data + size);
  };
  if (!inside(chunks->format) || !inside(chunks->samples) || chunks->samples.empty()) std::abort();
  const auto block = WaveFormatBlock(chunks->format);
  const std::size_t extra = block[16] | block[17] << 8;
  if (block.size() < 18 || 18 + extra > block.size()) std::abort();
  return 0;
}
