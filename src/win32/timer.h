#pragma once
// Window timers that fire when asked, not when the system finds it convenient.
#include <windows.h>

namespace tolvane::win32 {

// Arms (or re-arms) the window's timer `id` to fire in `ms` milliseconds. Windows 8 and
// later are told not to merge it with other timers, which could move a tick by as much
// as the system likes (SetCoalescableTimer, bound at run time); older Windows never
// merge them, and get SetTimer. False when the timer could not be set.
bool ArmUncoalescedTimer(HWND window, UINT_PTR id, UINT ms);

}  // namespace tolvane::win32
