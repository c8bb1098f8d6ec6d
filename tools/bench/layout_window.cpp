// The layout floor for bench_startup.sh: Tolvane's window definition built with the
// system's plain controls (static labels, buttons, edit boxes with an up-down, the
// date-time picker) in the definition's fonts, scaled to the system DPI, and the clock
// label given the local time by a plain one-second SetTimer. Nothing else: no tray, no
// menu, no sound, no settings, no screen-reader names, no own painting. Built with
// Tolvane's manifest (the same common controls) and linked as Tolvane.exe is.
#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <tuple>

#include "platform/text/text_win32.h"
#include "ui/scale.h"
#include "ui/window_definition.h"
#include "floor_window.h"

namespace {

using tolvane::ui::ControlType;

// One font per face, size and weight, as a host that shares its fonts has.
HFONT FontFor(const tolvane::ui::FontDef& font, int dpi) {
  static std::map<std::tuple<std::string, int, int>, HFONT> fonts;
  if (font.face == nullptr) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HFONT& made = fonts[{font.face, font.height, font.weight}];
  if (made == nullptr) {
    made = CreateFontW(-tolvane::ui::ScaleFontHeight(font.height, dpi), 0, 0, 0, font.weight, FALSE, FALSE, FALSE,
                       static_cast<BYTE>(font.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, tolvane::GbkToWide(font.face).c_str());
  }
  return made;
}

HWND CreateControl(HWND window, const tolvane::ui::ControlDef& def, int dpi) {
  DWORD style = WS_CHILD | (def.visible ? WS_VISIBLE : 0) | (def.disabled ? WS_DISABLED : 0);
  const wchar_t* cls = L"BUTTON";
  switch (def.type) {
    case ControlType::Label:
      cls = L"STATIC";
      style |= (def.align == tolvane::ui::Align::Centre ? SS_CENTER : SS_LEFT) | (def.sunkenBorder ? SS_SUNKEN : 0);
      break;
    case ControlType::Button: style |= BS_PUSHBUTTON | WS_TABSTOP; break;
    case ControlType::CheckBox: style |= BS_AUTOCHECKBOX | WS_TABSTOP; break;
    case ControlType::RadioBox: style |= BS_AUTORADIOBUTTON | WS_TABSTOP; break;
    case ControlType::GroupBox: style |= BS_GROUPBOX; break;
    case ControlType::EditBox:
      cls = L"EDIT";
      style |= ES_AUTOHSCROLL | WS_TABSTOP | (def.align == tolvane::ui::Align::Centre ? ES_CENTER : ES_LEFT) |
               (def.readOnly ? ES_READONLY : 0);
      break;
    case ControlType::DatePicker: cls = DATETIMEPICK_CLASSW; style |= DTS_UPDOWN | WS_TABSTOP; break;
    default: return nullptr;  // timers, the file dialog and the menu have no visible form
  }
  const tolvane::ui::Rect r = tolvane::ui::ScaleRect(tolvane::ui::ClientRect(def), dpi);
  const std::wstring text = def.type == ControlType::DatePicker ? L"" : tolvane::GbkToWide(def.text);
  HWND hwnd = CreateWindowExW(def.sunkenBorder && def.type != ControlType::Label ? WS_EX_CLIENTEDGE : 0, cls,
                              text.c_str(), style, r.left, r.top, r.width, r.height, window, nullptr, nullptr, nullptr);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(def.font, dpi)), FALSE);
  if (def.checked) SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
  if (def.spin) {
    HWND updown = CreateWindowExW(0, UPDOWN_CLASSW, nullptr,
                                  WS_CHILD | (def.visible ? WS_VISIBLE : 0) | UDS_ALIGNRIGHT | UDS_ARROWKEYS, 0, 0, 0, 0,
                                  window, nullptr, nullptr, nullptr);
    SendMessageW(updown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(hwnd), 0);
    SendMessageW(updown, UDM_SETRANGE32, def.spin->low, def.spin->high);
  }
  return hwnd;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_DATE_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  const tolvane::ui::WindowDef& def = tolvane::ui::MainWindow();
  return tolvane::bench::RunFloorWindow(
      instance, show, L"TolvaneBenchLayout", tolvane::GbkToWide(def.title).c_str(),
      tolvane::ui::ScaleLength(def.rect.width, dpi), tolvane::ui::CollapsedHeight(dpi), [dpi](HWND window) {
        HWND clock = nullptr;
        for (const auto& control : tolvane::ui::MainWindowControls()) {
          HWND hwnd = CreateControl(window, control, dpi);
          if (std::string_view(control.name) == "标签3") clock = hwnd;
        }
        return clock;
      });
}
