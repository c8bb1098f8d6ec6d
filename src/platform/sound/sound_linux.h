#pragma once
// Sound on a Linux desktop. Not built yet: this service plays nothing.
#include "platform/sound/sound.h"

namespace tolvane {

class LinuxSoundService final : public SoundService {
 public:
  bool StartSound(ByteView data, bool loop) override;
  void StopAllSounds(bool wait) override;
};

}  // namespace tolvane
