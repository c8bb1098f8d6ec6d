#pragma once
// A view of a counted block of bytes, as the program holds them: a whole sound
// file, the built-in clip, an icon.
#include <cstdint>
#include <span>

namespace tolvane {

using ByteView = std::span<const std::uint8_t>;

}  // namespace tolvane
