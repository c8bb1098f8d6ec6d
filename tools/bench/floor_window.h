#pragma once
// What the two Win32 floor programs share: a top-level window of a class of their own,
// the content the program makes in it, one label given the local date and time in
// Chinese by a plain one-second SetTimer, and the message loop.
#include <windows.h>

namespace tolvane::bench {

inline HWND g_clock = nullptr;
inline constexpr UINT_PTR kClockTimer = 1;

inline void ShowTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t text[64];
  wsprintfW(text, L"%04d年%02d月%02d日%02d时%02d分%02d秒", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  SetWindowTextW(g_clock, text);
}

inline LRESULT CALLBACK FloorWindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kClockTimer) {
    ShowTime();
    return 0;
  }
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(h, msg, wp, lp);
}

// makeContent(window) makes the window's controls and returns the clock label.
template <typename MakeContent>
int RunFloorWindow(HINSTANCE instance, int show, const wchar_t* windowClass, const wchar_t* title, int width,
                   int height, MakeContent makeContent) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = FloorWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = windowClass;
  RegisterClassW(&wc);
  HWND window = CreateWindowW(windowClass, title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                              CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr, nullptr, instance, nullptr);
  g_clock = makeContent(window);
  ShowTime();
  SetTimer(window, kClockTimer, 1000, nullptr);
  ShowWindow(window, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

}  // namespace tolvane::bench
