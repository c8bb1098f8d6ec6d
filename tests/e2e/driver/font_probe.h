#pragma once
// Shared between the driver and the probe library it hooks into the Tolvane process.
#include <windows.h>

namespace tolvane::e2e {

// A font handle means nothing outside the process that created it, so a control's font
// is read inside the program: the driver hooks FontProbeHook into the program's thread
// and sends the control kFontProbeMessage; the hook leaves the LOGFONT in the shared
// memory named kFontProbeMapping.
// It also measures a text with that font (the control's own text when `text` is empty)
// and reads the control's client rectangle, for the check that captions fit. Asked of
// the main window, it reads the widths of its small and big icons (icon handles, too, are
// read only inside the program under Wine).
struct FontProbe {
  LONG ok;
  LOGFONTW font;
  wchar_t text[128];
  SIZE extent;
  RECT client;
  LONG iconWidths[2];
};

inline constexpr const wchar_t* kFontProbeMapping = L"TolvaneDriverFontProbe";
inline constexpr const wchar_t* kFontProbeMessage = L"TolvaneDriverFontProbe";
inline constexpr const char* kFontProbeHook = "FontProbeHook";

}  // namespace tolvane::e2e
