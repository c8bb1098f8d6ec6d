#pragma once
// Playing short sounds held in memory: RIFF WAVE and Standard MIDI File data.
#include "resources/resources.h"

namespace tolvane {

class SoundService {
 public:
  virtual ~SoundService() = default;
  // Starts playback and returns at once; true when playback was started.
  virtual bool StartSound(ByteView data, bool loop = false) = 0;
  // Stops every sound. With wait, it waits for the devices to stop, but at most one
  // deadline shared by every call that waits (a device that never answers is left
  // behind rather than holding the program's exit); without, it returns at once.
  virtual void StopAllSounds(bool wait) = 0;
};

}  // namespace tolvane
