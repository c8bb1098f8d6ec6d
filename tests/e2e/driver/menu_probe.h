#pragma once
// Shared between the driver and the probe library it hooks into the Tolvane process.
#include <windows.h>

namespace tolvane::e2e {

// A menu handle means nothing outside the process that owns the menu, so the items of an
// open popup menu are read inside the program: the driver hooks MenuProbeHook into the
// program's thread and sends the popup menu window kMenuProbeMessage; the hook leaves
// the items in the shared memory named kMenuProbeMapping.
struct MenuProbeItem {
  wchar_t caption[64];
  UINT state;  // MF_GRAYED, MF_CHECKED, MF_SEPARATOR ... as GetMenuState reports them
  RECT rect;   // screen coordinates
};

struct MenuProbe {
  LONG ok;
  LONG count;
  MenuProbeItem items[16];
};

inline constexpr const wchar_t* kMenuProbeMapping = L"TolvaneDriverMenuProbe";
inline constexpr const wchar_t* kMenuProbeMessage = L"TolvaneDriverMenuProbe";
inline constexpr const char* kMenuProbeHook = "MenuProbeHook";

}  // namespace tolvane::e2e
