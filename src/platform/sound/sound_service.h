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
#include <memory>

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
// that thread and its sound instead of the whole program and its schedule.
void GuardSoundThread();

}  // namespace sound

class PlaybackService final : public SoundService {
 public:
  // How long stopping waits for the MIDI stream and for the WAVE threads before it
  // gives up on a device that hangs.
  static constexpr std::chrono::milliseconds kStopWait{4000};

  // guardThread, when given, is called first thing on the player's own thread
  // (the system's GuardSoundThread).
  PlaybackService(std::unique_ptr<sound::WaveOutput> wave, std::unique_ptr<sound::MidiStreamDevice> midi,
                  void (*guardThread)() = nullptr, std::chrono::milliseconds stopWait = kStopWait);
  // Stops the MIDI tune. WAVE sounds belong to their own threads and play on;
  // StopAllSounds(true) is what ends them.
  ~PlaybackService() override;
  PlaybackService(const PlaybackService&) = delete;
  PlaybackService& operator=(const PlaybackService&) = delete;

  // WAVE: each call starts a sound of its own, over any that already play; the
  // samples are copied, so data may be freed at once. MIDI: the tune playing is
  // stopped first, and true is returned even when the new data then proves bad.
  // Requests that come while the MIDI device is still busy with an earlier one
  // replace each other: only the newest tune is started.
  bool StartSound(ByteView data, bool loop = false) override;
  // With wait, returns once every sound has ended, or after the stop wait for
  // each kind of sound when a device does not let go.
  void StopAllSounds(bool wait) override;

 private:
  struct MidiWorker;
  std::unique_ptr<sound::WaveOutput> wave_;
  const std::chrono::milliseconds stopWait_;
  std::shared_ptr<MidiWorker> midi_;  // shared with its thread, which may outlive a hung stop
};

}  // namespace tolvane
