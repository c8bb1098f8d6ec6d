#include "platform/system/tick_count.h"

#include <windows.h>

#include "platform/system/bind_win32.h"

namespace tolvane {

std::uint64_t TickCount64() {
  static DeclaredFunction getTickCount64{"kernel32.dll", "GetTickCount64"};
  if (auto get = TryBindAs<ULONGLONG(WINAPI*)()>(getTickCount64)) return get();
  static TickWidener widener;
  return widener.Widen(GetTickCount());
}

}  // namespace tolvane
