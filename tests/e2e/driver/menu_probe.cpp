// The menu probe library: reads the items of the popup menu the Tolvane window's thread
// is tracking, inside the Tolvane process.
#include "menu_probe.h"
#include "probe_hook.h"

using namespace tolvane::e2e;

extern "C" __declspec(dllexport) LRESULT CALLBACK MenuProbeHook(int code, WPARAM wp, LPARAM lp) {
  return AnswerProbe<MenuProbe>(code, wp, lp, kMenuProbeMapping, kMenuProbeMessage, [](HWND popup, MenuProbe& probe) {
    auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    int count = menu ? GetMenuItemCount(menu) : -1;
    if (count < 0) return;
    probe.count = count < 16 ? count : 16;
    for (int i = 0; i < probe.count; ++i) {
      MenuProbeItem& item = probe.items[i];
      GetMenuStringW(menu, static_cast<UINT>(i), item.caption, 64, MF_BYPOSITION);
      item.state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
      GetMenuItemRect(popup, menu, static_cast<UINT>(i), &item.rect);
    }
    probe.ok = 1;
  });
}
