// The window's controls: creating and placing them (a number box with its spin
// arrows), their fonts and colours (the system's colours read for ui::PaintText), and
// the date pickers' display formats.
#include "win32/win32_host.h"

#include <uxtheme.h>

#include "platform/messages/fatal.h"
#include "platform/system/bind_win32.h"
#include "platform/text/text_win32.h"
#include "ui/scale.h"
#include "ui/text_colours.h"
#include "win32/common_controls.h"
#include "win32/dpi.h"

namespace tolvane::win32 {

using ui::ControlType;

namespace {
// Bound by name at run time, as the idle query's function is, so a system without
// it gets the program's own fatal report.
DeclaredFunction sendMessageFunction{"user32", "SendMessageW"};
using SendMessageFn = LRESULT(WINAPI*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
constexpr UINT kDtmSetFormatW = 0x1032;

ui::Colour SysColour(int index) {
  const COLORREF c = GetSysColor(index);
  return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

// The theme library is bound when first needed; without it controls have the classic
// look anyway.
void DrawUnthemed(HWND hwnd) {
  static DeclaredFunction setWindowTheme{"uxtheme.dll", "SetWindowTheme"};
  if (auto set = TryBindAs<decltype(&::SetWindowTheme)>(setWindowTheme)) set(hwnd, L"", L"");
}

// Radio boxes and check boxes are drawn unthemed so their caption colours show.
bool HasOwnTextColour(ControlType type) { return type == ControlType::CheckBox || type == ControlType::RadioBox; }
}  // namespace

// Read at start and again when the user changes the colours or the contrast theme.
void Win32Host::ReadSystemColours() {
  HIGHCONTRASTW contrast{sizeof contrast};
  const bool high = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
                    (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
  colours_ = {SysColour(COLOR_BTNFACE), SysColour(COLOR_BTNTEXT),  SysColour(COLOR_WINDOW),
              SysColour(COLOR_WINDOWTEXT), SysColour(COLOR_GRAYTEXT), high};
}

void Win32Host::SystemColoursChanged(UINT message) {
  const ui::SystemColours before = colours_;
  ReadSystemColours();
  // Common controls (the pickers, the spin arrows) learn of new colours only from their parent.
  if (message == WM_SYSCOLORCHANGE) {
    for (const auto* controls : {&hwnds_, &spins_}) {
      for (const auto& [name, hwnd] : *controls) SendMessageW(hwnd, WM_SYSCOLORCHANGE, 0, 0);
    }
  }
  if (colours_ != before && window_ != nullptr) RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

HFONT Win32Host::FontFor(const ui::FontDef& font) {
  const int systemDpi = SystemDpi();
  if (font.face == nullptr && dpi_ == systemDpi) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const std::string key = std::string(font.face ? font.face : "") + "/" + std::to_string(font.height) + "/" +
                          std::to_string(font.weight) + "/" + std::to_string(font.charset) + "@" + std::to_string(dpi_);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  HFONT created = nullptr;
  if (font.face == nullptr) {
    // The stock font is made for the system DPI; a monitor at another DPI gets a copy to its scale.
    LOGFONTW lf{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = MulDiv(lf.lfHeight, dpi_, systemDpi);
    created = CreateFontIndirectW(&lf);
  } else {
    created = CreateFontW(-ui::ScaleFontHeight(font.height, dpi_), 0, 0, 0, font.weight, FALSE, FALSE, FALSE,
                          static_cast<BYTE>(font.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, GbkToWide(font.face).c_str());
  }
  fonts_.emplace(key, created);
  return created;
}

// The control's rectangle at the window's DPI; a number box shares it with its spin
// buttons at the right edge.
void Win32Host::PlaceControl(const ui::ControlDef& def, HWND hwnd) {
  const ui::Rect r = ui::ScaleRect(ui::ClientRect(def), dpi_);
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  auto spin = spins_.find(def.name);
  if (spin == spins_.end()) {
    SetWindowPos(hwnd, nullptr, r.left, r.top, r.width, r.height, flags);
    return;
  }
  const int spinWidth = SystemMetricForDpi(SM_CXVSCROLL, dpi_);
  SetWindowPos(hwnd, nullptr, r.left, r.top, r.width - spinWidth, r.height, flags);
  // Attaching and resizing the buddy may nudge the arrows; they keep exactly the right end.
  SetWindowPos(spin->second, nullptr, r.left + r.width - spinWidth, r.top, spinWidth, r.height, flags);
}

// A new DPI: fonts made again at its scale, every control moved and sized; the old
// fonts go once no control uses them.
void Win32Host::RescaleControls() {
  std::map<std::string, HFONT> old;
  old.swap(fonts_);
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    auto it = hwnds_.find(def.name);
    if (it == hwnds_.end()) continue;
    SendMessageW(it->second, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(def.font)), FALSE);
    PlaceControl(def, it->second);
  }
  for (auto& [key, font] : old) DeleteObject(font);
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32Host::CreateControls() {
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    HWND hwnd = CreateControl(def);
    if (hwnd == nullptr) continue;
    hwnds_[def.name] = hwnd;
  }
  // Frames lie beneath the controls they surround.
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    if (def.type == ControlType::GroupBox) {
      SetWindowPos(hwnds_[def.name], HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
}

HWND Win32Host::CreateControl(const ui::ControlDef& def) {
  const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(ui::ControlId(def.name)));
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (def.visible ? WS_VISIBLE : 0) | (def.disabled ? WS_DISABLED : 0);
  DWORD exStyle = def.sunkenBorder ? WS_EX_CLIENTEDGE : 0;
  const wchar_t* cls = nullptr;
  std::wstring text = GbkToWide(def.text);
  switch (def.type) {
    case ControlType::Label:
      cls = kLabelClass;
      exStyle = 0;  // the border is painted with the label
      if (ui::ClickableLabel(def.name)) style |= WS_TABSTOP;  // the keyboard reaches what a click does
      break;
    case ControlType::Button: cls = L"BUTTON"; style |= BS_PUSHBUTTON | WS_TABSTOP; break;
    case ControlType::CheckBox: cls = L"BUTTON"; style |= BS_AUTOCHECKBOX | WS_TABSTOP; break;
    case ControlType::RadioBox: cls = L"BUTTON"; style |= BS_RADIOBUTTON | WS_TABSTOP; break;
    case ControlType::GroupBox: cls = L"BUTTON"; style |= BS_GROUPBOX; break;
    case ControlType::EditBox:
      cls = L"EDIT";
      style |= ES_AUTOHSCROLL | WS_TABSTOP | (def.align == ui::Align::Centre ? ES_CENTER : ES_LEFT) |
               (def.readOnly ? ES_READONLY : 0);
      break;
    case ControlType::DatePicker:
      cls = DATETIMEPICK_CLASSW;
      style |= DTS_UPDOWN | WS_TABSTOP;
      text.clear();
      break;
    case ControlType::Timer:
    case ControlType::FileDialog:
    case ControlType::Menu:
    case ControlType::MenuItem:
    case ControlType::Window:
      return nullptr;  // no visible form
  }
  // Made at its place and size: moving forty controls again after creation costs the
  // start a round of size and position messages each. A number box makes room for its
  // arrows once they are attached.
  const ui::Rect r = ui::ScaleRect(ui::ClientRect(def), dpi_);
  HWND hwnd = CreateWindowExW(exStyle, cls, text.c_str(), style, r.left, r.top, r.width, r.height, window_, id,
                              instance_, nullptr);
  if (hwnd == nullptr) ReportFatalError("载入启动窗口失败");
  // Later controls lie above earlier ones, so a label never covers the boxes set into it.
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(def.font)), FALSE);
  if (HasOwnTextColour(def.type)) DrawUnthemed(hwnd);
  if (def.type == ControlType::CheckBox || def.type == ControlType::RadioBox) {
    SendMessageW(hwnd, BM_SETCHECK, def.checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  if (def.spin) {
    SubclassControl(hwnd, NumberEditProc, 1, reinterpret_cast<DWORD_PTR>(this));
    HWND updown = CreateWindowExW(0, UPDOWN_CLASSW, nullptr,
                                  WS_CHILD | WS_CLIPSIBLINGS | (def.visible ? WS_VISIBLE : 0) | UDS_ARROWKEYS, 0, 0, 0,
                                  0, window_, nullptr, instance_, nullptr);
    SendMessageW(updown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(hwnd), 0);
    SendMessageW(updown, UDM_SETRANGE32, def.spin->low, def.spin->high);
    spins_[def.name] = updown;
  }
  if (auto spin = spins_.find(def.name); spin != spins_.end()) {
    PlaceControl(def, hwnd);
    SetWindowPos(spin->second, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return hwnd;
}

LRESULT Win32Host::ControlColour(HDC dc, HWND hwnd) {
  ui::ControlState* control = ControlByHwnd(hwnd);
  if (control != nullptr && control->type == ControlType::EditBox) {
    // The layout's white fields; the system's own in a high-contrast mode.
    const ui::TextPaint paint = ui::PaintText(control->textColour, control->def->background, control->disabled, colours_);
    SetTextColor(dc, ToColorRef(paint.text));
    SetBkColor(dc, ToColorRef(paint.background));
    return reinterpret_cast<LRESULT>(colours_.highContrast ? GetSysColorBrush(COLOR_WINDOW) : whiteBrush_);
  }
  if (control != nullptr && HasOwnTextColour(control->type)) {
    SetTextColor(dc, ToColorRef(ui::PaintText(control->textColour, std::nullopt, control->disabled, colours_).text));
    SetBkMode(dc, TRANSPARENT);
  }
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void SetPickerFormat(HWND picker, const std::string& gbkFormat) {
  const std::wstring format = GbkToWide(gbkFormat);
  BindAs<SendMessageFn>(sendMessageFunction)(picker, kDtmSetFormatW, 0, reinterpret_cast<LPARAM>(format.c_str()));
}

}  // namespace tolvane::win32
