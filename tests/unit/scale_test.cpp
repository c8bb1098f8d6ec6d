// Scaling the 96-DPI window definition to a display's pixels.
#include <gtest/gtest.h>

#include "ui/scale.h"

namespace tolvane::ui {
namespace {

TEST(Scale, EdgesAreRoundedSoNeighboursKeepTheirGapsAndOverlaps) {
  struct Case { int dpi; Rect in, out; };
  const Case cases[] = {
      {96, {14, 47, 506, 48}, {14, 47, 506, 48}},
      {120, {14, 47, 506, 48}, {18, 59, 632, 60}},    // 17.5 -> 18, 520 * 1.25 = 650
      {144, {413, 153, 104, 32}, {620, 230, 156, 48}},  // 619.5 -> 620, right 517 * 1.5 = 775.5 -> 776
      {168, {10, -1, 176, 28}, {18, -2, 308, 49}},    // 17.5 -> 18, -1.75 -> -2, 186 * 1.75 = 325.5 -> 326
      {192, {26, 156, 104, 32}, {52, 312, 208, 64}},
      {0, {1, 2, 3, 4}, {1, 2, 3, 4}},                // no reading: 100 %
  };
  for (const Case& c : cases) EXPECT_EQ(ScaleRect(c.in, c.dpi), c.out) << c.dpi;

  // 单选框1 ends where 单选框2 begins less 10 pixels of overlap; the overlap scales, it never opens a gap.
  for (int dpi : {96, 120, 144, 168, 192}) {
    const Rect a = ScaleRect({26, 156, 104, 32}, dpi), b = ScaleRect({120, 156, 104, 32}, dpi);
    EXPECT_EQ(a.left + a.width - b.left, ScaleLength(130, dpi) - ScaleLength(120, dpi)) << dpi;
  }
}

TEST(Scale, WindowHeightsFontsAndTheWayBack) {
  struct Case { int dpi, collapsed, expanded, font35, font21; };
  const Case cases[] = {{96, 470, 635, 35, 21}, {120, 588, 794, 44, 26}, {144, 705, 953, 53, 32},
                        {168, 823, 1111, 61, 37}, {192, 940, 1270, 70, 42}};
  for (const Case& c : cases) {
    EXPECT_EQ(CollapsedHeight(c.dpi), c.collapsed);
    EXPECT_EQ(ExpandedHeight(c.dpi), c.expanded);
    EXPECT_EQ(ScaleFontHeight(35, c.dpi), c.font35);
    EXPECT_EQ(ScaleFontHeight(21, c.dpi), c.font21);
    EXPECT_EQ(UnscaleLength(CollapsedHeight(c.dpi), c.dpi), 470);
    EXPECT_EQ(UnscaleLength(ExpandedHeight(c.dpi), c.dpi), 635);
  }
  EXPECT_EQ(ScaleFontHeight(1, 48), 1);  // a font never vanishes
}

// The client part of the window scales; a frame that the system draws 34 high at 144 DPI
// instead of 36 leaves the client area exactly 1.5 times its 96-DPI height.
TEST(Scale, OuterLengthsScaleTheClientPartAndKeepTheSystemFrame) {
  EXPECT_EQ(ScaleOuterLength(470, 24, 34, 144), 669 + 34);
  EXPECT_EQ(ScaleOuterLength(470, 24, 24, 96), 470);
  for (int dpi : {96, 120, 144, 168, 192}) {
    for (int outer : {470, 540, 635}) {
      EXPECT_EQ(UnscaleOuterLength(ScaleOuterLength(outer, 30, 30 * dpi / 96 - 1, dpi), 30, 30 * dpi / 96 - 1, dpi), outer);
    }
  }
}

}  // namespace
}  // namespace tolvane::ui
