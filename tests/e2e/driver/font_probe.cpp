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
    if (HDC dc = GetDC(control)) {
      HGDIOBJ old = SelectObject(dc, font);
      GetTextExtentPoint32W(dc, probe.text, lstrlenW(probe.text), &probe.extent);
      SelectObject(dc, old);
      ReleaseDC(control, dc);
    }
  });
}
