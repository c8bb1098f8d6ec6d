// Program entry: build the window from its definition, run the message loop, clean up.
#include <windows.h>

#include "app/program.h"
#include "platform/datetime/clock_win32.h"
#include "platform/files/files_win32.h"
#include "platform/idle/idle_win32.h"
#include "platform/messages/fatal.h"
#include "platform/messages/messages_win32.h"
#include "platform/power/power_win32.h"
#include "platform/sound/sound_service.h"
#include "platform/system/bind_win32.h"
#include "win32/win32_host.h"

namespace {
tolvane::SoundService* g_sound = nullptr;
void StopSoundsBeforeFatalExit() {
  if (g_sound != nullptr) g_sound->StopAllSounds(true);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace tolvane;
  // Before anything can load a library: a DLL planted beside the program or in the
  // current directory must never be picked up by a later load.
  RestrictLibrarySearchToSystem();
  InstallWin32FatalErrorHandler();
  PlaybackService sound(tolvane::sound::NewSystemWaveOutput(), &tolvane::sound::NewSystemMidiDevice,
                        &tolvane::sound::GuardSoundThread);
  g_sound = &sound;
  SetBeforeFatalExit(StopSoundsBeforeFatalExit);

  win32::Win32Host host(instance);
  Win32Clock clock;
  Win32MessageBoxService boxes;
  Win32PowerService power;
  Win32IdleService idle;
  Win32FileSystem files;
  Program program(Services{host, clock, boxes, power, sound, idle, &files});
  host.SetEventSink(&program);

  if (!host.Build()) ReportFatalError("载入启动窗口失败");
  const int code = host.RunMessageLoop();
  program.ExitCleanUp();
  return code;
}
