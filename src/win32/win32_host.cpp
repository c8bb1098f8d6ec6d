// The host object: building the window, pushing and pulling control properties,
// the window's state and its place on the screen.
#include "win32/win32_host.h"

#include "platform/messages/fatal.h"
#include "platform/text/text_win32.h"
#include "ui/accessibility.h"
#include "ui/program_icon.h"
#include "ui/scale.h"
#include "win32/common_controls.h"
#include "win32/dpi.h"
#include "win32/icon.h"
#include "win32/timer.h"

namespace tolvane::win32 {

using ui::ControlType;
using ui::Prop;

std::wstring WindowTextOf(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return text;
}

namespace {
constexpr wchar_t kMainClass[] = L"TolvaneMainWindow";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

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
}  // namespace

Win32Host::Win32Host(HINSTANCE instance) : instance_(instance) {}

Win32Host::~Win32Host() {
  for (auto& [key, font] : fonts_) DeleteObject(font);
  if (windowIconSmall_) DestroyIcon(windowIconSmall_);
  if (windowIconBig_) DestroyIcon(windowIconBig_);
  if (whiteBrush_) DeleteObject(whiteBrush_);
  if (window_ != nullptr) SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
}

bool Win32Host::Build() {
  LoadCommonControls(ICC_DATE_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES);
  whiteBrush_ = CreateSolidBrush(RGB(255, 255, 255));
  ReadSystemColours();

  WNDCLASSEXW main{sizeof(main)};
  main.style = CS_DBLCLKS;
  main.lpfnWndProc = WindowProc;
  main.hInstance = instance_;
  main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  main.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  main.lpszClassName = kMainClass;
  WNDCLASSEXW label{sizeof(label)};
  // Each label keeps its own device context with its font chosen once: the clock and
  // the board are drawn every second, and choosing a font into a fresh context each
  // time costs the font system a lookup.
  label.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  label.lpfnWndProc = LabelProc;
  label.cbWndExtra = sizeof(HFONT);  // the font it was given, for WM_GETFONT
  label.hInstance = instance_;
  label.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  label.lpszClassName = kLabelClass;
  if (!RegisterClassExW(&main) || !RegisterClassExW(&label)) return false;

  taskbarCreatedMessage_ = RegisterWindowMessageW(L"TaskbarCreated");
  PreferPerMonitorDpi();
  const ui::WindowDef& def = ui::MainWindow();
  window_ = CreateWindowExW(0, kMainClass, GbkToWide(def.title).c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            def.rect.width, def.rect.height, nullptr, nullptr, instance_, this);
  if (window_ == nullptr) return false;
  // The DPI is known once the window is on its monitor; the definition's size scales to it.
  dpi_ = DpiOfWindow(window_);
  const SIZE size = OuterSize(def.rect.width, def.rect.height, dpi_);
  SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Centre();
  CreateControls();
  ScreenReaderSettingChanged();

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
    if (window_ != nullptr && msg.message == WM_KEYDOWN && HandleKey(msg)) continue;
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
      // The program's sizes are in 96-DPI units, as the definition's.
      if (hwnd) {
        SIZE size{ui::ScaleLength(control.rect.width, dpi_), ui::ScaleLength(control.rect.height, dpi_)};
        if (hwnd == window_) size = OuterSize(control.rect.width, control.rect.height, dpi_);
        SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
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
        if (control.type == ControlType::Label) RedrawLabelNow(hwnd);
        Annotate(control);
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
      if (hwnd) win32::SetPickerFormat(hwnd, control.pickerFormat);
      break;
    case Prop::State:
      ApplyWindowState(control.windowState);
      break;
    case Prop::AlwaysOnTop:
      // Asked again every second of the final prompt: a window already in that band
      // is left alone, as moving it costs the desktop a restack each time.
      if (((GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0) != control.alwaysOnTop) {
        SetWindowPos(window_, control.alwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      }
      break;
    case Prop::Icon:
      ApplyWindowIcons();
      break;
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
        const SIZE size = DefinitionSize(r.right - r.left, r.bottom - r.top);
        control.rect.width = size.cx;
        control.rect.height = size.cy;
      }
      break;
    case Prop::Visible:
      if (control.type == ControlType::Window) control.visible = IsWindowVisible(window_) != FALSE;
      break;
    default:
      break;
  }
}

SIZE Win32Host::OuterSize(int width, int height, int dpi) const {
  const SIZE at96 = FrameSize(kWindowStyle, 0, ui::kBaseDpi), atDpi = FrameSize(kWindowStyle, 0, dpi);
  return SIZE{ui::ScaleOuterLength(width, at96.cx, atDpi.cx, dpi), ui::ScaleOuterLength(height, at96.cy, atDpi.cy, dpi)};
}

SIZE Win32Host::DefinitionSize(int width, int height) const {
  const SIZE at96 = FrameSize(kWindowStyle, 0, ui::kBaseDpi), atDpi = FrameSize(kWindowStyle, 0, dpi_);
  return SIZE{ui::UnscaleOuterLength(width, at96.cx, atDpi.cx, dpi_),
              ui::UnscaleOuterLength(height, at96.cy, atDpi.cy, dpi_)};
}

// The window's icons at the sizes the system asks for at the window's DPI.
void Win32Host::ApplyWindowIcons() {
  const std::string& file = Window().iconFile;
  const ByteView bytes(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
  const int smallSize = SystemMetricForDpi(SM_CXSMICON, dpi_), bigSize = SystemMetricForDpi(SM_CXICON, dpi_);
  HICON small = IconFromFile(ui::IconFileForSize(bytes, smallSize), smallSize);
  HICON big = IconFromFile(ui::IconFileForSize(bytes, bigSize), bigSize);
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  if (windowIconSmall_) DestroyIcon(windowIconSmall_);
  if (windowIconBig_) DestroyIcon(windowIconBig_);
  windowIconSmall_ = small;
  windowIconBig_ = big;
}

void Win32Host::ApplyDpi(int dpi, const RECT& suggested) {
  if (dpi <= 0 || dpi == dpi_) return;
  dpi_ = dpi;
  RescaleControls();
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (!Window().iconFile.empty()) ApplyWindowIcons();
  tray_.Refresh();
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
  armedMs_.erase(id);
  if (timer.interval > 0) ArmTimer(timer);
}

namespace {
// Milliseconds past the current whole second of the system clock.
std::uint32_t MsIntoSecond() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const ULONGLONG hundredNs = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<std::uint32_t>((hundredNs / 10000) % 1000);
}
}  // namespace

void Win32Host::ArmTimer(const ui::ControlState& timer) {
  const UINT_PTR id = static_cast<UINT_PTR>(ui::ControlId(timer.def->name));
  // A one-second timer is due a few milliseconds after the system clock's next whole
  // second, so the clock label turns over with the real second and a target second is
  // never skipped.
  const UINT ms = ui::FollowsWallClock(timer.interval) ? ui::MsToNextSecondTick(MsIntoSecond(), kSecondTickLagMs)
                                                       : static_cast<UINT>(timer.interval);
  if (ArmUncoalescedTimer(window_, id, ms)) armedMs_[id] = ms;
}

void Win32Host::KeepSecondTimerOnTime(const ui::ControlState& timer) {
  const UINT_PTR id = static_cast<UINT_PTR>(ui::ControlId(timer.def->name));
  const auto armed = armedMs_.find(id);
  const std::uint32_t ms =
      ui::SecondTimerRearmMs(MsIntoSecond(), kSecondTickLagMs, armed == armedMs_.end() ? 0 : armed->second);
  if (ms != 0 && ArmUncoalescedTimer(window_, id, ms)) armedMs_[id] = ms;
}

void Win32Host::ActivateWindow() {
  // Asked every second of the final prompt: a window in front already stays as it is.
  if (GetForegroundWindow() == window_ && !IsIconic(window_)) return;
  BringWindowToTop(window_);
  if (!SetForegroundWindow(window_) || GetForegroundWindow() != window_) {
    // Windows refuses the foreground to a background program: ask for attention instead.
    FLASHWINFO flash{sizeof(flash), window_, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
  }
}

void Win32Host::CloseWindow() { PostMessageW(window_, kDeferredDestroyMessage, 0, 0); }
}  // namespace tolvane::win32
