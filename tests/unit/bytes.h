// Byte builders for the unit tests: numbers in either byte order, and WAVE and Standard
// MIDI files put together chunk by chunk, so a test can also build them wrong.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace tolvane::bytes {

using Bytes = std::vector<std::uint8_t>;

// Appends the low `count` bytes of v, least significant first, or most with bigEndian.
inline void Put(Bytes& b, std::uint64_t v, int count, bool bigEndian = false) {
  for (int i = 0; i < count; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * (bigEndian ? count - 1 - i : i))));
}
inline std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// WAVE: the RIFF header, whose size FixRiffSize sets from the chunks appended after it.
inline Bytes Riff() { return Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}; }
inline void SetRiffSize(Bytes& file, std::uint32_t size) {
  for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
}
inline void FixRiffSize(Bytes& file) { SetRiffSize(file, static_cast<std::uint32_t>(file.size() - 8)); }
// Appends a chunk; pad adds the pad byte after an odd body; declared replaces its size.
inline void Chunk(Bytes& file, const char* id, const Bytes& body, bool pad = true, std::uint32_t declared = ~0u) {
  file.insert(file.end(), id, id + 4);
  Put(file, declared == ~0u ? body.size() : declared, 4);
  file.insert(file.end(), body.begin(), body.end());
  if (pad && body.size() % 2 == 1) file.push_back(0);
}
// A "fmt " chunk's body for plain samples.
inline Bytes Fmt(std::uint16_t tag, std::uint16_t channels, std::uint16_t bits, std::uint32_t rate = 8000) {
  Bytes b;
  const std::uint32_t align = channels * ((bits + 7u) / 8u);
  for (auto [v, n] : {std::pair<std::uint32_t, int>{tag, 2}, {channels, 2}, {rate, 4}, {rate * align, 4}, {align, 2}, {bits, 2}})
    Put(b, v, n);
  return b;
}
inline Bytes Wave(const Bytes& format, const Bytes& samples) {
  Bytes file = Riff();
  Chunk(file, "fmt ", format);
  Chunk(file, "data", samples);
  FixRiffSize(file);
  return file;
}

// Standard MIDI files: the header, then each track appended.
inline Bytes Smf(std::uint16_t trackCount, std::uint16_t division = 96, std::uint32_t headerLength = 6) {
  Bytes b = {'M', 'T', 'h', 'd'};
  Put(b, headerLength, 4, true);
  b.insert(b.end(), {0, 1});
  Put(b, trackCount, 2, true);
  Put(b, division, 2, true);
  return b;
}
inline void Track(Bytes& file, const Bytes& events, const char* id = "MTrk") {
  file.insert(file.end(), id, id + 4);
  Put(file, events.size(), 4, true);
  file.insert(file.end(), events.begin(), events.end());
}
inline const Bytes kEndOfTrack = {0, 0xFF, 0x2F, 0};
// A tune of `notes` notes at once, from `first` up.
inline Bytes Tune(std::uint8_t first, int notes, std::uint16_t division = 96) {
  Bytes events;
  for (int i = 0; i < notes; ++i) events.insert(events.end(), {0, 0x90, static_cast<std::uint8_t>((first + i) % 128), 1});
  events.insert(events.end(), kEndOfTrack.begin(), kEndOfTrack.end());
  Bytes file = Smf(1, division);
  Track(file, events);
  return file;
}

}  // namespace tolvane::bytes
