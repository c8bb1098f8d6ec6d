#pragma once
// Sound playback on Windows: WAVE data through the wave-output device, one
// playback thread per sound, and MIDI data through one MIDI stream.
#include <cstddef>
#include <memory>

#include "platform/sound/sound.h"

namespace tolvane {

class Win32SoundService final : public SoundService {
 public:
  Win32SoundService();
  // Stops this service's MIDI tune. WAVE sounds belong to their own threads and
  // play on; StopAllSounds(true) is what ends them.
  ~Win32SoundService() override;
  Win32SoundService(const Win32SoundService&) = delete;
  Win32SoundService& operator=(const Win32SoundService&) = delete;

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
