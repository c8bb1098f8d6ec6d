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
        // The next tick is set before this one runs: a box opened by the tick lets the
        // following ticks through.
        if (ui::FollowsWallClock(timer->interval)) KeepSecondTimerOnTime(*timer);
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
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:  // the contrast theme switched on or off, or a screen reader started
      SystemColoursChanged(message);
      if (message == WM_SETTINGCHANGE && wParam == SPI_SETSCREENREADER) ScreenReaderSettingChanged();
      return 0;
    case WM_GETOBJECT:
      AnnotateForScreenReaders();
      return DefWindowProcW(window_, message, wParam, lParam);
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

// The controls that can take the focus now: shown, enabled and inside the client area
// (the collapsed window cuts the reminder panel off).
std::vector<ui::FocusCandidate> Win32Host::FocusCandidates() {
  std::vector<ui::FocusCandidate> out;
  RECT client;
  GetClientRect(window_, &client);
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    auto it = hwnds_.find(def.name);
    if (it == hwnds_.end()) continue;
    HWND hwnd = it->second;
    // Not by WS_TABSTOP: radio buttons clear it on their own when unchecked.
    if (!ui::TakesFocus(def) || !IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) continue;
    RECT r;
    GetWindowRect(hwnd, &r);
    MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&r), 2);
    if (r.bottom > client.bottom) continue;
    const bool radio = def.type == ControlType::RadioBox;
    out.push_back({def.name, ui::Rect{r.left, r.top, r.right - r.left, r.bottom - r.top},
                   radio ? (*def.parent ? std::string_view(def.parent) : ui::kWindowName) : std::string_view(),
                   radio && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED});
  }
  return out;
}

ui::ControlState* Win32Host::FocusedControl() {
  // The focus may sit in a part of a control, such as a date picker's own children.
  for (HWND h = GetFocus(); h != nullptr && h != window_; h = GetParent(h)) {
    if (GetParent(h) == window_) return ControlByHwnd(h);
  }
  return nullptr;
}

// Tab and Shift+Tab follow the layout (the drawing order, which the system would follow,
// puts later controls first); arrows move inside a radio group and choose the box, as a
// click does; Enter and Space press the focused button or the clickable board.
bool Win32Host::HandleKey(const MSG& msg) {
  if (msg.hwnd != window_ && !IsChild(window_, msg.hwnd)) return false;
  if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
  ui::ControlState* focused = FocusedControl();
  const std::string_view current = focused != nullptr ? std::string_view(focused->def->name) : std::string_view();
  const auto focusOn = [this](std::string_view name) {
    auto it = hwnds_.find(name);
    if (it == hwnds_.end()) return;
    SetFocus(it->second);
    // Moving into an edit box selects its text, as the dialog manager does.
    if (State(name).type == ControlType::EditBox) SendMessageW(it->second, EM_SETSEL, 0, -1);
  };
  switch (msg.wParam) {
    case VK_TAB: {
      const std::vector<ui::FocusCandidate> candidates = FocusCandidates();
      const std::string_view next = ui::NextTabStop(candidates, current, GetKeyState(VK_SHIFT) >= 0);
      if (!next.empty()) focusOn(next);
      return true;
    }
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: {
      if (focused == nullptr || focused->type != ControlType::RadioBox) return false;
      const std::vector<ui::FocusCandidate> candidates = FocusCandidates();
      const bool forward = msg.wParam == VK_RIGHT || msg.wParam == VK_DOWN;
      const std::string_view next = ui::NextInRadioGroup(candidates, current, forward);
      if (next != current) {
        focusOn(next);
        SendMessageW(hwnds_.find(next)->second, BM_CLICK, 0, 0);
      }
      return true;
    }
    case VK_RETURN:
    case VK_SPACE:
      if (focused == nullptr) return false;
      if (focused->type == ControlType::Label && ui::ClickableLabel(current)) {
        if (msg.wParam == VK_SPACE && (msg.lParam & (1 << 30)) != 0) return true;  // held down
        ui::EventArgs args;  // a click at the board's centre
        RECT r;
        GetClientRect(Hwnd(*focused), &r);
        args.x = r.right / 2;
        args.y = r.bottom / 2;
        Raise(std::string(current), ui::Event::LeftButtonDown, args);
        return true;
      }
      if (msg.wParam == VK_RETURN && focused->type == ControlType::Button) {
        PostMessageW(Hwnd(*focused), BM_CLICK, 0, 0);
        return true;
      }
      return false;
    default:
      return false;
  }
}

Win32Host* Win32Host::HostOf(HWND window) {
  return reinterpret_cast<Win32Host*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK Win32Host::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  // Messages sent while CreateWindowExW runs take the default course, as the host
  // knows its window only once that returns.
  Win32Host* host = HostOf(hwnd);
  if (host != nullptr && host->window_ == hwnd) return host->HandleMessage(message, wParam, lParam);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}
}  // namespace tolvane::win32
