// The notification area icon and the popup menu.
#include "win32/win32_host.h"

#include <shellapi.h>

#include "platform/text/text_win32.h"
#include "ui/program_icon.h"
#include "ui/scale.h"
#include "win32/icon.h"

namespace tolvane::win32 {

using ui::ControlType;

void Win32Host::PopupMenu(std::string_view menuName) {
  HMENU popup = CreatePopupMenu();
  if (popup == nullptr) return;
  const auto controls = ui::MainWindowControls();
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ui::ControlDef& def = controls[i];
    if (def.type != ControlType::MenuItem || menuName != def.parent) continue;
    if (std::string_view(def.name) == "-") {
      AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const ui::ControlState& item = State(def.name);
    if (!item.visible) continue;
    const UINT flags = MF_STRING | (item.disabled ? MF_GRAYED : 0) | (item.checked ? MF_CHECKED : 0);
    AppendMenuW(popup, flags, static_cast<UINT_PTR>(ui::ControlId(def.name)), GbkToWide(item.caption).c_str());
  }
  POINT at{};
  GetCursorPos(&at);
  // The window must be foreground for the menu to close when the user clicks elsewhere.
  SetForegroundWindow(window_);
  TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x + 3, at.y + 3, 0, window_, nullptr);
  PostMessageW(window_, WM_NULL, 0, 0);
  DestroyMenu(popup);
}

void Win32Host::SetTrayIcon(ByteView iconFile, const std::string& tip) { tray_.Set(iconFile, tip); }

ui::TrayBackend::IconHandle Win32Host::CreateIcon(ByteView iconFile, int preferredWidth) {
  // The width asked for is in 96-DPI units, as every length of the program.
  const int width = ui::ScaleLength(preferredWidth, dpi_);
  return IconFromFile(ui::IconFileForSize(iconFile, width), width);
}

void Win32Host::DestroyIcon(IconHandle icon) { ::DestroyIcon(static_cast<HICON>(icon)); }

void Win32Host::Notify(ui::TrayCommand command, IconHandle icon, const std::string& tip) {
  NOTIFYICONDATAW data{};
  data.cbSize = NOTIFYICONDATAW_V2_SIZE;
  data.hWnd = window_;
  data.uID = kTrayIconId;
  if (command != ui::TrayCommand::Delete) {
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = static_cast<HICON>(icon);
    const std::wstring wideTip = GbkToWide(tip);
    wcsncpy(data.szTip, wideTip.c_str(), (sizeof(data.szTip) / sizeof(wchar_t)) - 1);
  }
  const DWORD message = command == ui::TrayCommand::Add ? NIM_ADD : command == ui::TrayCommand::Modify ? NIM_MODIFY : NIM_DELETE;
  Shell_NotifyIconW(message, &data);
}
}  // namespace tolvane::win32
