#include "platform/power/power_win32.h"

#include <windows.h>

#include "platform/system/bind_win32.h"
#include "platform/text/text_win32.h"

namespace tolvane {
namespace {

// Both suspend calls are bound at run time: the kernel one is deprecated and may
// disappear, the power-profile one lives in a library the program need not load
// otherwise. Either may be missing without the program failing to start.
DeclaredFunction setSuspendStateFunction{"powrprof.dll", "SetSuspendState"};
DeclaredFunction setSystemPowerStateFunction{"Kernel32.dll", "SetSystemPowerState"};

using SetSuspendStateFn = BOOLEAN(WINAPI*)(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeupEventsDisabled);
using SetSystemPowerStateFn = BOOL(WINAPI*)(BOOL suspend, BOOL force);

// The version as the program's manifest lets the system report it. Without a
// manifest Windows 8.1 and later claim 6.2, which still selects the right suspend call.
bool QueryVersion(OSVERSIONINFOW& info) {
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  return GetVersionExW(&info) != FALSE;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

}  // namespace

void Win32PowerService::RequestPowerAction(std::int32_t code, bool force, PowerAnswered answered) {
  PowerAnswer answer;
  answer.accepted = RequestPowerAction(code, force);
  if (!answer.accepted) answer.reason = FailureReason();
  answered(answer);
}

bool Win32PowerService::RequestPowerAction(std::int32_t code, bool force) {
  lastError_ = ERROR_INVALID_PARAMETER;  // stays for a code outside 1..5
  const bool accepted = RunPowerAction(*this, code, force);
  if (accepted) lastError_ = 0;
  return accepted;
}

std::string Win32PowerService::FailureReason() const {
  if (lastError_ == 0) return {};
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      lastError_, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (length != 0 && buffer != nullptr) text.assign(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
  if (text.empty()) return "错误代码 " + std::to_string(lastError_);
  return WideToGbk(text);
}

void Win32PowerService::KeepSystemAwake(bool awake, double) {
  // Only the system's sleep timer is held off; the display may still turn off.
  SetThreadExecutionState(awake ? (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) : ES_CONTINUOUS);
}

bool Win32PowerService::EnableShutdownPrivilege() {
  if (!IsNtFamily()) return true;

  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    lastError_ = GetLastError();
    return false;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
  SetLastError(0);
  AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  // The call succeeds with ERROR_NOT_ALL_ASSIGNED when the account lacks the
  // privilege, so the last error is the only reliable answer.
  const DWORD error = GetLastError();
  CloseHandle(token);
  if (error == 0) return true;
  // "Not all privileges assigned" means the account does not hold it; say so plainly.
  lastError_ = error == ERROR_NOT_ALL_ASSIGNED ? ERROR_PRIVILEGE_NOT_HELD : error;
  return false;
}

bool Win32PowerService::IsNtFamily() {
  OSVERSIONINFOW info;
  return QueryVersion(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::uint32_t Win32PowerService::MajorVersion() {
  OSVERSIONINFOW info;
  return QueryVersion(info) ? info.dwMajorVersion : 0;
}

bool Win32PowerService::EndSession(std::uint32_t exitFlags) {
  if (ExitWindowsEx(exitFlags, 0)) return true;
  lastError_ = GetLastError();
  return false;
}

bool Win32PowerService::SetSystemPowerState(bool suspend, bool force) {
  const auto call = TryBindAs<SetSystemPowerStateFn>(setSystemPowerStateFunction);
  if (call == nullptr) {
    lastError_ = ERROR_PROC_NOT_FOUND;
    return false;
  }
  if (call(suspend ? TRUE : FALSE, force ? TRUE : FALSE)) return true;
  lastError_ = GetLastError();
  return false;
}

std::optional<bool> Win32PowerService::SetSuspendState(bool hibernate, bool force) {
  const auto call = TryBindAs<SetSuspendStateFn>(setSuspendStateFunction);
  if (call == nullptr) return std::nullopt;
  // Wake events stay enabled, so a scheduled wake-up still works after standby.
  if (call(hibernate ? TRUE : FALSE, force ? TRUE : FALSE, FALSE)) return true;
  lastError_ = GetLastError();
  return false;
}

}  // namespace tolvane
