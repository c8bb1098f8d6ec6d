// The floor for bench_startup.sh: a Win32 program with a window of Tolvane's size
// (540 x 470 at 96 DPI, its collapsed main window) holding one label in Tolvane's
// clock font, given the local date and time in Chinese by a plain one-second
// SetTimer, and nothing else. Built and linked as Tolvane.exe is.
#include <windows.h>

namespace {

constexpr UINT_PTR kClockTimer = 1;
HWND g_label = nullptr;

void ShowTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t text[64];
  wsprintfW(text, L"%04d年%02d月%02d日%02d时%02d分%02d秒", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  SetWindowTextW(g_label, text);
}

LRESULT CALLBACK WindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kClockTimer) {
    ShowTime();
    return 0;
  }
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(h, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = L"TolvaneBenchEmpty";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(wc.lpszClassName, L"empty", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                              CW_USEDEFAULT, CW_USEDEFAULT, 540, 470, nullptr, nullptr, instance, nullptr);
  // Where and how Tolvane shows its clock: 黑体 bold, 32 pixels, centred.
  g_label = CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER, 14, 47, 506, 48, window, nullptr, instance,
                          nullptr);
  HFONT font = CreateFontW(-32, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"黑体");
  SendMessageW(g_label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ShowTime();
  SetTimer(window, kClockTimer, 1000, nullptr);
  ShowWindow(window, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  DeleteObject(font);
  return 0;
}
