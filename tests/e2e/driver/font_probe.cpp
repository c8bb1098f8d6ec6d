// The font probe library: reads a control's font inside the Tolvane process.
#include "font_probe.h"
#include "probe_hook.h"

using namespace tolvane::e2e;

extern "C" __declspec(dllexport) LRESULT CALLBACK FontProbeHook(int code, WPARAM wp, LPARAM lp) {
  return AnswerProbe<FontProbe>(code, wp, lp, kFontProbeMapping, kFontProbeMessage, [](HWND control, FontProbe& probe) {
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    // A control without a font of its own draws with the system font.
    if (!font) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    probe.ok = GetObjectW(font, sizeof probe.font, &probe.font) == sizeof probe.font;
    if (probe.text[0] == L'\0') GetWindowTextW(control, probe.text, 128);
    GetClientRect(control, &probe.client);
    for (int i = 0; i < 2; ++i) {
      auto icon = reinterpret_cast<HICON>(SendMessageW(control, WM_GETICON, i == 0 ? ICON_SMALL : ICON_BIG, 0));
      ICONINFO info{};
      if (icon && GetIconInfo(icon, &info)) {
        BITMAP bm{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        probe.iconWidths[i] = bm.bmWidth;
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
      }
    }
    if (HDC dc = GetDC(control)) {
      HGDIOBJ old = SelectObject(dc, font);
      GetTextExtentPoint32W(dc, probe.text, lstrlenW(probe.text), &probe.extent);
      SelectObject(dc, old);
      ReleaseDC(control, dc);
    }
  });
}
