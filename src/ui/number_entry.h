#pragma once
// Whole-number entry in the reminder edit boxes: which typed characters are kept,
// how the text is normalised when the box loses focus, and the spin arrows.
#include <string>
#include <string_view>

#include "ui/window_definition.h"

namespace tolvane::ui {

// Control keys (below 32) always pass; otherwise only digits and the minus sign.
bool AcceptTypedCharacter(unsigned int code);
// The text read as a signed 64-bit number and written back in plain decimal; a
// lone 0 empties the box.
std::string NormaliseWholeNumber(std::string_view text);
// One click of a spin arrow (+1 up, -1 down) with wrap-around at the range's edges.
std::string SpinWholeNumber(std::string_view text, SpinRange range, int direction);

}  // namespace tolvane::ui
