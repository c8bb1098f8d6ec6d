#pragma once
// Sound playback on a Linux desktop: WAVE data through PulseAudio (or PipeWire's
// PulseAudio server), one playback thread per sound, and MIDI data through the
// FluidSynth synthesizer with a General MIDI soundfont found at run time, played
// through PulseAudio. Without a soundfont MIDI is silent.
#include <cstddef>
#include <memory>

#include "platform/sound/sound.h"

namespace tolvane {

class LinuxSoundService final : public SoundService {
 public:
  LinuxSoundService();
  // Stops this service's MIDI tune. WAVE sounds belong to their own threads and
  // play on; StopAllSounds(true) is what ends them.
  ~LinuxSoundService() override;
  LinuxSoundService(const LinuxSoundService&) = delete;
  LinuxSoundService& operator=(const LinuxSoundService&) = delete;

  // WAVE: each call starts a sound of its own, over any that already play; the
  // samples are copied, so data may be freed at once. MIDI: the tune playing is
  // stopped first, and true is returned even when the new data then proves bad.
  bool StartSound(ByteView data, bool loop = false) override;
  void StopAllSounds(bool wait) override;

  // How many WAVE sounds are playing in the process (their threads still run).
  static std::size_t PlayingWaveSounds();

 private:
  struct Midi;
  std::unique_ptr<Midi> midi_;
};

}  // namespace tolvane
