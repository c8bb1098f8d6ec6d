// Program entry on a Linux desktop: build the window from its definition, run
// the GTK main loop, clean up.
#include <gtk/gtk.h>

#include "app/program.h"
#include "gtk/gtk_host.h"
#include "platform/datetime/clock_linux.h"
#include "platform/files/files_linux.h"
#include "platform/idle/idle_linux.h"
#include "platform/messages/fatal.h"
#include "platform/messages/messages_linux.h"
#include "platform/power/power_linux.h"
#include "platform/sound/sound_service.h"

namespace {
tolvane::SoundService* g_sound = nullptr;
void StopSoundsBeforeFatalExit() {
  if (g_sound != nullptr) g_sound->StopAllSounds(true);
}
}  // namespace

int main(int argc, char** argv) {
  using namespace tolvane;
  gtk_init(&argc, &argv);
  InstallLinuxFatalErrorHandler();
  PlaybackService sound(tolvane::sound::NewSystemWaveOutput(), &tolvane::sound::NewSystemMidiDevice,
                        &tolvane::sound::GuardSoundThread);
  g_sound = &sound;
  SetBeforeFatalExit(StopSoundsBeforeFatalExit);

  gtk::GtkHost host;
  LinuxClock clock;
  LinuxMessageBoxService boxes;
  LinuxPowerService power;
  LinuxIdleService idle;
  LinuxFileSystem files;
  Program program(Services{host, clock, boxes, power, sound, idle, &files});
  host.SetEventSink(&program);

  if (!host.Build()) ReportFatalError("载入启动窗口失败");
  host.RunMainLoop();
  program.ExitCleanUp();
  return 0;
}
