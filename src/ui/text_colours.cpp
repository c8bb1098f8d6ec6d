#include "ui/text_colours.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tolvane::ui {
namespace {
constexpr double kLargeTextContrast = 3.0;
// The classic scheme's button face: every layout colour is darker than every light face,
// so this, the darkest of them, is where each reads least well.
constexpr Colour kDarkestLightFace{212, 208, 200};
constexpr Colour kBlack{0, 0, 0};
constexpr Colour kWhite{255, 255, 255};

// Worked out once for all 256 levels: every paint of a label asks for a dozen.
double Linear(std::uint8_t channel) {
  static const std::array<double, 256> levels = [] {
    std::array<double, 256> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
      const double c = static_cast<double>(i) / 255.0;
      table[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    return table;
  }();
  return levels[channel];
}

// Ratios closer than this are the same: the x86 build's x87 arithmetic may round one
// ratio differently in two places, which on the darkest light face itself would take a
// layout colour away.
constexpr double kSameRatio = 1e-6;

bool StandsOut(Colour layoutColour, Colour background) {
  const double needed = std::min(kLargeTextContrast, ContrastRatio(layoutColour, kDarkestLightFace));
  return ContrastRatio(layoutColour, background) + kSameRatio >= needed;
}

// The system's colour for text on `background`, or, where a theme pairs them badly (its
// face text on a field the layout fills white), black or white, whichever reads better.
Colour ReadableOn(Colour background, Colour preferred) {
  if (ContrastRatio(preferred, background) >= kLargeTextContrast) return preferred;
  return ContrastRatio(kBlack, background) >= ContrastRatio(kWhite, background) ? kBlack : kWhite;
}
}  // namespace

double RelativeLuminance(Colour c) { return 0.2126 * Linear(c.red) + 0.7152 * Linear(c.green) + 0.0722 * Linear(c.blue); }

double ContrastRatio(Colour a, Colour b) {
  const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TextPaint PaintText(Colour colour, std::optional<Colour> ownBackground, bool disabled, const SystemColours& system) {
  if (system.highContrast) {
    // The layout's own white fields become the system's fields.
    const Colour background = ownBackground ? system.field : system.face;
    if (disabled) return {system.disabledText, background};
    return {ownBackground ? system.fieldText : system.faceText, background};
  }
  const Colour background = ownBackground.value_or(system.face);
  if (disabled) return {system.disabledText, background};
  if (StandsOut(colour, background)) return {colour, background};
  return {ReadableOn(background, ownBackground ? system.fieldText : system.faceText), background};
}

}  // namespace tolvane::ui
