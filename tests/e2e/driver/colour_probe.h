#pragma once
// Shared between the driver and the probe library it hooks into the Tolvane process.
#include <windows.h>

namespace tolvane::e2e {

// Wine keeps the system colours of each process apart, so a change the display settings
// would make for the whole session is made inside the program: the driver hooks
// ColourProbeHook into the program's thread and sends the main window kColourProbeMessage;
// the hook sets the colours in the shared memory named kColourProbeMapping with
// SetSysColors (which tells every window) and leaves the colours they had.
struct ColourProbe {
  LONG ok;
  LONG count;
  INT indices[16];
  COLORREF values[16];  // the new colours; on return, the old ones
};

inline constexpr const wchar_t* kColourProbeMapping = L"TolvaneDriverColourProbe";
inline constexpr const wchar_t* kColourProbeMessage = L"TolvaneDriverColourProbe";
inline constexpr const char* kColourProbeHook = "ColourProbeHook";

}  // namespace tolvane::e2e
