#pragma once
// Keyboard navigation of the window in the order of its layout, for hosts whose own
// order follows something else (Win32 follows the drawing order).
#include <span>
#include <string_view>
#include <vector>

#include "ui/window_definition.h"

namespace tolvane::ui {

// A control that can take the keyboard focus now (the host leaves out hidden, disabled
// and cut-off ones).
struct FocusCandidate {
  std::string_view name;
  Rect rect;                // in the window's client coordinates
  std::string_view group;   // radio boxes: the parent they are exclusive under; "" otherwise
  bool checked = false;
};

// The tab stops, top to bottom and left to right: controls whose vertical centre lies in
// the band of a row's first control share that row. A radio group is one stop, at the
// place of its first box, standing for its checked box (or its first when none is).
std::vector<std::string_view> TabOrder(std::span<const FocusCandidate> candidates);

// The stop after (or before) `current` in the order, wrapping; `current` may be any box
// of a radio group. The first stop (or the last) when `current` is not in the order.
std::string_view NextTabStop(std::span<const FocusCandidate> candidates, std::string_view current, bool forward);

// The arrow keys inside a radio group: the next (or previous) box of `current`'s group
// in layout order, wrapping; `current` itself when it is alone or not a radio box.
std::string_view NextInRadioGroup(std::span<const FocusCandidate> candidates, std::string_view current, bool forward);

// Whether the control reacts to a click with an operation, so the keyboard must reach it too.
bool ClickableLabel(std::string_view name);
// Whether the control is a tab stop while it is shown and enabled: every input control and
// the clickable labels.
bool TakesFocus(const ControlDef& control);

}  // namespace tolvane::ui
