#pragma once
// The display scale of the window: per-monitor DPI where Windows has it (10 1607 and
// later, bound at run time), the system DPI on older systems.
#include <windows.h>

namespace tolvane::win32 {

// Asks for per-monitor v2 awareness on this thread, for when the manifest's request
// was not honoured; older systems keep what the manifest gave.
void PreferPerMonitorDpi();
// The window's DPI, or the system's where the window's own is not known.
int DpiOfWindow(HWND window);
// The system's DPI, for which the stock objects and GetSystemMetrics are sized.
int SystemDpi();
// A system metric at the given DPI; GetSystemMetrics at the system DPI where the
// per-DPI function is missing.
int SystemMetricForDpi(int index, int dpi);

// The width and height that caption and borders of a window of this style add at `dpi`.
SIZE FrameSize(DWORD style, DWORD exStyle, int dpi);

}  // namespace tolvane::win32
