// Faults on the sound's own threads, on Linux: a thread cannot be ended safely
// from a signal handler, so a fault in a sound library ends the program as any
// fault does. The sound threads still never hold up the window's thread.
#include "platform/sound/sound_service.h"

namespace tolvane::sound {

void GuardSoundThread(void (*)(void*), void*) {}

}  // namespace tolvane::sound
