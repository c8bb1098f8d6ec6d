// Window timers: SetCoalescableTimer where Windows has it, SetTimer elsewhere.
#include "win32/timer.h"

#include "platform/system/bind_win32.h"

namespace tolvane::win32 {

bool ArmUncoalescedTimer(HWND window, UINT_PTR id, UINT ms) {
  static DeclaredFunction setCoalescableTimer{"user32.dll", "SetCoalescableTimer"};
  using Fn = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC, ULONG);
  constexpr ULONG kNoCoalescing = 0xFFFFFFFF;
  if (auto set = TryBindAs<Fn>(setCoalescableTimer)) return set(window, id, ms, nullptr, kNoCoalescing) != 0;
  return SetTimer(window, id, ms, nullptr) != 0;
}

}  // namespace tolvane::win32
