#include "platform/idle/idle_win32.h"

#include <windows.h>

#include "platform/system/bind_win32.h"

namespace tolvane {
namespace {

// Declared without a library, so the usual list of system libraries is searched.
DeclaredFunction getLastInputInfoFunction{"", "GetLastInputInfo"};

// The last-input record: its size field must say 8, and the time starts at 0.
struct LastInputRecord {
  std::uint32_t size;
  std::uint32_t time;
};
static_assert(sizeof(LastInputRecord) == 8);

using GetLastInputInfoFn = BOOL(WINAPI*)(LastInputRecord* record);

}  // namespace

std::int32_t Win32IdleService::IdleSeconds() {
  LastInputRecord record{8, 0};
  // A failed query leaves the time at 0, which reads as idle since start-up.
  BindAs<GetLastInputInfoFn>(getLastInputInfoFunction)(&record);
  return IdleSecondsBetween(GetTickCount(), record.time);
}

}  // namespace tolvane
