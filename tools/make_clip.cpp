// make_clip: writes the built-in reminder clip, src/resources/reminder.wav.
//
// The clip is a soft two-note "ding-dong" chime (E5 then C5), each note a small
// set of bell-like partials with a short attack and an exponential decay, the
// whole clip fading to silence at its end. The file layout is fixed because the
// program and its tests rely on it: 21260 bytes, PCM mono 11025 Hz 16-bit,
// "fmt " then "data" (10234 samples), two "DISP" chunks (620 and 24 bytes) and a
// "LIST"/"INFO" chunk (80 bytes).
//
// Rebuild the clip (from the repository root):
//   g++ -std=c++20 -O2 -o /tmp/make_clip tools/make_clip.cpp
//   /tmp/make_clip src/resources/reminder.wav
// The output is deterministic apart from last-bit differences of the maths
// library; the tool refuses to write a clip that is too loud to double or too quiet.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 11025;
constexpr int kSamples = 10234;
constexpr std::size_t kFileSize = 21260;
constexpr double kPi = 3.14159265358979323846;

struct Writer {
  std::vector<std::uint8_t> bytes;
  void u16(std::uint16_t v) {
    bytes.push_back(static_cast<std::uint8_t>(v));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void id(const char* four) { bytes.insert(bytes.end(), four, four + 4); }
  // Text zero-padded (and cut if need be) to exactly n bytes.
  void text(const std::string& s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) bytes.push_back(i < s.size() ? static_cast<std::uint8_t>(s[i]) : 0);
  }
};

// One struck bell: partials at (nearly) bell-like ratios, higher ones dying faster.
double Bell(double t, double freq) {
  if (t < 0) return 0;
  struct Partial { double ratio, gain, decay; };
  static const Partial partials[] = {
      {1.0, 1.00, 3.2},   // fundamental, long ring
      {2.0, 0.42, 5.5},   // octave
      {2.76, 0.22, 8.0},  // the slightly sour bell partial that makes it a bell
      {5.40, 0.08, 14.0}, // a little shimmer at the strike
  };
  // 6 ms raised-cosine attack: no click at the strike.
  const double attack = 0.006;
  const double env = t < attack ? 0.5 - 0.5 * std::cos(kPi * t / attack) : 1.0;
  double v = 0;
  for (const auto& p : partials) v += p.gain * std::exp(-p.decay * t) * std::sin(2 * kPi * freq * p.ratio * t);
  return env * v;
}

std::vector<double> Chime() {
  std::vector<double> s(kSamples);
  const double second_note = 0.30;  // seconds after the first strike
  for (int i = 0; i < kSamples; ++i) {
    const double t = static_cast<double>(i) / kRate;
    s[i] = Bell(t, 659.25) + 0.9 * Bell(t - second_note, 523.25);
  }
  // Cosine fade over the last 120 ms so the clip ends in silence.
  const int fade = kRate * 120 / 1000;
  for (int i = 0; i < fade; ++i) {
    const double x = static_cast<double>(i) / (fade - 1);  // 0 .. 1 across the fade
    s[kSamples - fade + i] *= 0.5 + 0.5 * std::cos(kPi * x);
  }
  // Peak just under half scale: at the last reminder second two copies start at
  // the same instant, and their sum must not clip either.
  double peak = 0;
  for (double v : s) peak = std::max(peak, std::fabs(v));
  for (double& v : s) v *= 0.48 / peak;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const char* out = argc > 1 ? argv[1] : "src/resources/reminder.wav";
  const std::vector<double> chime = Chime();

  Writer w;
  w.id("RIFF");
  w.u32(static_cast<std::uint32_t>(kFileSize - 8));
  w.id("WAVE");

  w.id("fmt ");
  w.u32(16);
  w.u16(1);          // PCM
  w.u16(1);          // mono
  w.u32(kRate);      // samples per second
  w.u32(kRate * 2);  // bytes per second
  w.u16(2);          // block align
  w.u16(16);         // bits per sample

  w.id("data");
  w.u32(kSamples * 2);
  long peak = 0;
  for (double v : chime) {
    const long q = std::lround(v * 32767.0);
    peak = std::max(peak, std::labs(q));
    w.u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(q)));
  }

  // Display chunks: clipboard type 1 (plain text) followed by the text.
  w.id("DISP");
  w.u32(620);
  w.u32(1);
  w.text("Tolvane reminder chime. A soft two-note bell, E5 then C5, that sounds "
         "during the last seconds before the scheduled power action. Mono, 16-bit, "
         "11025 samples per second, just under one second long.",
         616);
  w.id("DISP");
  w.u32(24);
  w.u32(1);
  w.text("Tolvane reminder", 20);

  // Information list: software and comment entries.
  w.id("LIST");
  w.u32(80);
  w.id("INFO");
  w.id("ISFT");
  w.u32(20);
  w.text("Tolvane make_clip", 20);
  w.id("ICMT");
  w.u32(40);
  w.text("Two-note bell chime for reminders", 40);

  if (w.bytes.size() != kFileSize) {
    std::fprintf(stderr, "make_clip: layout came out at %zu bytes, not %zu\n", w.bytes.size(), kFileSize);
    return 1;
  }
  if (peak > 16383 || peak < 8000) {
    std::fprintf(stderr, "make_clip: peak %ld out of range\n", peak);
    return 1;
  }
  std::ofstream f(out, std::ios::binary);
  f.write(reinterpret_cast<const char*>(w.bytes.data()), static_cast<std::streamsize>(w.bytes.size()));
  if (!f) {
    std::fprintf(stderr, "make_clip: cannot write %s\n", out);
    return 1;
  }
  std::printf("wrote %s: %zu bytes, peak %ld\n", out, w.bytes.size(), peak);
  return 0;
}
