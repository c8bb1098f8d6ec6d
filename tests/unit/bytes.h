// Byte builders for the unit tests: WAVE and Standard MIDI files put together chunk by
// chunk, so that a test can also build them wrong.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tolvane::bytes {

using Bytes = std::vector<std::uint8_t>;

// Appends the low `count` bytes of v, least significant first (bigEndian: last).
inline void Put(Bytes& b, std::uint64_t v, int count, bool bigEndian = false) {
  for (int i = 0; i < count; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * (bigEndian ? count - 1 - i : i))));
}
inline std::uint32_t Le32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24; }

// WAVE: the RIFF header, then chunks (pad: the pad byte after an odd body; declared: a
// size other than the body's); FixRiffSize sets the header's size to what follows it.
inline Bytes Riff() { return Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}; }
inline void SetRiffSize(Bytes& file, std::uint32_t size) {
  for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
}
inline void FixRiffSize(Bytes& file) { SetRiffSize(file, static_cast<std::uint32_t>(file.size() - 8)); }
inline void Chunk(Bytes& file, const char* id, const Bytes& body, bool pad = true, std::uint32_t declared = ~0u) {
  file.insert(file.end(), id, id + 4);
  Put(file, declared == ~0u ? body.size() : declared, 4);
  file.insert(file.end(), body.begin(), body.end());
  if (pad && body.size() % 2 == 1) file.push_back(0);
}
// Samples as a file holds them (little-endian, as on every machine the tests run on).
template <typename T>
Bytes LittleEndian(std::initializer_list<T> values) {
  Bytes b;
  for (T v : values) b.insert(b.end(), reinterpret_cast<const std::uint8_t*>(&v), reinterpret_cast<const std::uint8_t*>(&v + 1));
  return b;
}
// The body of a "fmt " chunk for plain samples.
inline Bytes Fmt(std::uint16_t tag, std::uint16_t channels, std::uint16_t bits, std::uint32_t rate = 8000) {
  const std::uint32_t align = channels * ((bits + 7u) / 8u);
  Bytes b;
  Put(b, tag, 2), Put(b, channels, 2), Put(b, rate, 4), Put(b, rate * align, 4), Put(b, align, 2), Put(b, bits, 2);
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
  Put(b, headerLength, 4, true), Put(b, 1, 2, true), Put(b, trackCount, 2, true), Put(b, division, 2, true);
  return b;
}
inline void Track(Bytes& file, const Bytes& events, const char* id = "MTrk") {
  file.insert(file.end(), id, id + 4);
  Put(file, events.size(), 4, true);
  file.insert(file.end(), events.begin(), events.end());
}
inline Bytes Song(const Bytes& events, std::uint16_t division = 96) {
  Bytes file = Smf(1, division);
  Track(file, events);
  return file;
}
inline const Bytes kEndOfTrack = {0, 0xFF, 0x2F, 0};
// A tune of `notes` notes at once, from `first` up.
inline Bytes Tune(std::uint8_t first, int notes, std::uint16_t division = 96) {
  Bytes events;
  for (int i = 0; i < notes; ++i) events.insert(events.end(), {0, 0x90, static_cast<std::uint8_t>((first + i) % 128), 1});
  events.insert(events.end(), kEndOfTrack.begin(), kEndOfTrack.end());
  return Song(events, division);
}

}  // namespace tolvane::bytes
