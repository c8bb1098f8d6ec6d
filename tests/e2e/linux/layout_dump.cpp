// Prints the window definition's rectangles for the Linux end-to-end tests, so they
// click where the program puts its controls, as the Wine driver does: one control a
// line, "name left top width height" in client coordinates at 96 DPI, names in GBK.
#include <cstdio>

#include "ui/window_definition.h"

int main() {
  for (const auto& control : tolvane::ui::MainWindowControls()) {
    const tolvane::ui::Rect r = tolvane::ui::ClientRect(control);
    std::printf("%s %d %d %d %d\n", control.name, r.left, r.top, r.width, r.height);
  }
  return 0;
}
