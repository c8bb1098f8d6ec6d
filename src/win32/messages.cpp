// The main window's procedure: commands, notifications, timers, the tray callback
// and the window's life.
#include "win32/win32_host.h"

#include <commctrl.h>


namespace tolvane::win32 {

using ui::ControlType;

namespace {
// WM_DPICHANGED and WM_GETDPISCALEDSIZE, which the headers give only for newer Windows.
constexpr UINT kDpiChangedMessage = 0x02E0;
constexpr UINT kGetDpiScaledSizeMessage = 0x02E4;
}  // namespace

void Win32Host::HandleCommand(WORD id, WORD code) {
  ui::ControlState* control = ControlById(id);
  if (control == nullptr) return;
  const std::string name = control->def->name;
  switch (control->type) {
    case ControlType::MenuItem:
      if (!control->disabled) Raise(name, ui::Event::Selected);
      break;
    case ControlType::RadioBox:
      if (code == BN_CLICKED) UserClickedRadio(name);
      break;
    case ControlType::Button:
    case ControlType::CheckBox:
      if (code == BN_CLICKED) Raise(name, ui::Event::Clicked);
      break;
    default:
      break;
  }
}

LRESULT Win32Host::HandleNotify(NMHDR* header) {
  if (header->code == UDN_DELTAPOS) {
    auto* change = reinterpret_cast<NMUPDOWN*>(header);
    HWND buddy = reinterpret_cast<HWND>(SendMessageW(header->hwndFrom, UDM_GETBUDDY, 0, 0));
    if (buddy != nullptr && change->iDelta != 0) SpinEdit(buddy, change->iDelta > 0 ? 1 : -1);
    return TRUE;  // the text is ours; the up-down keeps no position of its own
  }
  if (header->code == DTN_DATETIMECHANGE) {
    // Reported through a posted message, so the picker finishes its own work first.
    PostMessageW(window_, kPickerChangedMessage, header->idFrom, 0);
  }
  return 0;
}

LRESULT Win32Host::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      HandleCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return HandleNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_TIMER:
      if (ui::ControlState* timer = ControlById(static_cast<int>(wParam)); timer && timer->type == ControlType::Timer) {
        // The next tick is set before this one runs, as a periodic timer would be: a box
        // opened by the tick lets the following ticks through.
        if (ui::FollowsWallClock(timer->interval)) ArmTimer(*timer);
        Raise(std::string(timer->def->name), ui::Event::Tick);
      }
      return 0;
    case WM_TIMECHANGE:
      WallClockChanged();
      return 0;
    case WM_POWERBROADCAST:
      if (wParam == PBT_APMRESUMEAUTOMATIC) WallClockChanged();
      return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      return ControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_WINDOWPOSCHANGED: {
      const auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      const LRESULT result = DefWindowProcW(window_, message, wParam, lParam);
      if (eventsLive_ && (pos->flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
        Raise(ui::kWindowName, ui::Event::PositionChanged);
      }
      return result;
    }
    case kGetDpiScaledSizeMessage: {
      // The size at the new DPI is the definition's size scaled, not the present one stretched.
      RECT r;
      GetWindowRect(window_, &r);
      const SIZE definition = DefinitionSize(r.right - r.left, r.bottom - r.top);
      *reinterpret_cast<SIZE*>(lParam) = OuterSize(definition.cx, definition.cy, static_cast<int>(wParam));
      return TRUE;
    }
    case kDpiChangedMessage:
      ApplyDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_CLOSE:
      Raise(ui::kWindowName, ui::Event::CloseRequest);
      if (window_ != nullptr) DestroyWindow(window_);
      return 0;
    case WM_QUERYENDSESSION:
      // Windows asks whether the logon may end: the close request saves and agrees.
      Raise(ui::kWindowName, ui::Event::CloseRequest);
      return TRUE;
    case kDeferredDestroyMessage:
      DestroyWindow(window_);
      return 0;
    case kTrayCallbackMessage: {
      if (const int operation = ui::TrayOperationFor(LOWORD(lParam)); operation != 0) {
        ui::EventArgs args;
        args.trayOperation = operation;
        Raise(ui::kWindowName, ui::Event::TrayEvent, args);
      }
      return 0;
    }
    case kPickerChangedMessage:
      if (ui::ControlState* picker = ControlById(static_cast<int>(wParam)); picker && picker->type == ControlType::DatePicker) {
        UserChangedPicker(std::string(picker->def->name));
      }
      return 0;
    case WM_DESTROY:
      SetTrayIcon({}, "");
      for (const ui::ControlDef& def : ui::MainWindowControls()) {
        if (def.type == ControlType::Timer) KillTimer(window_, static_cast<UINT_PTR>(ui::ControlId(def.name)));
      }
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      if (message == taskbarCreatedMessage_ && message != 0) {
        tray_.AddAgain();
        return 0;
      }
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

LRESULT CALLBACK Win32Host::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_host != nullptr && g_host->window_ == hwnd) return g_host->HandleMessage(message, wParam, lParam);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}
}  // namespace tolvane::win32
