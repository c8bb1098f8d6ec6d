#pragma once
// The program's sound player, written once for every system: it tells WAVE from
// MIDI data, starts each WAVE sound on a thread of its own through the system's
// wave output, and plays one MIDI tune at a time through the system's MIDI
// stream. A system supplies only those two parts (NewSystemWaveOutput and
// NewSystemMidiDevice, in its wave_output_* and midi_device_* files).
//
// No sound call may hold up the caller, which is the window's thread with the
// schedule's tick on it: WAVE devices are opened on the sound's own thread, every
// MIDI call runs on a thread of the player's, and stopping waits only so long.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/sound/midi.h"
#include "platform/sound/sound.h"
#include "platform/sound/wave_chunks.h"

namespace tolvane {
namespace sound {

// A system's WAVE playback: one thread per sound, any number at once.
class WaveOutput {
 public:
  virtual ~WaveOutput() = default;
  // Starts a sound of its own over any that play and returns at once: the device
  // is opened on the sound's thread, and a device that fails or refuses the
  // format leaves the sound silent. The bytes are copied. False only when the
  // sound cannot be set up at all (memory, a thread).
  virtual bool Start(const WaveChunks& wave, bool loop) = 0;
  // Asks every sound playing now to stop and waits up to `wait` for their
  // threads to end.
  virtual void StopAll(std::chrono::milliseconds wait) = 0;
};

// Supplied by the system side.
std::unique_ptr<WaveOutput> NewSystemWaveOutput();
std::unique_ptr<MidiStreamDevice> NewSystemMidiDevice();
// Called first thing on each of the sound's own threads: where the system allows,
// a fault that nothing handles on such a thread (inside a sound driver, say) ends
// that thread and its sound instead of the whole program and its schedule. The
// thread ends where it is, unwinding nothing. ended, when given, is called with
// context on that thread just before: it notes the end and returns.
void GuardSoundThread(void (*ended)(void*) = nullptr, void* context = nullptr);
using ThreadGuard = void (*)(void (*ended)(void*), void* context);

// Makes a MIDI stream device: one at the first tune, and a new one whenever the
// last was given up (its thread was ended, or it kept its buffers).
using MidiDeviceMaker = std::function<std::unique_ptr<MidiStreamDevice>()>;

}  // namespace sound

// Lifetimes. The service makes a MIDI worker (a thread, its player and device) at
// the first MIDI tune, and shares it with the worker's thread. The service lets go
// of its share when it is destroyed or when it finds the thread ended by the fault
// guard; the thread lets go of its own as it returns. So a thread stuck in a device
// keeps what it uses alive until it comes back, and one ended by the guard (which
// unwinds nothing) keeps it for good, as its device may still call back. A device
// that holds on to its buffers after a stop is set aside for good in the same way.
// The guard's process-wide fault filter is installed by the first sound thread and
// stays: WAVE threads may outlive the service.
class PlaybackService final : public SoundService {
 public:
  // One stop waits this long in all for every kind of sound and for the
  // destruction that follows it, before it gives up on a device that hangs.
  static constexpr std::chrono::milliseconds kStopWait{4000};

  // guardThread, when given, is called first thing on each MIDI worker's thread
  // (the system's GuardSoundThread).
  PlaybackService(std::unique_ptr<sound::WaveOutput> wave, sound::MidiDeviceMaker newMidiDevice,
                  sound::ThreadGuard guardThread = nullptr, std::chrono::milliseconds stopWait = kStopWait);
  // Stops the MIDI tune, waiting at most what is left of the last waiting stop's
  // time, or the whole stop wait when there was none. WAVE sounds belong to their
  // own threads and play on; StopAllSounds(true) is what ends them.
  ~PlaybackService() override;
  PlaybackService(const PlaybackService&) = delete;
  PlaybackService& operator=(const PlaybackService&) = delete;

  // WAVE: each call starts a sound of its own, over any that already play; the
  // samples are copied, so data may be freed at once. MIDI: the tune playing is
  // stopped first, and true is returned even when the new data then proves bad.
  // Requests that come while the MIDI device is still busy with an earlier one
  // replace each other: only the newest tune is started.
  bool StartSound(ByteView data, bool loop = false) override;
  // With wait, returns once every sound has ended, or once the stop wait has run
  // out when a device does not let go. Waiting stops until the next sound share
  // one deadline.
  void StopAllSounds(bool wait) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct MidiWorker;

  std::unique_ptr<sound::WaveOutput> wave_;
  const sound::MidiDeviceMaker newMidiDevice_;
  const sound::ThreadGuard guardThread_;
  const std::chrono::milliseconds stopWait_;
  std::mutex mutex_;  // guards midi_ and stopDeadline_
  std::shared_ptr<MidiWorker> midi_;
  std::optional<Clock::time_point> stopDeadline_;
};

}  // namespace tolvane
