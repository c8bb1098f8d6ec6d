#pragma once
// The program's built-in data: the reminder clip and the program icon, embedded
// from the files beside this header when the program is built.
#include "platform/text/byte_view.h"

namespace tolvane::resources {
ByteView builtinClip();  // RIFF WAVE, PCM mono 11025 Hz 16-bit, 21260 bytes
ByteView programIcon();  // .ico with one 16x16 image at 32 bits per pixel, 1150 bytes
// The same artwork drawn at the sizes scaled displays ask for, one image each.
ByteView programIcon20();
ByteView programIcon24();
ByteView programIcon32();
ByteView programIcon48();
}  // namespace tolvane::resources
