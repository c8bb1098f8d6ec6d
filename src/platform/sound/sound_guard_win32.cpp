// Faults on the sound's own threads, on Windows: a fault that nothing handles on
// such a thread (a sound driver's, or Wine's multimedia code's) ends that thread
// alone. Its sound stops, and the window's thread goes on to the power request.
// Faults on every other thread keep their usual end.
#include <windows.h>

#include <atomic>

#include "platform/sound/sound_service.h"

namespace tolvane::sound {
namespace {

thread_local bool t_soundThread = false;
thread_local void (*t_ended)(void*) = nullptr;
thread_local void* t_endedContext = nullptr;
std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> g_previousFilter{nullptr};

bool IsFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
      return true;
    default:
      return false;
  }
}

LONG WINAPI SoundThreadFilter(EXCEPTION_POINTERS* info) {
  if (t_soundThread && info != nullptr && info->ExceptionRecord != nullptr &&
      IsFault(info->ExceptionRecord->ExceptionCode)) {
    if (t_ended != nullptr) t_ended(t_endedContext);
    ExitThread(1);
  }
  const auto previous = g_previousFilter.load();
  return previous != nullptr ? previous(info) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

// The filter is process-wide and stays once installed: sound threads may outlive
// whatever started them.
void GuardSoundThread(void (*ended)(void*), void* context) {
  static const bool installed = [] {
    g_previousFilter = SetUnhandledExceptionFilter(&SoundThreadFilter);
    return true;
  }();
  (void)installed;
  t_ended = ended;
  t_endedContext = context;
  t_soundThread = true;
}

}  // namespace tolvane::sound
