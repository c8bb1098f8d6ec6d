#include "platform/idle/idle_win32.h"

#include <windows.h>

#include "platform/system/bind_win32.h"
#include "platform/text/text_win32.h"

namespace tolvane {
namespace {

// Declared without a library, so the usual list of system libraries is searched.
DeclaredFunction getLastInputInfoFunction{"", "GetLastInputInfo"};
DeclaredFunction sendMessageFunction{"user32", "SendMessageW"};

// The last-input record: its size field must say 8, and the time starts at 0.
struct LastInputRecord {
  std::uint32_t size;
  std::uint32_t time;
};
static_assert(sizeof(LastInputRecord) == 8);

using GetLastInputInfoFn = BOOL(WINAPI*)(LastInputRecord* record);
using SendMessageFn = LRESULT(WINAPI*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

constexpr UINT kDtmSetFormatW = 0x1032;

}  // namespace

std::int32_t Win32IdleService::IdleSeconds() {
  LastInputRecord record{8, 0};
  // A failed query leaves the time at 0, which reads as idle since start-up.
  BindAs<GetLastInputInfoFn>(getLastInputInfoFunction)(&record);
  return IdleSecondsBetween(GetTickCount(), record.time);
}

void SetPickerFormat(void* hwnd, const std::string& gbkFormat) {
  const std::wstring format = GbkToWide(gbkFormat);
  BindAs<SendMessageFn>(sendMessageFunction)(static_cast<HWND>(hwnd), kDtmSetFormatW, 0,
                                             reinterpret_cast<LPARAM>(format.c_str()));
}

}  // namespace tolvane
