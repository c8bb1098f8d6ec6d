#pragma once
// The program's own icon at the size a scaled display asks for. The program hands the
// hosts its 16x16 icon file; a host that shows it larger takes the same artwork drawn
// at that size instead of a stretched copy.
#include "platform/text/byte_view.h"

namespace tolvane::ui {

// For the program's own icon, the drawing of the smallest size at least `pixels` wide
// (the largest when none is); any other icon file as it is.
ByteView IconFileForSize(ByteView file, int pixels);

}  // namespace tolvane::ui
