// The menu probe library: runs on the Tolvane window's thread through a WH_CALLWNDPROC
// hook, while that thread tracks a popup menu.
#include "menu_probe.h"

using namespace tolvane::e2e;

extern "C" __declspec(dllexport) LRESULT CALLBACK MenuProbeHook(int code, WPARAM wp, LPARAM lp) {
  const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
  if (code == HC_ACTION && msg->message == RegisterWindowMessageW(kMenuProbeMessage)) {
    if (HANDLE map = OpenFileMappingW(FILE_MAP_WRITE, FALSE, kMenuProbeMapping)) {
      if (auto* probe = static_cast<MenuProbe*>(MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, sizeof(MenuProbe)))) {
        auto menu = reinterpret_cast<HMENU>(SendMessageW(msg->hwnd, MN_GETHMENU, 0, 0));
        int count = menu ? GetMenuItemCount(menu) : -1;
        if (count >= 0) {
          probe->count = count < 16 ? count : 16;
          for (int i = 0; i < probe->count; ++i) {
            MenuProbeItem& item = probe->items[i];
            GetMenuStringW(menu, static_cast<UINT>(i), item.caption, 64, MF_BYPOSITION);
            item.state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            GetMenuItemRect(msg->hwnd, menu, static_cast<UINT>(i), &item.rect);
          }
          probe->ok = 1;
        }
        UnmapViewOfFile(probe);
      }
      CloseHandle(map);
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
