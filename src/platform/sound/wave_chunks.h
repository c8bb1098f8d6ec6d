#pragma once
// Recognising sound data by its first bytes and finding the parts of a RIFF WAVE
// file the wave device needs. No system calls: the player's Windows side builds
// on this, and it never reads past the bytes it is given.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "resources/resources.h"

namespace tolvane::sound {

enum class SoundKind { None, Wave, Midi };

// Wave: at least 12 bytes, "RIFF" at 0 and "WAVE" at 8. Midi: more than 4 bytes
// starting with "MThd". Anything else is not sound data.
SoundKind RecogniseSound(ByteView data);

// A WAVE file shorter than this is refused outright (a RIFF header and two chunk
// headers with a 16-byte format cannot fit in less).
inline constexpr std::size_t kMinWaveSize = 36;

struct WaveChunks {
  ByteView format;   // body of the latest "fmt " chunk
  ByteView samples;  // body of the latest "data" chunk, never empty
};

// Walks the chunks from byte 12 until both a "fmt " and a "data" chunk have been
// seen (either order; a later one replaces an earlier one of its kind) or the next
// chunk would start at or beyond the RIFF size counted from byte 12. nullopt when
// the data is too short, not RIFF WAVE, lacks either chunk, or its sample data is
// empty.
//
// Damaged sizes: a chunk or RIFF size that points past the end of the data is
// clipped to the bytes present, so a truncated file plays what it has.
//
// Odd sizes: RIFF pads a chunk of odd size with one byte so the next starts on an
// even offset. Some writers leave the pad byte out. After an odd chunk both
// positions are scored: a "fmt " or "data" id scores 2, any other id of four
// printable ASCII characters 1, anything else 0. The unpadded position is taken
// only when it scores higher; a tie goes to the padded, standard layout.
std::optional<WaveChunks> FindWaveChunks(ByteView data);

// The format block handed to the wave device: the "fmt " body, zero-padded to at
// least the 18 bytes of the system's format structure, with its extra-size field
// (bytes 16..17) cut down to the bytes that actually follow it, so the device is
// never told to read beyond the copy.
std::vector<std::uint8_t> WaveFormatBlock(ByteView format);

// The bytes of each buffer handed to the wave device: as many whole blocks of the
// format (nBlockAlign, bytes 12..13; none or 0 counts as 1) as fit in
// kWaveBufferTarget, and at least one. Every buffer must start on a block: a codec
// converts whole blocks and drops the rest, so a buffer that ended inside a block
// (15360 bytes hold 236 GSM 6.10 blocks of 65 and 20 bytes over) would start every
// later one in the middle of one, and the sound would turn to noise.
inline constexpr std::size_t kWaveBufferTarget = 15360;
std::size_t WaveBufferBytes(ByteView format);

// How long the wave device may take to hand back one buffer of `bufferBytes` before
// the sound gives it up as dead, however its play position moves (one whose position
// stands still is given up sooner). A buffer of compressed sound plays for many seconds
// (15340 bytes of GSM 6.10 last 9.44 s), so the wait is the buffer's playing time at
// the format's byte rate (nAvgBytesPerSec, bytes 8..11) plus a quarter and two
// seconds for the device to start, and never below kMinBufferWait. The rate is the
// file's word: a zero or missing rate waits kMaxBufferWait, and so does any rate low
// enough to ask for more.
inline constexpr std::chrono::milliseconds kMinBufferWait{8888};
inline constexpr std::chrono::milliseconds kMaxBufferWait{120000};
std::chrono::milliseconds BufferWait(ByteView format, std::size_t bufferBytes);

}  // namespace tolvane::sound
