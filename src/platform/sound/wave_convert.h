#pragma once
// Turning the samples of an uncompressed WAVE file into 16-bit PCM, for a wave
// device that refuses the file's own format. No system calls.
//
// Taken: integer PCM of 1 to 32 bits per sample (8 bits and fewer unsigned, the
// rest signed and left-justified in whole bytes), IEEE float of 32 and 64 bits,
// and WAVE_FORMAT_EXTENSIBLE with either as its sub-format. Compressed formats are
// not: the system's codecs play those.
//
// Whatever the fields claim, the work is bounded by the bytes present: only whole
// frames of the data are converted, so the result holds at most one 16-bit sample
// per input byte and never more than two channels.
#include <cstdint>
#include <optional>
#include <vector>

#include "resources/resources.h"

namespace tolvane::sound {

struct Pcm16Wave {
  std::uint16_t channels = 0;  // 1 or 2
  std::uint32_t rate = 0;      // frames per second
  std::vector<std::int16_t> samples;  // interleaved frames
};

// The samples of `data` as 16-bit PCM at the file's own rate; more than two
// channels are mixed down to stereo by speaker position. A truncated last frame is
// dropped. nullopt for a format this does not take, or data without a whole frame.
std::optional<Pcm16Wave> ConvertToPcm16(ByteView format, ByteView data);

// Rates below this are not sound a device plays; resampling refuses them, which
// also keeps the result within 44 times the frames of its input.
inline constexpr std::uint32_t kMinResampleRate = 1000;

// The same sound at `rate` by linear interpolation between neighbouring frames:
// the frame count scales with the rate (rounded, at least 1). nullopt when either
// rate is below kMinResampleRate.
std::optional<Pcm16Wave> Resample(const Pcm16Wave& wave, std::uint32_t rate);

// The 18-byte format block describing `wave` to the wave device.
std::vector<std::uint8_t> Pcm16FormatBlock(const Pcm16Wave& wave);

}  // namespace tolvane::sound
