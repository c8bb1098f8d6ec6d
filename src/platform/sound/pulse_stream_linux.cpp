// PulseAudio (or PipeWire's PulseAudio server) through its simple API, bound at run time.
#include "platform/sound/pulse_stream_linux.h"

#include <pulse/simple.h>
#include <pulse/timeval.h>

#include <new>
#include <optional>
#include <string_view>

#include "platform/system/bind_linux.h"

namespace tolvane::sound {
namespace {

constexpr std::string_view kPulse = "libpulse.so.0";
constexpr std::string_view kSimple = "libpulse-simple.so.0";

// The client libraries' functions that the program calls, as F(library, function).
#define TOLVANE_PULSE_FUNCTIONS(F)                                                                              \
  F(kSimple, pa_simple_new) F(kSimple, pa_simple_write) F(kSimple, pa_simple_drain) F(kSimple, pa_simple_flush) \
  F(kSimple, pa_simple_free) F(kPulse, pa_sample_spec_valid) F(kPulse, pa_frame_size) F(kPulse, pa_usec_to_bytes)

struct Pulse {
#define TOLVANE_MEMBER(library, function) TOLVANE_BOUND_MEMBER(function)
  TOLVANE_PULSE_FUNCTIONS(TOLVANE_MEMBER)
#undef TOLVANE_MEMBER
};

// The libraries are loaded the first time; every later call only reads the bindings.
std::optional<Pulse> BindPulse() {
  Pulse pulse;
#define TOLVANE_BIND(library, function) TOLVANE_BIND_OR_RETURN(pulse, library, function)
  TOLVANE_PULSE_FUNCTIONS(TOLVANE_BIND)
#undef TOLVANE_BIND
  return pulse;
}

// What the server keeps queued ahead of the speaker: short, so a stop is heard
// at once and a finished sound's thread ends soon after its last sample.
constexpr unsigned kQueuedMs = 150;

class PulseStream final : public PlaybackStream {
 public:
  PulseStream(const Pulse& pulse, pa_simple* stream) : pulse_(pulse), stream_(stream) {}
  ~PulseStream() override { pulse_.pa_simple_free(stream_); }

  bool Write(const void* data, std::size_t bytes) override {
    int error = 0;
    return pulse_.pa_simple_write(stream_, data, bytes, &error) >= 0;
  }
  void Drain() override {
    int error = 0;
    pulse_.pa_simple_drain(stream_, &error);
  }
  void Flush() override {
    int error = 0;
    pulse_.pa_simple_flush(stream_, &error);
  }

 private:
  const Pulse pulse_;
  pa_simple* const stream_;
};

}  // namespace

bool SampleFormatValid(const pa_sample_spec& sampleFormat) {
  const auto pulse = BindPulse();
  return pulse && pulse->pa_sample_spec_valid(&sampleFormat) != 0;
}

std::size_t FrameBytes(const pa_sample_spec& sampleFormat) {
  const auto pulse = BindPulse();
  return pulse ? pulse->pa_frame_size(&sampleFormat) : 0;
}

std::size_t BytesFor(pa_usec_t duration, const pa_sample_spec& sampleFormat) {
  const auto pulse = BindPulse();
  return pulse ? pulse->pa_usec_to_bytes(duration, &sampleFormat) : 0;
}

std::unique_ptr<PlaybackStream> PlaybackStream::Open(const pa_sample_spec& sampleFormat, const char* name) {
  const auto pulse = BindPulse();
  if (!pulse) return nullptr;
  pa_buffer_attr attr;
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = static_cast<std::uint32_t>(pulse->pa_usec_to_bytes(kQueuedMs * PA_USEC_PER_MSEC, &sampleFormat));
  attr.prebuf = static_cast<std::uint32_t>(-1);
  attr.minreq = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(-1);
  int error = 0;
  pa_simple* stream =
      pulse->pa_simple_new(nullptr, "Tolvane", PA_STREAM_PLAYBACK, nullptr, name, &sampleFormat, nullptr, &attr, &error);
  if (stream == nullptr) return nullptr;
  std::unique_ptr<PlaybackStream> opened(new (std::nothrow) PulseStream(*pulse, stream));
  if (!opened) pulse->pa_simple_free(stream);
  return opened;
}

}  // namespace tolvane::sound
