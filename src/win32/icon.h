#pragma once
#include <windows.h>

#include "resources/resources.h"

namespace tolvane::win32 {
// An icon handle from the bytes of an .ico or .cur file, preferring an image of the
// given width; nullptr when the bytes hold no usable image. The caller owns it.
HICON IconFromFile(ByteView file, int preferredWidth);
}  // namespace tolvane::win32
