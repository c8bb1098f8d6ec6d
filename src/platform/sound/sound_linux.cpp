#include "platform/sound/sound_linux.h"

namespace tolvane {

// Silent for now: no WAVE or MIDI output exists on Linux yet, so reminders are
// not heard. A play request reports that nothing was started.
bool LinuxSoundService::StartSound(ByteView, bool) { return false; }

void LinuxSoundService::StopAllSounds(bool) {}

}  // namespace tolvane
