#pragma once
// Scaling the window definition, which is in 96-DPI units, to a display's pixels.
// Both hosts use it: Windows with the monitor's DPI, GTK with the monitor's scale.
// Rectangles are scaled by their edges, not their sizes, so neighbouring controls
// keep the gaps and overlaps of the definition at every scale.
#include "ui/window_definition.h"

namespace tolvane::ui {

inline constexpr int kBaseDpi = 96;

// round(value * dpi / 96), halves away from zero; a dpi below 1 counts as 96.
int ScaleLength(int value, int dpi);
// left = round(x * s), right = round((x + w) * s), and the same for top and bottom.
Rect ScaleRect(const Rect& rect, int dpi);
// A font's glyph height in pixels; never below 1 for a positive height.
int ScaleFontHeight(int height, int dpi);
// The window's outer height when collapsed or expanded, at this dpi.
int CollapsedHeight(int dpi);
int ExpandedHeight(int dpi);
// A window's outer length at `dpi` from its outer length in 96-DPI units, given its
// frame (caption and borders) at 96 DPI and at `dpi`: the client part scales by the
// rule above and the frame is as the system draws it, so the content keeps its scale
// even where the system's frame does not scale exactly.
int ScaleOuterLength(int outer, int frameAt96, int frameAtDpi, int dpi);
int UnscaleOuterLength(int pixels, int frameAt96, int frameAtDpi, int dpi);
// The inverse: a length in pixels at `dpi` back in 96-DPI units, for reading a
// host's geometry back into the definition's units.
int UnscaleLength(int pixels, int dpi);

}  // namespace tolvane::ui
