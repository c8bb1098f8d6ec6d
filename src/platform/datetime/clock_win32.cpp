#include "platform/datetime/clock_win32.h"

#include <windows.h>

namespace tolvane {

DateTimeParts Win32Clock::LocalNow() const {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  // Milliseconds are dropped: the program works in whole seconds.
  DateTimeParts parts;
  parts.year = now.wYear;
  parts.month = now.wMonth;
  parts.day = now.wDay;
  parts.hour = now.wHour;
  parts.minute = now.wMinute;
  parts.second = now.wSecond;
  return parts;
}

}  // namespace tolvane
