#pragma once
// The colours a text is painted in. The layout's colours were chosen for the light
// grey face of a default dialog; on the face a system actually draws (a dark theme, a
// contrast theme) a layout colour is kept only where it still stands out, otherwise
// the text takes the system's own colour. In a high-contrast mode the system's
// colours are used throughout. Both hosts paint with this one rule.
#include <optional>

#include "ui/window_definition.h"

namespace tolvane::ui {

// The colours the system draws the window with, as each host reads them from its theme.
struct SystemColours {
  Colour face{240, 240, 240};  // the window's background, behind the controls
  Colour faceText{0, 0, 0};    // text on the face
  Colour field{255, 255, 255};  // inside entry fields
  Colour fieldText{0, 0, 0};    // text in entry fields
  Colour disabledText{109, 109, 109};
  bool highContrast = false;  // the user asked for the system's colours everywhere
  bool operator==(const SystemColours&) const = default;
};

struct TextPaint {
  Colour text;
  Colour background;
  bool operator==(const TextPaint&) const = default;
};

// sRGB relative luminance, 0 (black) to 1 (white), and the contrast ratio of two
// colours, 1 to 21, whichever is lighter.
double RelativeLuminance(Colour c);
double ContrastRatio(Colour a, Colour b);

// The colours of a control's text: `colour` is its current one (the layout's, or one
// the program set), `ownBackground` the layout's background where it has one (a field
// the program fills itself; none: the system's face shows). The colour is kept where it
// reads on the background: at 3:1, what text of the layout's sizes needs, or at least as
// well as on the darkest face of Windows' standard light schemes, so that a colour the
// layout accepted there (its orange, 2.2:1 on the default face) is not taken away on any
// light face.
TextPaint PaintText(Colour colour, std::optional<Colour> ownBackground, bool disabled, const SystemColours& system);

}  // namespace tolvane::ui
