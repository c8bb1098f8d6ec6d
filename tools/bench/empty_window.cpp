// The floor for bench_startup.sh: a Win32 program with a window of Tolvane's size
// (540 x 470 at 96 DPI, its collapsed main window) holding one label in Tolvane's
// clock font, given the local date and time in Chinese by a plain one-second
// SetTimer, and nothing else. Built and linked as Tolvane.exe is.
#include "floor_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  return tolvane::bench::RunFloorWindow(instance, show, L"TolvaneBenchEmpty", L"empty", 540, 470, [&](HWND window) {
    // Where and how Tolvane shows its clock: 黑体 bold, 32 pixels, centred.
    HWND label = CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER, 14, 47, 506, 48, window, nullptr,
                               instance, nullptr);
    HFONT font = CreateFontW(-32, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"黑体");
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return label;
  });
}
