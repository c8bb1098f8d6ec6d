// tolvane_driver: finds the running Tolvane window and reads and drives its controls by
// their names in the window definition. The end-to-end tests call it under Wine, one
// command per run; results go to stdout as UTF-8, the exit code is 0 on success.
//
//   wait-window [ms]                      wait until the main window is shown
//   get <name> <prop>                     print a property (see Property and WindowProperty)
//   window-rect, client-rect              the main window's outer rectangle (screen) and client size
//   wait <name> <prop> <value> [ms]       poll until the property equals value
//   wait-not <name> <prop> <value> [ms]   poll until it differs from value
//   click <name>                          BM_CLICK a button, or a mouse click posted to a label
//   type <name> <text>                    focus the box, select all, type with real key input
//   key <name> <key>                      focus the control and press tab, enter, backspace...
//                                         (shift+<key> with Shift; name "window": where the focus is)
//   focus <name>                          give the control the keyboard focus
//   spin <name> up|down                   real mouse click on an arrow of the box's spin buttons
//   close [ms]                            WM_CLOSE, then wait until the window is gone
//   check-layout [--dpi=N] [--props=p,q] [name.prop=value ...]  compare every control with
//                                         the window definition scaled to N DPI (default 96),
//                                         only the listed properties when given; the
//                                         arguments replace expected values ("*": any)
//   dpi-changed <dpi>                     what Windows sends when the window moves to a monitor of
//                                         that DPI: WM_GETDPISCALEDSIZE, then WM_DPICHANGED with
//                                         the size the program asked for at the window's place
//   text-fit [name ...]                   measure each caption with its control's font against
//                                         the room the control has for it; fails when one is
//                                         wider than its room, except the named known misfits
//   expect <name.prop=value> ...          compare several properties, print the mismatches
//   watch <name> <prop> [ms]              print the property and each change: ms TAB value
//   real-click <name>                     real mouse click at the control's centre
//   set-picker <name> <[YYYY-MM-DD ]HH:MM:SS>  set a date picker's value
//   boxes                                 list the open message boxes: title TAB text
//   wait-box [text] [ms]                  wait for a message box (with that text), print it
//   answer-box ok|cancel|yes|no|... [ms]  choose a button of the open message box
//   open-file <windows path> [ms]         type the path into the open file dialog and press
//                                         its Open button, as the user does
//   tray left|double|right [x y]          the tray icon's callback for that mouse message, once
//                                         the pointer is at x y; right prints the popup's rectangle
//   menu-items                            the open popup menu's items: caption TAB enabled
//   menu <caption>|none                   click an item of the open popup menu (none: Escape)
//   minimize                              the title bar's minimise command
//   ask-accessible <name>                 ask for the accessible object, as a screen reader does
//   load-library <path>                   load a library into the driver, as a program
//                                         that does not guard its search would
//   witness <file> <ms>                   a window of another program, noting the
//                                         session-end messages it gets in the file
//   sys-colours <index>=<rrggbb> ...      set system colours (COLOR_* indices) inside the program,
//                                         as the display settings do: every window is told;
//                                         prints the colours they had, in the same form
//
// <name> is a control name of the definition, or "window" for the main window. Every
// command that changes something returns only after the program has handled it, except
// tray and minimize, which post their message (the tests wait for the outcome).
//
// When TOLVANE_DRIVER_STATUS names a file, the exit code is also written there just
// before the process ends: Wine now and then faults while a finished process unloads,
// and the file tells the harness which code the command itself ended with.
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "colour_probe.h"
#include "font_probe.h"
#include "menu_probe.h"
#include "ui/scale.h"
#include "ui/window_definition.h"

namespace ui = tolvane::ui;

namespace {

constexpr UINT kMessageTimeoutMs = 5000;
constexpr int kDefaultWaitMs = 10000;

std::string Narrow(const std::wstring& s, UINT codePage) {
  int n = WideCharToMultiByte(codePage, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(codePage, 0, s.c_str(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Widen(const char* s, UINT codePage = 936) {
  int n = MultiByteToWideChar(codePage, 0, s, -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(codePage, 0, s, -1, out.data(), n);
  return out;
}

void WriteLine(FILE* stream, const std::wstring& s) {
  std::string utf8 = Narrow(s + L"\n", CP_UTF8);
  fwrite(utf8.data(), 1, utf8.size(), stream);
  fflush(stream);
}

void Print(const std::wstring& s) { WriteLine(stdout, s); }

[[noreturn]] void Finish(int code) {
  fflush(stdout);
  fflush(stderr);
  if (const wchar_t* path = _wgetenv(L"TOLVANE_DRIVER_STATUS"); path && *path) {
    if (FILE* f = _wfopen(path, L"wb")) {
      fprintf(f, "%d\n", code);
      fclose(f);
    }
  }
  exit(code);
}

[[noreturn]] void Fail(const std::wstring& why) {
  WriteLine(stderr, L"tolvane_driver: " + why);
  Finish(1);
}

HWND MainWindow() { return FindWindowW(L"TolvaneMainWindow", nullptr); }

HWND RequireMain() {
  HWND main = MainWindow();
  if (!main) Fail(L"the Tolvane window is not there");
  return main;
}

// Messages to the program never block forever: a hung program fails the test.
LRESULT Send(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result))
    Fail(L"the program did not answer message " + std::to_wstring(msg));
  return static_cast<LRESULT>(result);
}

bool IsWindowName(const std::wstring& name) { return name == L"window" || name == Widen(ui::kWindowName.data()); }

const ui::ControlDef& Definition(const std::wstring& name) {
  const ui::ControlDef* def = ui::FindControl(Narrow(name, 936));
  if (!def) Fail(L"no control named " + name + L" in the window definition");
  return *def;
}

HWND Control(const std::wstring& name) {
  HWND main = RequireMain();
  if (IsWindowName(name)) return main;
  const int id = ui::ControlId(Definition(name).name);
  // Under Wine a lookup in another process's window list now and then comes back empty
  // for a moment; a control that is really missing stays missing.
  for (DWORD start = GetTickCount();; Sleep(50)) {
    if (HWND h = GetDlgItem(main, id)) return h;
    if (GetTickCount() - start > 2000) Fail(L"control " + name + L" does not exist in the window");
  }
}

std::wstring ClassOf(HWND h) {
  wchar_t buf[128] = {};
  GetClassNameW(h, buf, 128);
  return buf;
}

std::wstring TextOf(HWND h) {
  auto length = Send(h, WM_GETTEXTLENGTH);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  auto got = Send(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got));
  return text;
}

RECT ClientRectOf(HWND main, HWND h) {
  RECT r;
  GetWindowRect(h, &r);
  MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::wstring RectText(const RECT& r) {
  return std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) + L" " +
         std::to_wstring(r.bottom - r.top);
}

// The up-down control whose buddy is the given edit box (a sibling under the main window).
HWND SpinOf(HWND edit) {
  for (HWND h = GetWindow(GetParent(edit), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
    if (ClassOf(h) == L"msctls_updown32" && reinterpret_cast<HWND>(Send(h, UDM_GETBUDDY)) == edit) return h;
  }
  return nullptr;
}

// Sends a message whose lParam points to a structure: the structure must live in the
// program's address space, so it is copied there before the call and back after it.
template <typename T>
std::optional<T> RemoteSend(HWND h, UINT msg, WPARAM wp, const T& in, LRESULT* result = nullptr) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return std::nullopt;
  std::optional<T> out;
  if (void* remote = VirtualAllocEx(process, nullptr, sizeof(T), MEM_COMMIT, PAGE_READWRITE)) {
    if (WriteProcessMemory(process, remote, &in, sizeof in, nullptr)) {
      LRESULT r = Send(h, msg, wp, reinterpret_cast<LPARAM>(remote));
      if (result) *result = r;
      T value{};
      if (ReadProcessMemory(process, remote, &value, sizeof value, nullptr)) out = value;
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return out;
}

template <typename T>
std::optional<T> RemoteQuery(HWND h, UINT msg, WPARAM wp) {
  return RemoteSend<T>(h, msg, wp, T{});
}

// Runs a hook of a probe library (which must sit next to the driver) on the thread that
// owns the window h, by sending h the probe's message; the hook answers through the
// shared memory `mapping`, which holds a T. Returns the answer when the hook set its ok.
template <typename T>
T CallProbe(HWND h, const wchar_t* library, const char* hookName, const wchar_t* mapping, const wchar_t* message,
            const T& question = {}) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dll(path, n);
  dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + library;
  HMODULE probeModule = LoadLibraryW(dll.c_str());
  auto hookProc = probeModule ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probeModule, hookName))) : nullptr;
  if (!hookProc) Fail(L"cannot load " + dll);
  HANDLE map = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(T), mapping);
  auto* probe = map ? static_cast<T*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(T))) : nullptr;
  if (!probe) Fail(L"cannot share memory with the program");
  *probe = question;
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, hookProc, probeModule, GetWindowThreadProcessId(h, nullptr));
  if (!hook) Fail(L"cannot hook the program's thread");
  Send(h, RegisterWindowMessageW(message));
  UnhookWindowsHookEx(hook);
  T answer = *probe;
  UnmapViewOfFile(probe);
  CloseHandle(map);
  if (!answer.ok) Fail(std::wstring(L"the probe in ") + library + L" found nothing");
  return answer;
}

std::wstring FontOf(HWND h) {
  using namespace tolvane::e2e;
  LOGFONTW lf = CallProbe<FontProbe>(h, L"tolvane_font_probe.dll", kFontProbeHook, kFontProbeMapping, kFontProbeMessage).font;
  return std::wstring(lf.lfFaceName) + L"|" + std::to_wstring(lf.lfHeight) + L"|" + std::to_wstring(lf.lfWeight) +
         L"|" + std::to_wstring(lf.lfCharSet);
}

std::wstring ButtonKind(HWND h) {
  switch (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON: return L"push";
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX: return L"checkbox";
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: return L"radio";
    case BS_GROUPBOX: return L"group";
    default: return L"other";
  }
}

// The definition name of a window of the program, for messages.
std::wstring NameOf(HWND h) {
  int id = GetDlgCtrlID(h);
  for (const ui::ControlDef& c : ui::MainWindowControls()) {
    if (ui::ControlId(c.name) == id) return Widen(c.name);
  }
  return L"a " + ClassOf(h) + L" window";
}

// The sibling that a real mouse click at this point reaches: the topmost visible one that
// contains it, group boxes excepted (they let clicks through).
HWND ClickTarget(HWND parent, POINT screen) {
  for (HWND h = GetWindow(GetWindow(parent, GW_CHILD), GW_HWNDFIRST); h; h = GetWindow(h, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(h, &r);
    if (!IsWindowVisible(h) || !PtInRect(&r, screen)) continue;
    if (ClassOf(h) == L"Button" && ButtonKind(h) == L"group") continue;
    return h;
  }
  return nullptr;
}

std::wstring Bool(bool b) { return b ? L"1" : L"0"; }

std::wstring WindowProperty(HWND main, const std::wstring& prop) {
  RECT r;
  GetWindowRect(main, &r);
  LONG style = GetWindowLongW(main, GWL_STYLE);
  if (prop == L"title" || prop == L"text") return TextOf(main);
  if (prop == L"rect") return RectText(r);
  if (prop == L"width") return std::to_wstring(r.right - r.left);
  if (prop == L"height") return std::to_wstring(r.bottom - r.top);
  if (prop == L"client-rect") {
    GetClientRect(main, &r);
    return RectText(r);
  }
  if (prop == L"visible") return Bool(IsWindowVisible(main));
  if (prop == L"enabled") return Bool(IsWindowEnabled(main));
  if (prop == L"iconic") return Bool(IsIconic(main));
  if (prop == L"minimized") return Bool(IsIconic(main));
  if (prop == L"topmost") return Bool(GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_TOPMOST);
  if (prop == L"frame") {
    std::wstring words;
    const std::pair<LONG, const wchar_t*> flags[] = {{WS_CAPTION, L"caption"},         {WS_SYSMENU, L"sysmenu"},
                                                     {WS_THICKFRAME, L"thickframe"},   {WS_MINIMIZEBOX, L"minimizebox"},
                                                     {WS_MAXIMIZEBOX, L"maximizebox"}};
    for (auto [flag, word] : flags) {
      if ((style & flag) == flag) words += (words.empty() ? L"" : L" ") + std::wstring(word);
    }
    return words;
  }
  if (prop.starts_with(L"frame-at-")) {
    // What caption and borders add to the window at a DPI (frame-at-96): the client part
    // of the definition's outer size is what scales.
    using Adjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    auto adjust = reinterpret_cast<Adjust>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT f{0, 0, 0, 0};
    const UINT dpi = static_cast<UINT>(_wtoi(prop.c_str() + 9));
    if (!adjust || !adjust(&f, static_cast<DWORD>(style), FALSE, static_cast<DWORD>(GetWindowLongW(main, GWL_EXSTYLE)), dpi))
      Fail(L"AdjustWindowRectExForDpi is missing or failed");
    return std::to_wstring(f.right - f.left) + L" " + std::to_wstring(f.bottom - f.top);
  }
  if (prop == L"icons") {
    // The widths of the small and the big window icon.
    using namespace tolvane::e2e;
    const FontProbe p = CallProbe<FontProbe>(main, L"tolvane_font_probe.dll", kFontProbeHook, kFontProbeMapping, kFontProbeMessage);
    return std::to_wstring(p.iconWidths[0]) + L" " + std::to_wstring(p.iconWidths[1]);
  }
  if (prop == L"focus") {
    // The control that has the keyboard focus, also when it sits in one of its parts.
    GUITHREADINFO info{sizeof info};
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) || !info.hwndFocus) return L"none";
    HWND h = info.hwndFocus;
    while (h && GetParent(h) && GetParent(h) != main) h = GetParent(h);
    return h == main ? L"window" : NameOf(h);
  }
  if (prop == L"screen") {
    return std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L" " + std::to_wstring(GetSystemMetrics(SM_CYSCREEN));
  }
  Fail(L"unknown window property " + prop);
}

// Properties of a control. rect is in the main window's client coordinates; for an edit
// box with spin buttons it covers the box and its buttons, as the definition does.
std::wstring Property(const std::wstring& name, const std::wstring& prop) {
  HWND main = RequireMain();
  if (IsWindowName(name)) return WindowProperty(main, prop);
  HWND h = Control(name);
  LONG style = GetWindowLongW(h, GWL_STYLE);
  if (prop == L"class") return ClassOf(h);
  if (prop == L"hwnd") {
    wchar_t buf[32];
    swprintf(buf, 32, L"%016llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(h)));
    return buf;
  }
  if (prop == L"kind") return ClassOf(h) == L"Button" ? ButtonKind(h) : ClassOf(h);
  if (prop == L"visible") return Bool(style & WS_VISIBLE);
  if (prop == L"shown") return Bool(IsWindowVisible(h));
  if (prop == L"enabled") return Bool(IsWindowEnabled(h));
  if (prop == L"checked") return Bool(Send(h, BM_GETCHECK) == BST_CHECKED);
  if (prop == L"focused") {
    GUITHREADINFO info{sizeof info};
    return Bool(GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &info) && info.hwndFocus == h);
  }
  if (prop == L"font") return FontOf(h);
  if (prop == L"caption" || prop == L"text") {
    std::wstring text = TextOf(h);
    if (text.empty() && ClassOf(h) == DATETIMEPICK_CLASSW) {
      // Not every date picker answers WM_GETTEXT: fall back to its value.
      return Property(name, L"value");
    }
    return text;
  }
  if (prop == L"value") {
    auto st = RemoteQuery<SYSTEMTIME>(h, DTM_GETSYSTEMTIME, 0);
    if (!st) Fail(L"cannot read the date picker's value");
    wchar_t buf[64];
    swprintf(buf, 64, L"%04u-%02u-%02u %02u:%02u:%02u", st->wYear, st->wMonth, st->wDay, st->wHour, st->wMinute,
             st->wSecond);
    return buf;
  }
  if (prop == L"selection") {
    DWORD start = 0, end = 0;
    auto sel = static_cast<DWORD>(Send(h, EM_GETSEL));
    start = LOWORD(sel);
    end = HIWORD(sel);
    return std::to_wstring(start) + L" " + std::to_wstring(end);
  }
  if (prop == L"centred") return Bool(style & ES_CENTER);
  if (prop == L"readonly") return Bool(style & ES_READONLY);
  if (prop == L"updown") return Bool(style & DTS_UPDOWN);
  HWND spin = ClassOf(h) == L"Edit" ? SpinOf(h) : nullptr;
  if (prop == L"rect") {
    RECT r = ClientRectOf(main, h);
    if (spin) {
      RECT s = ClientRectOf(main, spin);
      UnionRect(&r, &r, &s);
    }
    return RectText(r);
  }
  if (prop == L"box-rect") return RectText(ClientRectOf(main, h));
  if (prop == L"screen-rect") {
    RECT r;
    GetWindowRect(h, &r);
    return RectText(r);
  }
  if (prop == L"reachable") {
    // Whether a click at the control's centre reaches it rather than a control over it.
    RECT r;
    GetWindowRect(h, &r);
    HWND target = ClickTarget(main, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    return target == h ? L"1" : L"covered by " + (target ? NameOf(target) : L"nothing");
  }
  if (prop == L"spin-rect" || prop == L"spin-range") {
    if (!spin) return L"none";
    if (prop == L"spin-rect") return RectText(ClientRectOf(main, spin));
    auto range = static_cast<DWORD>(Send(spin, UDM_GETRANGE));
    return std::to_wstring(static_cast<short>(HIWORD(range))) + L" " + std::to_wstring(static_cast<short>(LOWORD(range)));
  }
  Fail(L"unknown property " + prop);
}

bool IsTextlessInput(const ui::ControlDef& c) {
  return c.type == ui::ControlType::DatePicker || (c.type == ui::ControlType::EditBox && !c.visible);
}

// Everything of the definition that the running window can show: one (control,
// property, expected) triple per check.
struct Expectation {
  std::wstring name, prop, value;
};

std::vector<Expectation> LayoutExpectations(int dpi) {
  std::vector<Expectation> out;
  for (const ui::ControlDef& c : ui::MainWindowControls()) {
    using T = ui::ControlType;
    if (c.type == T::Timer || c.type == T::FileDialog || c.type == T::Menu || c.type == T::MenuItem) continue;
    std::wstring name = Widen(c.name);
    auto expect = [&](const wchar_t* prop, std::wstring value) { out.push_back({name, prop, std::move(value)}); };
    switch (c.type) {
      case T::Label: expect(L"class", L"TolvaneLabel"); break;
      case T::Button: expect(L"kind", L"push"); break;
      case T::CheckBox: expect(L"kind", L"checkbox"); break;
      case T::RadioBox: expect(L"kind", L"radio"); break;
      case T::GroupBox: expect(L"kind", L"group"); break;
      case T::EditBox: expect(L"class", L"Edit"); break;
      case T::DatePicker: expect(L"class", DATETIMEPICK_CLASSW); break;
      default: break;
    }
    ui::Rect r = ui::ScaleRect(ui::ClientRect(c), dpi);
    expect(L"rect", RectText(RECT{r.left, r.top, r.left + r.width, r.top + r.height}));
    expect(L"visible", Bool(c.visible));
    expect(L"enabled", Bool(!c.disabled));
    if (c.type == T::CheckBox || c.type == T::RadioBox) expect(L"checked", Bool(c.checked));
    if (!IsTextlessInput(c)) expect(L"text", Widen(c.text));
    if (c.font.face) {
      expect(L"font", Widen(c.font.face) + L"|" + std::to_wstring(-ui::ScaleFontHeight(c.font.height, dpi)) + L"|" + std::to_wstring(c.font.weight) +
                          L"|" + std::to_wstring(c.font.charset));
    }
    if (c.type == T::EditBox) {
      expect(L"centred", Bool(c.align == ui::Align::Centre));
      expect(L"readonly", Bool(c.readOnly));
      expect(L"spin-range", c.spin ? std::to_wstring(c.spin->low) + L" " + std::to_wstring(c.spin->high) : L"none");
    }
    if (c.type == T::DatePicker) expect(L"updown", L"1");
    if (c.visible && c.type != T::GroupBox) expect(L"reachable", L"1");
  }
  return out;
}

int CheckLayout(std::vector<std::wstring> overrides) {
  int dpi = ui::kBaseDpi;
  if (!overrides.empty() && overrides[0].rfind(L"--dpi=", 0) == 0) {
    dpi = _wtoi(overrides[0].c_str() + 6);
    overrides.erase(overrides.begin());
  }
  std::vector<Expectation> expectations = LayoutExpectations(dpi);
  if (!overrides.empty() && overrides[0].rfind(L"--props=", 0) == 0) {
    const std::wstring props = L"," + overrides[0].substr(8) + L",";
    std::erase_if(expectations, [&](const Expectation& e) { return props.find(L"," + e.prop + L",") == std::wstring::npos; });
    overrides.erase(overrides.begin());
  }
  for (const std::wstring& o : overrides) {
    size_t dot = o.find(L'.'), eq = o.find(L'=');
    if (dot == std::wstring::npos || eq == std::wstring::npos || eq < dot) Fail(L"override must read name.prop=value: " + o);
    std::wstring name = o.substr(0, dot), prop = o.substr(dot + 1, eq - dot - 1);
    bool found = false;
    for (Expectation& e : expectations) {
      if (e.name == name && e.prop == prop) e.value = o.substr(eq + 1), found = true;
    }
    if (!found) Fail(L"the override matches no check: " + o);
  }
  int mismatches = 0;
  for (const Expectation& e : expectations) {
    HWND main = RequireMain();
    if (!GetDlgItem(main, ui::ControlId(Definition(e.name).name))) {
      if (e.prop == L"visible") Print(e.name + L": missing"), ++mismatches;
      continue;
    }
    if (e.value == L"*") continue;  // the test does not care
    std::wstring actual = Property(e.name, e.prop);
    if (actual != e.value) {
      Print(e.name + L" " + e.prop + L": expected \"" + e.value + L"\", got \"" + actual + L"\"");
      ++mismatches;
    }
  }
  Print(std::to_wstring(expectations.size()) + L" checks, " + std::to_wstring(mismatches) + L" mismatches");
  return mismatches ? 1 : 0;
}

// The room a control leaves for its caption inside its client area: a label's sunken
// edge, a button's edge and focus frame, the box of a check or radio box with its gap,
// an edit box's margins, a date picker's spin buttons. DPI-aware metrics of the program's
// DPI, which the driver shares (it is DPI-aware itself).
SIZE CaptionRoom(HWND h, const ui::ControlDef& c, const RECT& client) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  SIZE room{client.right - client.left, client.bottom - client.top};
  auto shrink = [&room](int x, int y) { room.cx -= 2 * x, room.cy -= 2 * y; };
  using T = ui::ControlType;
  switch (c.type) {
    case T::Label:
      if (c.sunkenBorder) shrink(GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE));
      break;
    case T::Button: shrink(GetSystemMetrics(SM_CXEDGE) + 1, GetSystemMetrics(SM_CYEDGE) + 1); break;
    case T::CheckBox:
    case T::RadioBox: room.cx -= GetSystemMetrics(SM_CXMENUCHECK) + ui::ScaleLength(4, dpi); break;
    case T::EditBox: {
      auto margins = static_cast<DWORD>(Send(h, EM_GETMARGINS));
      room.cx -= LOWORD(margins) + HIWORD(margins);
      break;
    }
    case T::DatePicker: room.cx -= GetSystemMetrics(SM_CXVSCROLL) + 2; break;
    default: break;
  }
  return room;
}

// Every visible caption measured with the font selected into its control: one line per
// control (text size, then the room for it), "MISFIT" where the text is wider than its
// room. A line taller than the control is only noted ("tall"): the tables give many
// controls less height than their font's line, whose leading stays blank.
int TextFit(const std::vector<std::wstring>& known) {
  using namespace tolvane::e2e;
  HWND main = RequireMain();
  int misfits = 0;
  for (const ui::ControlDef& c : ui::MainWindowControls()) {
    using T = ui::ControlType;
    const bool captioned = c.type == T::Label || c.type == T::Button || c.type == T::CheckBox ||
                           c.type == T::RadioBox || c.type == T::EditBox || c.type == T::DatePicker;
    const std::wstring name = Widen(c.name);
    if (!captioned || !c.visible || !GetDlgItem(main, ui::ControlId(c.name))) continue;
    HWND h = Control(name);
    FontProbe question{};
    const std::wstring text = Property(name, L"text");
    if (text.empty()) continue;
    wcsncpy(question.text, text.c_str(), 127);
    const FontProbe answer =
        CallProbe<FontProbe>(h, L"tolvane_font_probe.dll", kFontProbeHook, kFontProbeMapping, kFontProbeMessage, question);
    const SIZE room = CaptionRoom(h, c, answer.client);
    const bool fits = answer.extent.cx <= room.cx;
    if (!fits && std::find(known.begin(), known.end(), name) == known.end()) ++misfits;
    Print(name + L"\t" + std::to_wstring(answer.extent.cx) + L"x" + std::to_wstring(answer.extent.cy) + L"\tin " +
          std::to_wstring(room.cx) + L"x" + std::to_wstring(room.cy) + (fits ? L"" : L"\tMISFIT") +
          (answer.extent.cy > room.cy ? L"\ttall" : L"") + L"\t\"" + text + L"\"");
  }
  return misfits ? 1 : 0;
}

// Returns once the program's thread has handled everything queued before now: a paint
// message is generated only when no sent, posted or input message is waiting, so when an
// invalidated control is painted again, the input ahead of it has been handled.
void Settle(HWND h) {
  if (!IsWindow(h)) return;
  InvalidateRect(h, nullptr, FALSE);
  DWORD start = GetTickCount();
  while (IsWindow(h) && GetUpdateRect(h, nullptr, FALSE)) {
    if (GetTickCount() - start > kMessageTimeoutMs) Fail(L"the program stopped handling its messages");
    Sleep(10);
  }
}

// Focus changes and keyboard input reach another thread's windows only while this thread
// shares its input state.
class AttachedInput {
 public:
  explicit AttachedInput(HWND target) : target_(GetWindowThreadProcessId(target, nullptr)) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // gives this thread a message queue
    attached_ = AttachThreadInput(GetCurrentThreadId(), target_, TRUE);
  }
  ~AttachedInput() {
    if (attached_) AttachThreadInput(GetCurrentThreadId(), target_, FALSE);
  }

 private:
  DWORD target_;
  BOOL attached_;
};

void Focus(HWND main, HWND h) {
  AttachedInput attach(main);
  SetForegroundWindow(main);
  SetFocus(h);
  Settle(h);
  GUITHREADINFO info{sizeof info};
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &info) || info.hwndFocus != h) Fail(L"cannot focus the control");
}

void SendKeys(std::vector<INPUT> inputs) {
  if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) Fail(L"SendInput failed");
}

INPUT Key(WORD vk, WORD unicode, DWORD flags) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = unicode ? unicode : static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = flags;
  return in;
}

void Type(const std::wstring& name, const std::wstring& text) {
  HWND main = RequireMain(), h = Control(name);
  Focus(main, h);
  Send(h, EM_SETSEL, 0, -1);  // typing replaces what the box shows
  std::vector<INPUT> inputs;
  for (wchar_t ch : text) {
    inputs.push_back(Key(0, ch, KEYEVENTF_UNICODE));
    inputs.push_back(Key(0, ch, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
  }
  {
    AttachedInput attach(main);
    SendKeys(inputs);
  }
  Settle(h);
}

// "window" presses the key wherever the focus is; "shift+" holds Shift down with it.
void PressKey(const std::wstring& name, std::wstring key) {
  static const std::map<std::wstring, WORD> keys = {
      {L"tab", VK_TAB},   {L"enter", VK_RETURN}, {L"escape", VK_ESCAPE}, {L"backspace", VK_BACK}, {L"delete", VK_DELETE},
      {L"home", VK_HOME}, {L"end", VK_END},      {L"left", VK_LEFT},     {L"right", VK_RIGHT},    {L"up", VK_UP},
      {L"down", VK_DOWN}, {L"space", VK_SPACE}};
  const bool shift = key.rfind(L"shift+", 0) == 0;
  if (shift) key = key.substr(6);
  auto it = keys.find(key);
  if (it == keys.end()) Fail(L"unknown key " + key);
  HWND main = RequireMain(), h = Control(name);
  if (h != main) Focus(main, h);
  std::vector<INPUT> inputs;
  if (shift) inputs.push_back(Key(VK_SHIFT, 0, 0));
  inputs.push_back(Key(it->second, 0, 0));
  inputs.push_back(Key(it->second, 0, KEYEVENTF_KEYUP));
  if (shift) inputs.push_back(Key(VK_SHIFT, 0, KEYEVENTF_KEYUP));
  {
    AttachedInput attach(main);
    if (h == main) SetForegroundWindow(main);
    SendKeys(inputs);
  }
  Settle(h);
}

// The pointer moves and the button goes down and up in one batch of input, so the click
// lands where it was aimed even when the X display still reports the pointer's old place
// (Wine does not always get to move the X pointer) and Wine's pointer goes back there.
void MouseClickAt(POINT screen) {
  SetCursorPos(screen.x, screen.y);
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT in[3] = {};
  for (INPUT& i : in) i.type = INPUT_MOUSE;
  // Absolute positions run from 0 to 65535 across the screen; aim at the pixel's middle.
  in[0].mi.dx = static_cast<LONG>((screen.x * 65536LL + 32768) / w);
  in[0].mi.dy = static_cast<LONG>((screen.y * 65536LL + 32768) / h);
  in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  if (SendInput(3, in, sizeof(INPUT)) != 3) Fail(L"SendInput failed");
}

void Spin(const std::wstring& name, const std::wstring& direction) {
  HWND main = RequireMain(), h = Control(name);
  HWND spin = ClassOf(h) == L"Edit" ? SpinOf(h) : nullptr;
  if (!spin) Fail(name + L" has no spin buttons");
  if (direction != L"up" && direction != L"down") Fail(L"spin direction is up or down");
  RECT r;
  GetWindowRect(spin, &r);
  int quarter = (r.bottom - r.top) / 4;
  POINT p{(r.left + r.right) / 2, direction == L"up" ? r.top + quarter : r.bottom - 1 - quarter};
  RECT client;
  GetClientRect(main, &client);
  MapWindowPoints(main, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
  if (!PtInRect(&client, p)) Fail(L"the spin buttons of " + name + L" lie outside the window's client area");
  if (HWND target = ClickTarget(main, p); target != spin) {
    Fail(L"the spin buttons of " + name + L" are covered by " + (target ? NameOf(target) : L"nothing"));
  }
  {
    AttachedInput attach(main);
    SetForegroundWindow(main);
  }
  MouseClickAt(p);
  Settle(spin);
  Settle(h);
}

void Click(const std::wstring& name) {
  HWND h = Control(name);
  if (ClassOf(h) == L"Button") {
    // Posted, not sent: a click that opens a modal box must not block the driver.
    PostMessageW(h, BM_CLICK, 0, 0);
  } else {
    RECT r;
    GetClientRect(h, &r);
    LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(h, WM_LBUTTONUP, 0, at);
  }
  Settle(h);
}

// A real mouse click at the centre of a control, as the user makes it; the control must
// be the one a click there reaches.
void RealClick(const std::wstring& name) {
  HWND main = RequireMain(), h = Control(name);
  RECT r;
  GetWindowRect(h, &r);
  POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  if (HWND target = ClickTarget(main, p); target != h) {
    Fail(name + L" is covered by " + (target ? NameOf(target) : L"nothing") + L" at its centre");
  }
  {
    AttachedInput attach(main);
    SetForegroundWindow(main);
  }
  MouseClickAt(p);
  Settle(h);
}

// "HH:MM:SS" keeps the picker's date, "YYYY-MM-DD HH:MM:SS" replaces both. The picker
// sends no change notification for this; the program reads the value when it uses it.
void SetPicker(const std::wstring& name, const std::wstring& text) {
  HWND h = Control(name);
  if (ClassOf(h) != DATETIMEPICK_CLASSW) Fail(name + L" is not a date picker");
  auto st = RemoteQuery<SYSTEMTIME>(h, DTM_GETSYSTEMTIME, 0);
  if (!st) Fail(L"cannot read the date picker's value");
  unsigned y = 0, mo = 0, d = 0, hh = 0, mi = 0, ss = 0;
  if (swscanf(text.c_str(), L"%u-%u-%u %u:%u:%u", &y, &mo, &d, &hh, &mi, &ss) == 6) {
    st->wYear = static_cast<WORD>(y), st->wMonth = static_cast<WORD>(mo), st->wDay = static_cast<WORD>(d);
  } else if (swscanf(text.c_str(), L"%u:%u:%u", &hh, &mi, &ss) != 3) {
    Fail(L"a picker value reads HH:MM:SS or YYYY-MM-DD HH:MM:SS: " + text);
  }
  st->wHour = static_cast<WORD>(hh), st->wMinute = static_cast<WORD>(mi), st->wSecond = static_cast<WORD>(ss);
  st->wMilliseconds = 0;
  st->wDayOfWeek = 0;
  LRESULT accepted = 0;
  if (!RemoteSend(h, DTM_SETSYSTEMTIME, GDT_VALID, *st, &accepted) || !accepted) Fail(L"the picker refused " + text);
  Settle(h);
}

DWORD ProgramProcess() {
  DWORD pid = 0;
  if (HWND main = MainWindow()) GetWindowThreadProcessId(main, &pid);
  return pid;
}

struct WindowSearch {
  const wchar_t* className;
  DWORD pid;
  std::vector<HWND> found;
};

// A named function, not a lambda: on x86 the callback must be stdcall.
BOOL CALLBACK CollectWindow(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<WindowSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (IsWindowVisible(h) && ClassOf(h) == s->className && (s->pid == 0 || pid == s->pid)) s->found.push_back(h);
  return TRUE;
}

// Visible top-level windows of a class, of the program's process when its window is there.
std::vector<HWND> TopLevelWindows(const wchar_t* className) {
  WindowSearch search{className, ProgramProcess(), {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A message box: its title and the texts of its static controls (the icon has none).
struct Box {
  HWND hwnd;
  std::wstring title, text;
};

std::vector<Box> Boxes() {
  std::vector<Box> boxes;
  for (HWND h : TopLevelWindows(L"#32770")) {
    Box box{h, TextOf(h), {}};
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      if (ClassOf(c) != L"Static") continue;
      std::wstring t = TextOf(c);
      if (!t.empty()) box.text += (box.text.empty() ? L"" : L" ") + t;
    }
    boxes.push_back(box);
  }
  return boxes;
}

std::wstring BoxLine(const Box& b) { return b.title + L"\t" + b.text; }

// Waits for a message box, with the given text if one is given, and prints it.
int WaitBox(const std::wstring& text, int timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    for (const Box& b : Boxes()) {
      if (text.empty() || b.text == text) return Print(BoxLine(b)), 0;
    }
    if (static_cast<int>(GetTickCount() - start) > timeoutMs) break;
    Sleep(20);
  }
  std::wstring seen;
  for (const Box& b : Boxes()) seen += L"\n  " + BoxLine(b);
  Fail(L"no message box" + (text.empty() ? L"" : L" saying " + text) + L" appeared" + (seen.empty() ? L"" : L"; open:" + seen));
}

// Chooses a button of the (only) open message box the way a click on it does, and waits
// until the box has gone.
int AnswerBox(const std::wstring& button, int timeoutMs) {
  static const std::map<std::wstring, int> ids = {{L"ok", IDOK},       {L"cancel", IDCANCEL}, {L"abort", IDABORT},
                                                  {L"retry", IDRETRY}, {L"ignore", IDIGNORE}, {L"yes", IDYES},
                                                  {L"no", IDNO}};
  auto id = ids.find(button);
  if (id == ids.end()) Fail(L"unknown message box button " + button);
  std::vector<Box> boxes = Boxes();
  if (boxes.size() != 1) Fail(std::to_wstring(boxes.size()) + L" message boxes are open, expected one");
  HWND box = boxes[0].hwnd, b = GetDlgItem(box, id->second);
  if (!b || !IsWindowVisible(b)) Fail(L"the message box has no " + button + L" button");
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id->second, BN_CLICKED), reinterpret_cast<LPARAM>(b));
  DWORD start = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box)) {
    if (static_cast<int>(GetTickCount() - start) > timeoutMs) Fail(L"the message box did not close");
    Sleep(20);
  }
  return 0;
}

// The open file dialog: the program's dialog box with a file name field (a combo box on
// later Windows, an edit box on older ones and Wine). The path goes in, Open is pressed,
// and the dialog must be gone in time: a path it refuses keeps it open.
int OpenFile(const std::wstring& path, int timeoutMs) {
  constexpr int kFileNameCombo = 0x47C, kFileNameEdit = 0x480;
  HWND dialog = nullptr, field = nullptr;
  const DWORD start = GetTickCount();
  while (!field) {
    for (HWND h : TopLevelWindows(L"#32770")) {
      HWND f = GetDlgItem(h, kFileNameCombo);
      if (!f || !IsWindowVisible(f)) f = GetDlgItem(h, kFileNameEdit);
      if (f && IsWindowVisible(f)) dialog = h, field = f;
    }
    if (static_cast<int>(GetTickCount() - start) > timeoutMs) Fail(L"no open file dialog appeared");
    if (!field) Sleep(50);
  }
  Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  while (IsWindow(dialog) && IsWindowVisible(dialog)) {
    if (static_cast<int>(GetTickCount() - start) > timeoutMs) Fail(L"the open file dialog did not take " + path);
    Sleep(20);
  }
  return 0;
}

// The tray icon's callback as the notification area sends it for a mouse message.
constexpr UINT kTrayCallback = 0x8064;
constexpr UINT kTrayIconId = 100;

HWND WaitPopupMenu(int timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    std::vector<HWND> menus = TopLevelWindows(L"#32768");
    if (!menus.empty()) return menus[0];
    if (static_cast<int>(GetTickCount() - start) > timeoutMs) Fail(L"no popup menu appeared");
    Sleep(20);
  }
}

// Waits until Wine has the pointer where the test put it on the X display (xdotool):
// the program places its popup menu by the pointer.
void WaitPointer(POINT p) {
  DWORD start = GetTickCount();
  for (;;) {
    POINT now{};
    GetCursorPos(&now);
    if (now.x == p.x && now.y == p.y) return;
    if (GetTickCount() - start > 5000) {
      Fail(L"the pointer is at " + std::to_wstring(now.x) + L" " + std::to_wstring(now.y) + L", not at " +
           std::to_wstring(p.x) + L" " + std::to_wstring(p.y));
    }
    Sleep(20);
  }
}

// left, double or right (which opens the popup menu: its rectangle is printed); with x y
// it first waits until the pointer is there.
int Tray(const std::vector<std::wstring>& a) {
  static const std::map<std::wstring, UINT> messages = {
      {L"left", WM_LBUTTONUP}, {L"double", WM_LBUTTONDBLCLK}, {L"right", WM_RBUTTONUP}};
  auto m = messages.find(a[1]);
  if (m == messages.end()) Fail(L"unknown tray operation " + a[1]);
  HWND main = RequireMain();
  if (a.size() >= 4) WaitPointer(POINT{_wtoi(a[2].c_str()), _wtoi(a[3].c_str())});
  PostMessageW(main, kTrayCallback, kTrayIconId, m->second);
  if (m->second == WM_RBUTTONUP) {
    RECT r;
    GetWindowRect(WaitPopupMenu(kDefaultWaitMs), &r);
    Print(RectText(r));
  }
  return 0;
}

struct MenuItem {
  std::wstring caption;
  bool grayed;
  RECT rect;
};

// The items of the open popup menu, read inside the program, which owns the menu.
std::vector<MenuItem> PopupItems(HWND popup) {
  using namespace tolvane::e2e;
  MenuProbe probe = CallProbe<MenuProbe>(popup, L"tolvane_menu_probe.dll", kMenuProbeHook, kMenuProbeMapping, kMenuProbeMessage);
  std::vector<MenuItem> items;
  for (int i = 0; i < probe.count; ++i) {
    const MenuProbeItem& p = probe.items[i];
    items.push_back({(p.state & MF_SEPARATOR) ? L"-" : std::wstring(p.caption), (p.state & MF_GRAYED) != 0, p.rect});
  }
  return items;
}

// Lists the items of the open popup menu: caption, 1 for enabled or 0 for greyed.
int MenuItems() {
  for (const MenuItem& item : PopupItems(WaitPopupMenu(kDefaultWaitMs))) {
    Print(item.caption + L"\t" + Bool(!item.grayed));
  }
  return 0;
}

// Clicks an item of the open popup menu with the real mouse and waits until the menu
// has closed; "none" clicks outside it, which only closes it.
int MenuChoose(const std::wstring& caption) {
  HWND popup = WaitPopupMenu(kDefaultWaitMs);
  auto closed = [popup](DWORD ms) {
    DWORD start = GetTickCount();
    while (IsWindow(popup) && IsWindowVisible(popup)) {
      if (GetTickCount() - start > ms) return false;
      Sleep(20);
    }
    return true;
  };
  if (caption == L"none") {
    // Escape, as the user presses it: a click beside the menu would leave Wine holding
    // the pointer, so that later pointer moves fail.
    {
      AttachedInput attach(popup);
      SendKeys({Key(VK_ESCAPE, 0, 0), Key(VK_ESCAPE, 0, KEYEVENTF_KEYUP)});
    }
    if (!closed(kDefaultWaitMs)) Fail(L"the popup menu did not close on Escape");
    return 0;
  }
  POINT p{};
  bool found = false;
  for (const MenuItem& item : PopupItems(popup)) {
    if (item.caption != caption) continue;
    p = POINT{(item.rect.left + item.rect.right) / 2, (item.rect.top + item.rect.bottom) / 2};
    found = true;
    break;
  }
  if (!found) Fail(L"the popup menu has no item " + caption);
  // Under load the menu now and then misses a click that comes as it starts tracking;
  // a click on an item always closes the menu, so one that did not is repeated.
  for (int attempt = 1;; ++attempt) {
    if (!SetCursorPos(p.x, p.y)) Fail(L"SetCursorPos failed");
    Sleep(50);  // the menu highlights the item under the pointer before the click
    MouseClickAt(p);
    if (closed(2000)) return 0;
    if (attempt == 3) Fail(L"the popup menu did not close after three clicks on " + caption);
    WriteLine(stderr, L"tolvane_driver: the popup menu missed a click on " + caption + L"; clicking again");
  }
}

// Stands in for another program of the session: a top-level window that notes the
// session-end messages in a file and ends by itself after the given time, noting that.
std::wstring g_witnessFile;

void Note(const char* line) {
  if (FILE* f = _wfopen(g_witnessFile.c_str(), L"ab")) {
    fputs(line, f);
    fputs("\n", f);
    fclose(f);
  }
}

LRESULT CALLBACK WitnessProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_QUERYENDSESSION) Note("queryendsession");
  if (msg == WM_ENDSESSION) Note(wp ? "endsession 1" : "endsession 0");
  return DefWindowProcW(h, msg, wp, lp);
}

int Witness(const std::wstring& file, int lifetimeMs) {
  g_witnessFile = file;
  if (FILE* f = _wfopen(file.c_str(), L"wb")) fclose(f);
  WNDCLASSW wc{};
  wc.lpfnWndProc = WitnessProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TolvaneDriverWitness";
  RegisterClassW(&wc);
  HWND h = CreateWindowW(wc.lpszClassName, L"witness", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  if (!h) Fail(L"cannot create the witness window");
  Note("ready");
  SetTimer(h, 1, static_cast<UINT>(lifetimeMs), nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == h) {
      Note("timeout");
      return 0;
    }
    DispatchMessageW(&msg);
  }
  return 0;
}

int WaitFor(const std::wstring& name, const std::wstring& prop, const std::wstring& value, bool equal, int timeoutMs) {
  DWORD start = GetTickCount();
  std::wstring last;
  for (;;) {
    if (!MainWindow()) Fail(L"the Tolvane window went away");
    last = Property(name, prop);
    if ((last == value) == equal) return 0;
    if (static_cast<int>(GetTickCount() - start) > timeoutMs) break;
    Sleep(20);
  }
  Fail(L"timed out waiting for " + name + L" " + prop + (equal ? L" = \"" : L" != \"") + value + L"\"; it is \"" + last +
       L"\"");
}

// Prints the property at once and again at each change, each line with the milliseconds
// since the start, until the time is up or the window has gone (a last line "gone").
int Watch(const std::wstring& name, const std::wstring& prop, int timeoutMs) {
  DWORD start = GetTickCount();
  std::optional<std::wstring> last;
  for (;;) {
    auto elapsed = static_cast<int>(GetTickCount() - start);
    if (!MainWindow()) return Print(std::to_wstring(elapsed) + L"\tgone"), 0;
    std::wstring now = Property(name, prop);
    if (!last || now != *last) Print(std::to_wstring(elapsed) + L"\t" + now);
    last = now;
    if (elapsed > timeoutMs) return 0;
    Sleep(10);
  }
}

// Compares several properties at once: each argument reads name.prop=value. Prints
// every mismatch; fails when there is one.
int Expect(const std::vector<std::wstring>& checks) {
  int mismatches = 0;
  for (const std::wstring& c : checks) {
    size_t dot = c.find(L'.'), eq = c.find(L'=');
    if (dot == std::wstring::npos || eq == std::wstring::npos || eq < dot) Fail(L"a check reads name.prop=value: " + c);
    std::wstring name = c.substr(0, dot), prop = c.substr(dot + 1, eq - dot - 1), want = c.substr(eq + 1);
    std::wstring got = Property(name, prop);
    if (got != want) {
      Print(name + L" " + prop + L": expected \"" + want + L"\", got \"" + got + L"\"");
      ++mismatches;
    }
  }
  return mismatches ? 1 : 0;
}

int Timeout(const std::vector<std::wstring>& args, size_t index) {
  return args.size() > index ? _wtoi(args[index].c_str()) : kDefaultWaitMs;
}

int Usage() {
  WriteLine(stderr, L"usage: tolvane_driver <command> ...; the commands are listed at the top of driver.cpp");
  return 2;
}

int SysColours(const std::vector<std::wstring>& args) {
  using namespace tolvane::e2e;
  ColourProbe question{};
  for (const std::wstring& arg : args) {
    const std::size_t equals = arg.find(L'=');
    if (equals == std::wstring::npos || question.count == 16) return Usage();
    const unsigned long rgb = std::wcstoul(arg.c_str() + equals + 1, nullptr, 16);
    question.indices[question.count] = _wtoi(arg.substr(0, equals).c_str());
    question.values[question.count++] = RGB((rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255);
  }
  const ColourProbe answer =
      CallProbe<ColourProbe>(RequireMain(), L"tolvane_colour_probe.dll", kColourProbeHook, kColourProbeMapping, kColourProbeMessage, question);
  std::wstring before;
  for (int i = 0; i < answer.count; ++i) {
    const COLORREF c = answer.values[i];
    wchar_t text[32];
    std::swprintf(text, 32, L"%d=%02x%02x%02x", answer.indices[i], GetRValue(c), GetGValue(c), GetBValue(c));
    before += (i == 0 ? L"" : L" ") + std::wstring(text);
  }
  Print(before);
  return 0;
}

int Run(const std::vector<std::wstring>& a) {
  if (a.empty()) return Usage();
  const std::wstring& cmd = a[0];
  if (cmd == L"wait-window") {
    DWORD start = GetTickCount();
    for (;;) {
      HWND main = MainWindow();
      if (main && IsWindowVisible(main)) return 0;
      if (static_cast<int>(GetTickCount() - start) > Timeout(a, 1)) Fail(L"the Tolvane window did not appear");
      Sleep(50);
    }
  }
  if (cmd == L"get" && a.size() == 3) return Print(Property(a[1], a[2])), 0;
  if (cmd == L"window-rect" || cmd == L"client-rect") {
    return Print(WindowProperty(RequireMain(), cmd == L"window-rect" ? L"rect" : L"client-rect")), 0;
  }
  if ((cmd == L"wait" || cmd == L"wait-not") && a.size() >= 4) return WaitFor(a[1], a[2], a[3], cmd == L"wait", Timeout(a, 4));
  if (cmd == L"click" && a.size() == 2) return Click(a[1]), 0;
  if (cmd == L"type" && a.size() == 3) return Type(a[1], a[2]), 0;
  if (cmd == L"key" && a.size() == 3) return PressKey(a[1], a[2]), 0;
  if (cmd == L"focus" && a.size() == 2) return Focus(RequireMain(), Control(a[1])), 0;
  if (cmd == L"spin" && a.size() == 3) return Spin(a[1], a[2]), 0;
  if (cmd == L"close") {
    HWND main = RequireMain();
    PostMessageW(main, WM_CLOSE, 0, 0);
    DWORD start = GetTickCount();
    while (IsWindow(main)) {
      if (static_cast<int>(GetTickCount() - start) > Timeout(a, 1)) Fail(L"the window did not close");
      Sleep(20);
    }
    return 0;
  }
  if (cmd == L"check-layout") return CheckLayout({a.begin() + 1, a.end()});
  if (cmd == L"dpi-changed" && a.size() == 2) {
    HWND main = RequireMain();
    const int dpi = _wtoi(a[1].c_str());
    const auto size = RemoteSend<SIZE>(main, 0x02E4 /* WM_GETDPISCALEDSIZE */, static_cast<WPARAM>(dpi), SIZE{0, 0});
    if (!size || size->cx <= 0) Fail(L"the program named no size for " + a[1] + L" DPI");
    RECT r;
    GetWindowRect(main, &r);
    const RECT suggested{r.left, r.top, r.left + size->cx, r.top + size->cy};
    if (!RemoteSend<RECT>(main, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi), suggested)) Fail(L"cannot send WM_DPICHANGED");
    Settle(main);
    return Print(std::to_wstring(size->cx) + L" " + std::to_wstring(size->cy)), 0;
  }
  if (cmd == L"text-fit") return TextFit({a.begin() + 1, a.end()});
  if (cmd == L"expect") return Expect({a.begin() + 1, a.end()});
  if (cmd == L"watch" && a.size() >= 3) return Watch(a[1], a[2], Timeout(a, 3));
  if (cmd == L"real-click" && a.size() == 2) return RealClick(a[1]), 0;
  if (cmd == L"set-picker" && a.size() == 3) return SetPicker(a[1], a[2]), 0;
  if (cmd == L"boxes") {
    for (const Box& b : Boxes()) Print(BoxLine(b));
    return 0;
  }
  if (cmd == L"wait-box") return WaitBox(a.size() > 1 ? a[1] : L"", Timeout(a, 2));
  if (cmd == L"answer-box" && a.size() >= 2) return AnswerBox(a[1], Timeout(a, 2));
  if (cmd == L"open-file" && a.size() >= 2) return OpenFile(a[1], Timeout(a, 2));
  if (cmd == L"tray" && (a.size() == 2 || a.size() == 4)) return Tray(a);
  if (cmd == L"menu-items") return MenuItems();
  if (cmd == L"menu" && a.size() == 2) return MenuChoose(a[1]);
  if (cmd == L"ask-accessible" && a.size() == 2) {
    DWORD_PTR result = 0;
    const HWND target = a[1] == L"window" ? RequireMain() : Control(a[1]);
    return SendMessageTimeoutW(target, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT), SMTO_BLOCK, 5000, &result) ? 0 : 1;
  }
  if (cmd == L"load-library" && a.size() == 2) return LoadLibraryW(a[1].c_str()) ? 0 : 1;
  if (cmd == L"minimize") return PostMessageW(RequireMain(), WM_SYSCOMMAND, SC_MINIMIZE, 0) ? 0 : 1;
  if (cmd == L"witness" && a.size() == 3) return Witness(a[1], _wtoi(a[2].c_str()));
  if (cmd == L"sys-colours" && a.size() >= 2) return SysColours({a.begin() + 1, a.end()});
  return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The program's window is measured in its own (physical) pixels at every DPI.
  SetProcessDPIAware();
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  Finish(Run({argv + 1, argv + argc}));
}
