#pragma once
// The hook side of a probe library: runs on the Tolvane window's thread through a
// WH_CALLWNDPROC hook. On the probe's message it maps the shared memory as a T and lets
// fill(window, probe) write the answer the driver reads back (see CallProbe in driver.cpp).
#include <windows.h>

namespace tolvane::e2e {

template <typename T, typename Fill>
LRESULT AnswerProbe(int code, WPARAM wp, LPARAM lp, const wchar_t* mapping, const wchar_t* message, Fill fill) {
  const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
  if (code == HC_ACTION && msg->message == RegisterWindowMessageW(message)) {
    if (HANDLE map = OpenFileMappingW(FILE_MAP_WRITE, FALSE, mapping)) {
      if (auto* probe = static_cast<T*>(MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, sizeof(T)))) {
        fill(msg->hwnd, *probe);
        UnmapViewOfFile(probe);
      }
      CloseHandle(map);
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace tolvane::e2e
