// The MIDI stream on a Linux desktop: a stream device whose events FluidSynth
// plays through PulseAudio, with a General MIDI soundfont found at run time. The
// synthesizer's library is loaded with the soundfont, at the first tune.
#include <fluidsynth.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/sound/pulse_stream_linux.h"
#include "platform/sound/sound_service.h"
#include "platform/sound/soundfont.h"
#include "platform/system/bind_linux.h"
#include "platform/text/byte_order.h"

namespace tolvane::sound {
namespace {

constexpr std::string_view kFluidSynth = "libfluidsynth.so.3";

// The synthesizer's functions that the program calls.
#define TOLVANE_FLUID_FUNCTIONS(F)                                                                                    \
  F(fluid_set_log_function) F(new_fluid_settings) F(delete_fluid_settings) F(fluid_settings_setnum)                   \
  F(fluid_settings_setint) F(new_fluid_synth) F(delete_fluid_synth) F(fluid_synth_sfload) F(fluid_synth_system_reset) \
  F(fluid_synth_all_sounds_off) F(fluid_synth_write_s16) F(fluid_synth_get_active_voice_count) F(fluid_synth_noteoff) \
  F(fluid_synth_noteon) F(fluid_synth_key_pressure) F(fluid_synth_cc) F(fluid_synth_program_change)                   \
  F(fluid_synth_channel_pressure) F(fluid_synth_pitch_bend)

struct Fluid {
  TOLVANE_FLUID_FUNCTIONS(TOLVANE_BOUND_MEMBER)
};

std::optional<Fluid> BindFluid() {
  Fluid fluid;
#define TOLVANE_BIND(function) TOLVANE_BIND_OR_RETURN(fluid, kFluidSynth, function)
  TOLVANE_FLUID_FUNCTIONS(TOLVANE_BIND)
#undef TOLVANE_BIND
  return fluid;
}

// The synthesizer's General MIDI sounds, from the first soundfont found.
std::optional<std::string> SoundFontFile() {
  const auto env = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string_view(value != nullptr ? value : "");
  };
  const auto dirs = sound::SoundFontDataDirs(env("XDG_DATA_HOME"), env("HOME"), env("XDG_DATA_DIRS"));
  return sound::FindSoundFont(sound::SoundFontCandidates(dirs), [](const std::string& file) {
    struct stat st {};
    return stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(file.c_str(), R_OK) == 0;
  });
}

// A MIDI stream played by FluidSynth: a render thread takes the queued stream
// buffers in turn, renders the time between events into PulseAudio and hands
// each buffer back when its last event has been played, as the system's MIDI
// stream does. The synthesizer is made at the first open and kept, so its
// soundfont is loaded once.
class SynthMidiStream final : public MidiStreamDevice {
 public:
  ~SynthMidiStream() override {
    Close();
    if (synth_ != nullptr) fluid_.delete_fluid_synth(synth_);
    if (settings_ != nullptr) fluid_.delete_fluid_settings(settings_);
  }

  // The synthesizer stands for the one MIDI output: there is one when a
  // soundfont is installed.
  unsigned OutputCount() override { return synth_ != nullptr || SoundFontFile() ? 1 : 0; }

  MidiOpen Open(std::function<void(int)> done) override {
    if (!LoadSynth()) return MidiOpen::NoDevice;
    const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, kRate, 2};
    device_ = PlaybackStream::Open(sampleFormat, "MIDI");
    if (device_ == nullptr) return MidiOpen::Failed;
    fluid_.fluid_synth_system_reset(synth_);
    done_ = std::move(done);
    {
      std::lock_guard lock(mutex_);
      queue_.clear();
      running_ = flush_ = closing_ = failed_ = false;
      tempo_ = kDefaultTempo;
      pendingFrames_ = 0;
    }
    try {
      thread_ = std::thread(&SynthMidiStream::Render, this);
    } catch (const std::exception&) {
      device_.reset();
      return MidiOpen::Failed;
    }
    return MidiOpen::Opened;
  }
  bool SetTimeDivision(std::uint32_t division) override {
    std::lock_guard lock(mutex_);
    division_ = division & 0xFFFF;
    return (division_ & 0x8000) == 0 ? division_ != 0 : (division_ & 0xFF) != 0;
  }
  bool Prepare(int buffer, std::uint8_t* data, std::size_t capacity) override {
    std::lock_guard lock(mutex_);
    buffers_[buffer] = {data, capacity};
    return true;
  }
  bool Out(int buffer, std::size_t bytes) override {
    std::lock_guard lock(mutex_);
    if (failed_ || buffers_[buffer].data == nullptr || bytes > buffers_[buffer].capacity) return false;
    queue_.push_back({buffer, bytes});
    wake_.notify_all();
    return true;
  }
  bool Restart() override {
    std::lock_guard lock(mutex_);
    running_ = true;
    wake_.notify_all();
    return true;
  }
  // Every queued buffer comes back, as from the system's stream.
  void Stop() override {
    std::lock_guard lock(mutex_);
    running_ = false;
    flush_ = true;
    wake_.notify_all();
  }
  void Reset() override {
    if (synth_ != nullptr) fluid_.fluid_synth_all_sounds_off(synth_, -1);
  }
  void Unprepare(int buffer) override {
    std::lock_guard lock(mutex_);
    buffers_[buffer] = {};
  }
  void Close() override {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
      wake_.notify_all();
    }
    thread_.join();
    device_->Flush();
    device_.reset();
  }

 private:
  static constexpr unsigned kRate = 44100;
  static constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds per quarter note
  static constexpr int kSliceFrames = 441;                // 10 ms between looks at the flags
  // Notes still sounding after the last event (a release, reverb, a note never
  // turned off) are played out for at most this long.
  static constexpr long kTailFrames = 3 * kRate;

  struct Buffer {
    std::uint8_t* data = nullptr;
    std::size_t capacity = 0;
  };
  struct Queued {
    int buffer;
    std::size_t bytes;
  };

  bool LoadSynth() {
    if (synth_ != nullptr) return true;
    const auto file = SoundFontFile();
    if (!file) return false;
    const auto fluid = BindFluid();
    if (!fluid) return false;
    fluid_ = *fluid;
    // No console: the synthesizer's own messages go nowhere.
    for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) fluid_.fluid_set_log_function(level, nullptr, nullptr);
    settings_ = fluid_.new_fluid_settings();
    if (settings_ == nullptr) return false;
    fluid_.fluid_settings_setnum(settings_, "synth.sample-rate", kRate);
    fluid_.fluid_settings_setnum(settings_, "synth.gain", 0.8);
    // A large soundfont loads its samples as notes need them, not all at the first tune.
    fluid_.fluid_settings_setint(settings_, "synth.dynamic-sample-loading", 1);
    synth_ = fluid_.new_fluid_synth(settings_);
    if (synth_ != nullptr && fluid_.fluid_synth_sfload(synth_, file->c_str(), 1) != FLUID_FAILED) return true;
    if (synth_ != nullptr) fluid_.delete_fluid_synth(synth_);
    fluid_.delete_fluid_settings(settings_);
    synth_ = nullptr;
    settings_ = nullptr;
    return false;
  }

  bool Interrupted() {
    std::lock_guard lock(mutex_);
    return flush_ || closing_;
  }

  // Renders frames of the synthesizer's output; false when interrupted or the
  // device failed.
  bool RenderFrames(long frames) {
    std::int16_t audio[kSliceFrames * 2];
    while (frames > 0) {
      if (Interrupted()) return false;
      const int n = static_cast<int>(std::min<long>(frames, kSliceFrames));
      fluid_.fluid_synth_write_s16(synth_, n, audio, 0, 2, audio, 1, 2);
      if (!device_->Write(audio, static_cast<std::size_t>(n) * 4)) {
        std::lock_guard lock(mutex_);
        failed_ = true;
        return false;
      }
      frames -= n;
    }
    return true;
  }

  // Ticks to frames: by the tempo for a division in ticks per quarter note, by
  // the frame rate for an SMPTE division.
  bool RenderTicks(std::uint32_t ticks) {
    if (ticks == 0) return true;
    double seconds = 0;
    if ((division_ & 0x8000) != 0) {
      const int framesPerSecond = 256 - static_cast<int>(division_ >> 8 & 0xFF);
      seconds = ticks / (static_cast<double>(framesPerSecond) * (division_ & 0xFF));
    } else {
      seconds = ticks * (tempo_ / 1e6) / division_;
    }
    pendingFrames_ += seconds * kRate;
    const long frames = static_cast<long>(pendingFrames_);
    pendingFrames_ -= static_cast<double>(frames);
    return RenderFrames(frames);
  }

  void Apply(std::uint32_t word) {
    if (word >> 24 == sound::kMevtTempo) {
      tempo_ = std::max<std::uint32_t>(1, word & 0xFFFFFF);
      return;
    }
    const int status = static_cast<int>(word & 0xFF), channel = status & 0x0F;
    const int data1 = static_cast<int>(word >> 8 & 0x7F), data2 = static_cast<int>(word >> 16 & 0x7F);
    switch (status & 0xF0) {
      case 0x80: fluid_.fluid_synth_noteoff(synth_, channel, data1); break;
      case 0x90: fluid_.fluid_synth_noteon(synth_, channel, data1, data2); break;  // velocity 0 is a note off
      case 0xA0: fluid_.fluid_synth_key_pressure(synth_, channel, data1, data2); break;
      case 0xB0: fluid_.fluid_synth_cc(synth_, channel, data1, data2); break;
      case 0xC0: fluid_.fluid_synth_program_change(synth_, channel, data1); break;
      case 0xD0: fluid_.fluid_synth_channel_pressure(synth_, channel, data1); break;
      case 0xE0: fluid_.fluid_synth_pitch_bend(synth_, channel, data2 << 7 | data1); break;
      default: break;
    }
  }

  // Plays the events of one buffer; false when interrupted.
  bool PlayBuffer(const Queued& queued) {
    const std::uint8_t* data = buffers_[queued.buffer].data;
    for (std::size_t at = 0; at + sound::kMidiEventBytes <= queued.bytes; at += sound::kMidiEventBytes) {
      if (!RenderTicks(Le32(data + at))) return false;
      Apply(Le32(data + at + 8));
    }
    return true;
  }

  void HandBack(const std::vector<int>& buffers) {
    for (const int buffer : buffers) done_(buffer);
  }

  void Render() {
    long tail = 0;
    for (;;) {
      std::unique_lock lock(mutex_);
      const bool sounding = tail > 0 && fluid_.fluid_synth_get_active_voice_count(synth_) > 0;
      if (!sounding) {
        wake_.wait(lock, [this] { return closing_ || flush_ || failed_ || (running_ && !queue_.empty()); });
      }
      if (closing_) return;
      if (flush_ || failed_) {
        std::vector<int> buffers;
        for (const auto& q : queue_) buffers.push_back(q.buffer);
        queue_.clear();
        flush_ = false;
        const bool failed = failed_;
        lock.unlock();
        device_->Flush();
        tail = 0;
        HandBack(buffers);  // outside the lock: the player takes its own
        if (failed) return;
        continue;
      }
      if (!running_ || queue_.empty()) {
        lock.unlock();
        const long frames = std::min<long>(tail, kSliceFrames);
        tail = RenderFrames(frames) ? tail - frames : 0;
        continue;
      }
      const Queued queued = queue_.front();
      lock.unlock();
      if (!PlayBuffer(queued)) continue;  // a stop or a failure: the flush above hands it back
      lock.lock();
      queue_.pop_front();
      lock.unlock();
      tail = kTailFrames;
      done_(queued.buffer);
    }
  }

  Fluid fluid_;  // bound with the synthesizer
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  std::unique_ptr<PlaybackStream> device_;
  std::thread thread_;
  std::function<void(int)> done_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Queued> queue_;
  Buffer buffers_[2];
  std::uint32_t division_ = 0;
  std::uint32_t tempo_ = kDefaultTempo;  // the render thread's own
  double pendingFrames_ = 0;             // the render thread's own
  bool running_ = false, flush_ = false, closing_ = false, failed_ = false;
};

}  // namespace

std::unique_ptr<MidiStreamDevice> NewSystemMidiDevice() { return std::make_unique<SynthMidiStream>(); }

}  // namespace tolvane::sound
