#pragma once
// Playing short sounds held in memory: RIFF WAVE and Standard MIDI File data.
#include "resources/resources.h"

namespace tolvane {

class SoundService {
 public:
  virtual ~SoundService() = default;
  // Starts playback and returns at once; true when playback was started.
  virtual bool StartSound(ByteView data, bool loop = false) = 0;
  // Stops every sound; with wait, returns only after every playback thread ended.
  virtual void StopAllSounds(bool wait) = 0;
};

}  // namespace tolvane
