// The names screen readers announce for controls whose own text does not say what they
// are, and the text of the clock and the board as their values.
#include "platform/text/text_win32.h"
#include "ui/accessibility.h"
#include "win32/win32_host.h"

namespace tolvane::win32 {

// Names for controls whose own text does not tell a screen reader what they are. COM
// and the annotation service are loaded only once a screen reader is there: one that
// says so through the system setting, or the first request for the window's
// accessible object (WM_GETOBJECT), which every screen reader makes before it reads a
// control. The names are in place before that request is answered.
void Win32Host::AnnotateForScreenReaders() {
  if (annotating_ || window_ == nullptr) return;
  annotating_ = true;
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    auto it = hwnds_.find(def.name);
    if (it == hwnds_.end()) continue;
    if (const std::string name = ui::AccessibleName(def.name); !name.empty()) accessible_.Set(it->second, GbkToWide(name));
    if (ui::ReportsTextAsValue(def.name)) Annotate(State(def.name));
  }
}

void Win32Host::ScreenReaderSettingChanged() {
  BOOL running = FALSE;
  if (SystemParametersInfoW(SPI_GETSCREENREADER, 0, &running, 0) && running) AnnotateForScreenReaders();
}

void Win32Host::Annotate(const ui::ControlState& control) {
  if (!annotating_ || control.def == nullptr || !ui::ReportsTextAsValue(control.def->name)) return;
  const std::wstring text = GbkToWide(control.caption);
  accessible_.Set(Hwnd(control), text, &text);
}

}  // namespace tolvane::win32
