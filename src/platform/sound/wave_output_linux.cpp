// WAVE playback on a Linux desktop: PulseAudio (or PipeWire's PulseAudio server),
// one playback thread per sound.
#include <pulse/timeval.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "platform/sound/pulse_stream_linux.h"
#include "platform/sound/sound_service.h"
#include "platform/sound/wave_convert.h"
#include "platform/text/byte_order.h"

namespace tolvane::sound {
namespace {

// PulseAudio's simple API blocks in each write until the server has room, so a
// playback thread paces itself without completion callbacks: it writes short
// slices and looks for a stop request between them.
constexpr unsigned kSliceMs = 50;
// A sound whose device could not be opened lingers this long before it cleans
// itself up, as a sound on a dead device does on Windows.
constexpr auto kWaveIdleTimeout = kMinBufferWait;
// The rate for a converted file whose own rate the server does not take.
constexpr std::uint32_t kFallbackRate = 44100;

// One playing WAVE sound, owned by its playback thread.
struct WavePlayback {
  std::uint64_t id = 0;
  std::vector<std::uint8_t> format;   // the "fmt " body
  std::vector<std::uint8_t> samples;  // the "data" bytes, or their conversion
  std::unique_ptr<PlaybackStream> device;
  std::size_t sliceBytes = 0;  // whole frames
  std::size_t position = 0;
  bool loop = false;
  bool stop = false;  // guarded by the active list's lock
};

// Every WAVE sound playing in the process. Never destroyed: playback threads may
// still reach it while the process tears down its statics.
struct ActiveWaves {
  std::mutex lock;
  std::condition_variable changed;  // a stop request, or a sound that ended
  std::vector<WavePlayback*> list;
  std::uint64_t lastId = 0;
};

ActiveWaves& Active() {
  static ActiveWaves* active = new ActiveWaves;
  return *active;
}

bool StopRequested(WavePlayback* p) {
  std::lock_guard lock(Active().lock);
  return p->stop;
}

// Frees everything but the object's list entry, which the caller has dealt with.
void Destroy(WavePlayback* p) { delete p; }

void Finish(WavePlayback* p) {
  {
    std::lock_guard lock(Active().lock);
    auto& list = Active().list;
    list.erase(std::remove(list.begin(), list.end(), p), list.end());
    Active().changed.notify_all();
  }
  Destroy(p);
}

// Writes the next slice; false when the sound has played out or the device failed.
bool WriteNextSlice(WavePlayback* p) {
  const std::size_t bytes = std::min(p->samples.size() - p->position, p->sliceBytes);
  if (bytes == 0) {
    // Less than one whole frame has nothing to play, looped or not.
    if (!p->loop || p->samples.empty()) {
      p->device->Drain();  // the last samples are heard before the thread ends
      return false;
    }
    p->position = 0;  // start over without a gap
    return true;
  }
  if (!p->device->Write(p->samples.data() + p->position, bytes)) return false;
  p->position += bytes;
  return true;
}

// The file's own format as the server takes it: integer PCM of 8, 16, 24 or 32
// bits, 32-bit float, A-law and mu-law, in one or two channels. Anything else
// (more channels need their speaker positions, other depths need unpacking) is
// converted.
std::optional<pa_sample_spec> NativeSampleFormat(ByteView format) {
  if (format.size() < 16) return std::nullopt;
  const std::uint16_t tag = Le16(&format[0]);
  const std::uint16_t channels = Le16(&format[2]);
  const std::uint16_t blockAlign = Le16(&format[12]);
  const std::uint16_t bits = Le16(&format[14]);
  pa_sample_spec sampleFormat{PA_SAMPLE_INVALID, Le32(&format[4]), static_cast<std::uint8_t>(channels)};
  if (tag == 1 && bits == 8) sampleFormat.format = PA_SAMPLE_U8;
  if (tag == 1 && bits == 16) sampleFormat.format = PA_SAMPLE_S16LE;
  if (tag == 1 && bits == 24) sampleFormat.format = PA_SAMPLE_S24LE;
  if (tag == 1 && bits == 32) sampleFormat.format = PA_SAMPLE_S32LE;
  if (tag == 3 && bits == 32) sampleFormat.format = PA_SAMPLE_FLOAT32LE;
  if (tag == 6 && bits == 8) sampleFormat.format = PA_SAMPLE_ALAW;
  if (tag == 7 && bits == 8) sampleFormat.format = PA_SAMPLE_ULAW;
  if (channels < 1 || channels > 2 || sampleFormat.format == PA_SAMPLE_INVALID || !SampleFormatValid(sampleFormat) ||
      blockAlign != FrameBytes(sampleFormat))
    return std::nullopt;
  return sampleFormat;
}

bool OpenDevice(WavePlayback* p, const pa_sample_spec& sampleFormat) {
  p->device = PlaybackStream::Open(sampleFormat, "Reminder");
  if (p->device == nullptr) return false;
  const std::size_t frame = FrameBytes(sampleFormat);
  p->sliceBytes = std::max<std::size_t>(1, BytesFor(kSliceMs * PA_USEC_PER_MSEC, sampleFormat) / frame) * frame;
  p->samples.resize(p->samples.size() / frame * frame);  // the server takes whole frames only
  return true;
}

// The server does not take the file's own format: play its samples as 16-bit
// PCM, at the file's rate or, when that is out of the server's range, at the
// fallback rate. Anything that still fails leaves the sound silent.
void OpenConverted(WavePlayback* p) {
  try {
    auto wave = ConvertToPcm16(p->format, ByteView(p->samples));
    if (!wave) return;
    pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, wave->rate, static_cast<std::uint8_t>(wave->channels)};
    if (!SampleFormatValid(sampleFormat)) {
      wave = Resample(*wave, kFallbackRate);
      if (!wave) return;
      sampleFormat.rate = wave->rate;
    }
    p->samples.assign(reinterpret_cast<const std::uint8_t*>(wave->samples.data()),
                      reinterpret_cast<const std::uint8_t*>(wave->samples.data() + wave->samples.size()));
    OpenDevice(p, sampleFormat);
  } catch (const std::bad_alloc&) {
  }
}

void WaveThread(WavePlayback* p) {
  GuardSoundThread();
  // The file's own format first, so whatever the server takes plays bit-exact.
  if (const auto sampleFormat = NativeSampleFormat(p->format)) {
    OpenDevice(p, *sampleFormat);
  } else {
    OpenConverted(p);
  }
  if (p->device == nullptr) {
    std::unique_lock lock(Active().lock);
    Active().changed.wait_for(lock, kWaveIdleTimeout, [p] { return p->stop; });
  } else {
    for (;;) {
      if (StopRequested(p)) {
        p->device->Flush();  // what the server still holds is dropped, not played
        break;
      }
      if (!WriteNextSlice(p)) break;
    }
  }
  Finish(p);
}

bool StartWave(const WaveChunks& chunks, bool loop) {
  auto* p = new (std::nothrow) WavePlayback;
  if (p == nullptr) return false;
  try {
    p->format.assign(chunks.format.begin(), chunks.format.end());
    p->samples.assign(chunks.samples.begin(), chunks.samples.end());
  } catch (const std::bad_alloc&) {
    Destroy(p);
    return false;
  }
  p->loop = loop;

  std::lock_guard lock(Active().lock);
  p->id = ++Active().lastId;
  try {
    // The thread waits for this lock before it can finish, so it never leaves
    // the list before it is on it.
    Active().list.push_back(p);
    std::thread(WaveThread, p).detach();
  } catch (const std::exception&) {
    auto& list = Active().list;
    list.erase(std::remove(list.begin(), list.end(), p), list.end());
    Destroy(p);
    return false;
  }
  return true;
}

class LinuxWaveOutput final : public WaveOutput {
 public:
  bool Start(const WaveChunks& wave, bool loop) override { return StartWave(wave, loop); }

  void StopAll(std::chrono::milliseconds wait) override {
    std::unique_lock lock(Active().lock);
    std::vector<std::uint64_t> stopping;
    for (WavePlayback* p : Active().list) {
      p->stop = true;
      stopping.push_back(p->id);
    }
    Active().changed.notify_all();
    // Only the sounds asked to stop are waited for: one started meanwhile plays on.
    Active().changed.wait_for(lock, wait, [&stopping] {
      return std::none_of(Active().list.begin(), Active().list.end(), [&stopping](const WavePlayback* p) {
        return std::find(stopping.begin(), stopping.end(), p->id) != stopping.end();
      });
    });
  }
};

}  // namespace

std::unique_ptr<WaveOutput> NewSystemWaveOutput() { return std::make_unique<LinuxWaveOutput>(); }

}  // namespace tolvane::sound
