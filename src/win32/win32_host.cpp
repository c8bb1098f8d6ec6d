#include "win32/win32_host.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <uxtheme.h>

#include <vector>

#include "platform/idle/idle_win32.h"
#include "platform/messages/fatal.h"
#include "platform/text/text_win32.h"
#include "ui/number_entry.h"
#include "win32/icon.h"

namespace tolvane::win32 {

using ui::ControlType;
using ui::Prop;

namespace {
constexpr wchar_t kMainClass[] = L"TolvaneMainWindow";
constexpr wchar_t kLabelClass[] = L"TolvaneLabel";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

Win32Host* g_host = nullptr;  // one window per process

COLORREF ToColorRef(ui::Colour c) { return RGB(c.red, c.green, c.blue); }

std::wstring WindowTextOf(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return text;
}

SYSTEMTIME ToSystemTime(DateTime value) {
  const DateTimeParts p = SplitDateTime(value);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(p.year);
  st.wMonth = static_cast<WORD>(p.month);
  st.wDay = static_cast<WORD>(p.day);
  st.wHour = static_cast<WORD>(p.hour);
  st.wMinute = static_cast<WORD>(p.minute);
  st.wSecond = static_cast<WORD>(p.second);
  return st;
}

// Radio boxes and check boxes are drawn unthemed so their caption colours show.
bool HasOwnTextColour(ControlType type) { return type == ControlType::CheckBox || type == ControlType::RadioBox; }
}  // namespace

Win32Host::Win32Host(HINSTANCE instance) : instance_(instance) { g_host = this; }

Win32Host::~Win32Host() {
  for (auto& [key, font] : fonts_) DeleteObject(font);
  if (windowIconSmall_) DestroyIcon(windowIconSmall_);
  if (windowIconBig_) DestroyIcon(windowIconBig_);
  if (whiteBrush_) DeleteObject(whiteBrush_);
  g_host = nullptr;
}

bool Win32Host::Build() {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_DATE_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  whiteBrush_ = CreateSolidBrush(RGB(255, 255, 255));

  WNDCLASSEXW main{sizeof(main)};
  main.style = CS_DBLCLKS;
  main.lpfnWndProc = WindowProc;
  main.hInstance = instance_;
  main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  main.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  main.lpszClassName = kMainClass;
  WNDCLASSEXW label{sizeof(label)};
  label.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  label.lpfnWndProc = LabelProc;
  label.cbWndExtra = sizeof(HFONT);  // the font it was given, for WM_GETFONT
  label.hInstance = instance_;
  label.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  label.lpszClassName = kLabelClass;
  if (!RegisterClassExW(&main) || !RegisterClassExW(&label)) return false;

  taskbarCreatedMessage_ = RegisterWindowMessageW(L"TaskbarCreated");
  const ui::WindowDef& def = ui::MainWindow();
  window_ = CreateWindowExW(0, kMainClass, GbkToWide(def.title).c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            def.rect.width, def.rect.height, nullptr, nullptr, instance_, nullptr);
  if (window_ == nullptr) return false;
  Centre();
  CreateControls();

  eventsLive_ = true;
  Raise(ui::kWindowName, ui::Event::Created);
  if (window_ == nullptr) return true;  // the start-up destroyed the window
  Raise(ui::kWindowName, ui::Event::PositionChanged);
  if (window_ != nullptr && def.visible) {
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
  }
  return true;
}

int Win32Host::RunMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (window_ != nullptr && IsDialogMessageW(window_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void Win32Host::Centre() {
  RECT r;
  GetWindowRect(window_, &r);
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int width = r.right - r.left, height = r.bottom - r.top;
  SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT Win32Host::FontFor(const ui::FontDef& font) {
  if (font.face == nullptr) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const std::string key = std::string(font.face) + "/" + std::to_string(font.height) + "/" +
                          std::to_string(font.weight) + "/" + std::to_string(font.charset);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  HFONT created = CreateFontW(-font.height, 0, 0, 0, font.weight, FALSE, FALSE, FALSE, static_cast<BYTE>(font.charset),
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              GbkToWide(font.face).c_str());
  fonts_.emplace(key, created);
  return created;
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
  const ui::Rect r = ui::ClientRect(def);
  const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(ui::ControlId(def.name)));
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (def.visible ? WS_VISIBLE : 0) | (def.disabled ? WS_DISABLED : 0);
  DWORD exStyle = def.sunkenBorder ? WS_EX_CLIENTEDGE : 0;
  const wchar_t* cls = nullptr;
  std::wstring text = GbkToWide(def.text);
  switch (def.type) {
    case ControlType::Label:
      cls = kLabelClass;
      exStyle = 0;  // the border is painted with the label
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
  // A number box shares its rectangle with its spin buttons at the right edge.
  const int spinWidth = def.spin ? GetSystemMetrics(SM_CXVSCROLL) : 0;
  HWND hwnd = CreateWindowExW(exStyle, cls, text.c_str(), style, r.left, r.top, r.width - spinWidth, r.height, window_,
                              id, instance_, nullptr);
  if (hwnd == nullptr) ReportFatalError("载入启动窗口失败");
  // Later controls lie above earlier ones, so a label never covers the boxes set into it.
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(def.font)), FALSE);
  if (HasOwnTextColour(def.type)) SetWindowTheme(hwnd, L"", L"");
  if (def.type == ControlType::CheckBox || def.type == ControlType::RadioBox) {
    SendMessageW(hwnd, BM_SETCHECK, def.checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  if (def.spin) {
    SetWindowSubclass(hwnd, NumberEditProc, 1, reinterpret_cast<DWORD_PTR>(this));
    HWND updown = CreateWindowExW(0, UPDOWN_CLASSW, nullptr,
                                  WS_CHILD | WS_CLIPSIBLINGS | (def.visible ? WS_VISIBLE : 0) | UDS_ARROWKEYS,
                                  r.left + r.width - spinWidth, r.top, spinWidth, r.height, window_, nullptr, instance_, nullptr);
    SendMessageW(updown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(hwnd), 0);
    // Attaching may nudge the arrows; they keep exactly the right end of the rectangle.
    SetWindowPos(updown, HWND_TOP, r.left + r.width - spinWidth, r.top, spinWidth, r.height, SWP_NOACTIVATE);
    SendMessageW(updown, UDM_SETRANGE32, def.spin->low, def.spin->high);
  }
  return hwnd;
}

HWND Win32Host::Hwnd(const ui::ControlState& control) const {
  if (control.type == ControlType::Window) return window_;
  auto it = hwnds_.find(control.def->name);
  return it == hwnds_.end() ? nullptr : it->second;
}

ui::ControlState* Win32Host::ControlById(int id) {
  const auto controls = ui::MainWindowControls();
  const int index = id - ui::kFirstControlId;
  if (index < 0 || index >= static_cast<int>(controls.size())) return nullptr;
  if (std::string_view(controls[static_cast<std::size_t>(index)].name) == "-") return nullptr;
  return &State(controls[static_cast<std::size_t>(index)].name);
}

ui::ControlState* Win32Host::ControlByHwnd(HWND hwnd) { return ControlById(GetDlgCtrlID(hwnd)); }

void Win32Host::Push(ui::ControlState& control, Prop prop) {
  HWND hwnd = Hwnd(control);
  switch (prop) {
    case Prop::Rect:
      if (hwnd) SetWindowPos(hwnd, nullptr, 0, 0, control.rect.width, control.rect.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    case Prop::Visible:
      if (hwnd) ShowWindow(hwnd, control.visible ? SW_SHOW : SW_HIDE);
      break;
    case Prop::Disabled:
      if (hwnd) EnableWindow(hwnd, !control.disabled);
      break;
    case Prop::Caption:
    case Prop::Content:
      if (hwnd) {
        SetWindowTextW(hwnd, GbkToWide(prop == Prop::Caption ? control.caption : control.content).c_str());
        if (control.type == ControlType::Label) InvalidateRect(hwnd, nullptr, TRUE);
      }
      break;
    case Prop::TextColour:
      if (hwnd) InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case Prop::Checked:
      if (hwnd) SendMessageW(hwnd, BM_SETCHECK, control.checked ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case Prop::Value:
      if (hwnd) {
        SYSTEMTIME st = ToSystemTime(control.value);
        SendMessageW(hwnd, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
      }
      break;
    case Prop::PickerFormat:
      if (hwnd) ::tolvane::SetPickerFormat(hwnd, control.pickerFormat);
      break;
    case Prop::State:
      ApplyWindowState(control.windowState);
      break;
    case Prop::AlwaysOnTop:
      SetWindowPos(window_, control.alwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      break;
    case Prop::Icon: {
      const ByteView bytes(reinterpret_cast<const std::uint8_t*>(control.iconFile.data()), control.iconFile.size());
      HICON small = IconFromFile(bytes, GetSystemMetrics(SM_CXSMICON));
      HICON big = IconFromFile(bytes, GetSystemMetrics(SM_CXICON));
      SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
      SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
      if (windowIconSmall_) DestroyIcon(windowIconSmall_);
      if (windowIconBig_) DestroyIcon(windowIconBig_);
      windowIconSmall_ = small;
      windowIconBig_ = big;
      break;
    }
    case Prop::Tag:
    case Prop::Interval:
      break;
  }
}

void Win32Host::Pull(ui::ControlState& control, Prop prop) {
  HWND hwnd = Hwnd(control);
  if (hwnd == nullptr) return;
  switch (prop) {
    case Prop::Checked:
      if (control.type == ControlType::CheckBox || control.type == ControlType::RadioBox) {
        control.checked = SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
      }
      break;
    case Prop::Content:
      if (control.type == ControlType::EditBox) control.content = WideToGbk(WindowTextOf(hwnd));
      break;
    case Prop::Value:
      if (control.type == ControlType::DatePicker) {
        SYSTEMTIME st{};
        if (SendMessageW(hwnd, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID) {
          if (auto v = BuildDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond)) control.value = *v;
        }
      }
      break;
    case Prop::State:
      control.windowState = IsIconic(window_) ? ui::kStateMinimised : IsZoomed(window_) ? ui::kStateMaximised : ui::kStateNormal;
      break;
    case Prop::Rect:
      if (control.type == ControlType::Window) {
        RECT r;
        GetWindowRect(window_, &r);
        control.rect.width = r.right - r.left;
        control.rect.height = r.bottom - r.top;
      }
      break;
    case Prop::Visible:
      if (control.type == ControlType::Window) control.visible = IsWindowVisible(window_) != FALSE;
      break;
    default:
      break;
  }
}

void Win32Host::ApplyWindowState(int state) {
  switch (state) {
    case ui::kStateNormal:
      ShowWindow(window_, IsIconic(window_) || IsZoomed(window_) ? SW_RESTORE : SW_SHOW);
      break;
    case ui::kStateRestoreCentred:
      ShowWindow(window_, SW_RESTORE);
      Centre();
      break;
    case ui::kStateMinimised: ShowWindow(window_, SW_MINIMIZE); break;
    case ui::kStateMaximised: ShowWindow(window_, SW_MAXIMIZE); break;
    default: break;
  }
}

void Win32Host::RestartTimer(ui::ControlState& timer) {
  const UINT_PTR id = static_cast<UINT_PTR>(ui::ControlId(timer.def->name));
  KillTimer(window_, id);
  if (timer.interval > 0) SetTimer(window_, id, static_cast<UINT>(timer.interval), nullptr);
}

void Win32Host::ActivateWindow() {
  BringWindowToTop(window_);
  if (!SetForegroundWindow(window_) || GetForegroundWindow() != window_) {
    // Windows refuses the foreground to a background program: ask for attention instead.
    FLASHWINFO flash{sizeof(flash), window_, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
  }
}

void Win32Host::CloseWindow() { PostMessageW(window_, kDeferredDestroyMessage, 0, 0); }

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
  return IconFromFile(iconFile, preferredWidth);
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

void Win32Host::ShowOpenDialog(std::string_view name) {
  ui::ControlState& dialog = State(name);
  // "description|pattern|...||" becomes the dialog's double-zero-terminated list.
  std::wstring filter = GbkToWide(dialog.filter);
  for (auto& ch : filter) {
    if (ch == L'|') ch = L'\0';
  }
  filter.push_back(L'\0');
  std::vector<wchar_t> file(32768, L'\0');
  const std::wstring initialName = GbkToWide(dialog.fileName);
  initialName.copy(file.data(), std::min(initialName.size(), file.size() - 1));
  const std::wstring initialDirectory = GbkToWide(dialog.initialDirectory);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = window_;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = initialDirectory.empty() ? nullptr : initialDirectory.c_str();
  ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  if (!GetOpenFileNameW(&ofn)) return;
  bool lossless = true;
  std::string chosen = WideToGbk(file.data(), &lossless);
  if (!lossless) {
    // The settings keep paths in GBK; a path it cannot hold would be saved as another path.
    MessageBoxW(window_, L"所选文件的路径中有无法保存的字符，请将文件放到其他位置后再选择。", L"信息：",
                MB_OK | MB_ICONWARNING);
    return;
  }
  if (window_ != nullptr) State(name).fileName = std::move(chosen);
}

void Win32Host::NormaliseOnLeave(HWND edit) {
  const std::wstring old = WindowTextOf(edit);
  const std::string normalised = ui::NormaliseWholeNumber(WideToGbk(old));
  const std::wstring replacement = GbkToWide(normalised);
  if (replacement == old) return;
  DWORD start = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  SetWindowTextW(edit, replacement.c_str());
  SendMessageW(edit, EM_SETSEL, start, start);
}

void Win32Host::SpinEdit(HWND edit, int direction) {
  ui::ControlState* control = ControlByHwnd(edit);
  if (control == nullptr || !control->def->spin || !IsWindowEnabled(edit) || !IsWindowVisible(edit)) return;
  const std::string next = ui::SpinWholeNumber(WideToGbk(WindowTextOf(edit)), *control->def->spin, direction);
  SetWindowTextW(edit, GbkToWide(next).c_str());
  SendMessageW(edit, EM_SETSEL, 0, -1);
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
  SetFocus(edit);
}

LRESULT CALLBACK Win32Host::NumberEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* host = reinterpret_cast<Win32Host*>(data);
  if (message == WM_CHAR && !ui::AcceptTypedCharacter(static_cast<unsigned int>(wParam))) return 0;
  if (message == WM_KILLFOCUS) {
    const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
    host->NormaliseOnLeave(hwnd);
    return result;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, NumberEditProc, 1);
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

void Win32Host::PaintLabel(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  ui::ControlState* label = ControlByHwnd(hwnd);
  RECT r;
  GetClientRect(hwnd, &r);
  if (label != nullptr) {
    const ui::ControlDef& def = *label->def;
    if (def.background) {
      HBRUSH brush = CreateSolidBrush(ToColorRef(*def.background));
      FillRect(dc, &r, brush);
      DeleteObject(brush);
    } else {
      FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    }
    if (def.sunkenBorder) DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    if (!label->caption.empty()) {
      HGDIOBJ oldFont = SelectObject(dc, FontFor(def.font));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, ToColorRef(label->textColour));
      std::wstring text = GbkToWide(label->caption);
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (def.align == ui::Align::Centre ? DT_CENTER : DT_LEFT));
      SelectObject(dc, oldFont);
    }
  }
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK Win32Host::LabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_host != nullptr) {
    switch (message) {
      case WM_PAINT:
        g_host->PaintLabel(hwnd);
        return 0;
      case WM_ERASEBKGND:
        return 1;
      case WM_SETFONT:
        SetWindowLongPtrW(hwnd, 0, static_cast<LONG_PTR>(wParam));
        if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
      case WM_GETFONT:
        return GetWindowLongPtrW(hwnd, 0);
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        if (ui::ControlState* label = g_host->ControlByHwnd(hwnd)) {
          ui::EventArgs args;
          args.x = static_cast<short>(LOWORD(lParam));
          args.y = static_cast<short>(HIWORD(lParam));
          args.keys = ((wParam & MK_CONTROL) ? 1 : 0) | ((wParam & MK_SHIFT) ? 2 : 0) | (GetKeyState(VK_MENU) < 0 ? 4 : 0);
          const std::string name = label->def->name;
          g_host->Raise(name, message == WM_LBUTTONDOWN ? ui::Event::LeftButtonDown : ui::Event::LeftDoubleClick, args);
        }
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Win32Host::ControlColour(HDC dc, HWND hwnd) {
  ui::ControlState* control = ControlByHwnd(hwnd);
  if (control != nullptr && control->type == ControlType::EditBox) {
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    return reinterpret_cast<LRESULT>(whiteBrush_);
  }
  if (control != nullptr && HasOwnTextColour(control->type)) {
    SetTextColor(dc, ToColorRef(control->textColour));
    SetBkMode(dc, TRANSPARENT);
  }
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

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
        Raise(std::string(timer->def->name), ui::Event::Tick);
      }
      return 0;
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
