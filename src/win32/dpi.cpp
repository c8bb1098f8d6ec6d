// The display scale: the per-monitor functions bound at run time, with fallbacks.
#include "win32/dpi.h"

#include "platform/system/bind_win32.h"
#include "ui/scale.h"

namespace tolvane::win32 {
namespace {
DeclaredFunction getDpiForWindowFunction{"user32", "GetDpiForWindow"};
DeclaredFunction getSystemMetricsForDpiFunction{"user32", "GetSystemMetricsForDpi"};
DeclaredFunction setThreadDpiAwarenessContextFunction{"user32", "SetThreadDpiAwarenessContext"};
DeclaredFunction adjustWindowRectExForDpiFunction{"user32", "AdjustWindowRectExForDpi"};

using GetDpiForWindowFn = UINT(WINAPI*)(HWND window);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int index, UINT dpi);
using SetThreadDpiAwarenessContextFn = HANDLE(WINAPI*)(HANDLE context);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT* rect, DWORD style, BOOL menu, DWORD exStyle, UINT dpi);

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
}  // namespace

void PreferPerMonitorDpi() {
  if (auto set = TryBindAs<SetThreadDpiAwarenessContextFn>(setThreadDpiAwarenessContextFunction)) {
    set(kPerMonitorAwareV2);
  }
}

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : ui::kBaseDpi;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : ui::kBaseDpi;
}

int DpiOfWindow(HWND window) {
  if (auto get = TryBindAs<GetDpiForWindowFn>(getDpiForWindowFunction)) {
    if (const UINT dpi = get(window); dpi > 0) return static_cast<int>(dpi);
  }
  return SystemDpi();
}

int SystemMetricForDpi(int index, int dpi) {
  if (auto get = TryBindAs<GetSystemMetricsForDpiFn>(getSystemMetricsForDpiFunction)) {
    return get(index, static_cast<UINT>(dpi));
  }
  return GetSystemMetrics(index);
}

SIZE FrameSize(DWORD style, DWORD exStyle, int dpi) {
  RECT r{0, 0, 0, 0};
  if (auto adjust = TryBindAs<AdjustWindowRectExForDpiFn>(adjustWindowRectExForDpiFunction)) {
    adjust(&r, style, FALSE, exStyle, static_cast<UINT>(dpi));
    return SIZE{r.right - r.left, r.bottom - r.top};
  }
  // Without it the frame is known only at the system DPI; other DPIs get it in proportion.
  AdjustWindowRectEx(&r, style, FALSE, exStyle);
  const int systemDpi = SystemDpi();
  return SIZE{MulDiv(r.right - r.left, dpi, systemDpi), MulDiv(r.bottom - r.top, dpi, systemDpi)};
}

}  // namespace tolvane::win32
