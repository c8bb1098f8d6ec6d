#pragma once
// The PulseAudio playback stream that the Linux WAVE output and the MIDI
// synthesizer both play through. The client libraries are loaded when a sound first
// asks for a stream or a sample format, not at the program's start; without them no
// stream opens and the sound stays silent, as it does without a server.
#include <pulse/sample.h>

#include <cstddef>
#include <memory>

namespace tolvane::sound {

// The client library's view of a sample format; without the library no format is
// valid and every size is 0.
bool SampleFormatValid(const pa_sample_spec& sampleFormat);
std::size_t FrameBytes(const pa_sample_spec& sampleFormat);
// The bytes of that long a stretch, in whole frames.
std::size_t BytesFor(pa_usec_t duration, const pa_sample_spec& sampleFormat);

// A playback stream that keeps only a short queue in the server, so a stop is
// heard at once. Closed when destroyed.
class PlaybackStream {
 public:
  // nullptr when the client libraries cannot be loaded, there is no server or it
  // refuses the format.
  static std::unique_ptr<PlaybackStream> Open(const pa_sample_spec& sampleFormat, const char* name);
  virtual ~PlaybackStream() = default;
  // Blocks until the server has room; false when the stream has failed.
  virtual bool Write(const void* data, std::size_t bytes) = 0;
  // Returns once everything written has been heard.
  virtual void Drain() = 0;
  // Drops what the server still holds, unplayed.
  virtual void Flush() = 0;
};

}  // namespace tolvane::sound
