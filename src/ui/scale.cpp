#include "ui/scale.h"

#include <cstdint>

namespace tolvane::ui {
namespace {
int Effective(int dpi) { return dpi < 1 ? kBaseDpi : dpi; }

// round(numerator / denominator) with halves away from zero; denominator > 0.
int RoundedQuotient(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t half = denominator / 2;
  const std::int64_t q = numerator >= 0 ? (numerator + half) / denominator : -((-numerator + half) / denominator);
  return static_cast<int>(q);
}
}  // namespace

int ScaleLength(int value, int dpi) {
  return RoundedQuotient(static_cast<std::int64_t>(value) * Effective(dpi), kBaseDpi);
}

Rect ScaleRect(const Rect& rect, int dpi) {
  const int left = ScaleLength(rect.left, dpi);
  const int top = ScaleLength(rect.top, dpi);
  const int right = ScaleLength(rect.left + rect.width, dpi);
  const int bottom = ScaleLength(rect.top + rect.height, dpi);
  return Rect{left, top, right - left, bottom - top};
}

int ScaleFontHeight(int height, int dpi) {
  const int scaled = ScaleLength(height, dpi);
  return height > 0 && scaled < 1 ? 1 : scaled;
}

int CollapsedHeight(int dpi) { return ScaleLength(kCollapsedHeight, dpi); }
int ExpandedHeight(int dpi) { return ScaleLength(kExpandedHeight, dpi); }

int ScaleOuterLength(int outer, int frameAt96, int frameAtDpi, int dpi) {
  return ScaleLength(outer - frameAt96, dpi) + frameAtDpi;
}

int UnscaleOuterLength(int pixels, int frameAt96, int frameAtDpi, int dpi) {
  return UnscaleLength(pixels - frameAtDpi, dpi) + frameAt96;
}

int UnscaleLength(int pixels, int dpi) {
  return RoundedQuotient(static_cast<std::int64_t>(pixels) * kBaseDpi, Effective(dpi));
}

}  // namespace tolvane::ui
