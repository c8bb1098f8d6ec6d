#include "platform/messages/messages_win32.h"

#include <windows.h>

#include "platform/messages/fatal.h"
#include "platform/text/text_win32.h"

namespace tolvane {

int Win32MessageBoxService::ShowBox(const std::string& text, const std::string& title, std::int32_t style) {
  const std::wstring wideText = GbkToWide(text);
  const std::wstring wideTitle = GbkToWide(title);
  return MessageBoxW(nullptr, wideText.c_str(), wideTitle.c_str(), static_cast<UINT>(style));
}

namespace {
void ShowFatalReportAndExit(const std::string& reportText) {
  const std::wstring wideText = GbkToWide(reportText);
  MessageBoxW(nullptr, wideText.c_str(), L"错误", MB_ICONERROR);
  RunBeforeFatalExit();
  ExitProcess(static_cast<UINT>(-1));
}
}  // namespace

void InstallWin32FatalErrorHandler() { SetFatalErrorHandler(&ShowFatalReportAndExit); }

}  // namespace tolvane
