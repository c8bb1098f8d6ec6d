#include "platform/system/tick_count.h"

#include <windows.h>

#include "platform/system/bind_win32.h"

namespace tolvane {
namespace {

std::uint32_t ReadTickCount() { return GetTickCount(); }

DeclaredFunction getTickCount64{"kernel32.dll", "GetTickCount64"};
TickWidener widenedTickCount{ReadTickCount};

}  // namespace

std::uint64_t TickCount64() {
  if (auto get = TryBindAs<ULONGLONG(WINAPI*)()>(getTickCount64)) return get();
  return widenedTickCount.Now();
}

}  // namespace tolvane
