// The probe library: runs on the Tolvane window's thread through a WH_CALLWNDPROC hook.
#include "font_probe.h"

using namespace tolvane::e2e;

extern "C" __declspec(dllexport) LRESULT CALLBACK FontProbeHook(int code, WPARAM wp, LPARAM lp) {
  const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
  if (code == HC_ACTION && msg->message == RegisterWindowMessageW(kFontProbeMessage)) {
    if (HANDLE map = OpenFileMappingW(FILE_MAP_WRITE, FALSE, kFontProbeMapping)) {
      if (auto* probe = static_cast<FontProbe*>(MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, sizeof(FontProbe)))) {
        auto font = reinterpret_cast<HFONT>(SendMessageW(msg->hwnd, WM_GETFONT, 0, 0));
        // A control without a font of its own draws with the system font.
        if (!font) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
        probe->ok = GetObjectW(font, sizeof probe->font, &probe->font) == sizeof probe->font;
        UnmapViewOfFile(probe);
      }
      CloseHandle(map);
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
