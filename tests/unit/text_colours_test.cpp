// Which colours texts are painted in on the faces systems draw.
#include <gtest/gtest.h>

#include <set>

#include "app/program.h"
#include "ui/text_colours.h"

namespace tolvane::ui {
namespace {

constexpr Colour kBlack{0, 0, 0}, kWhite{255, 255, 255}, kBlue{0, 0, 255}, kRed{255, 0, 0};
constexpr Colour kSkyBlue{0, 136, 255}, kOrange{255, 128, 0}, kGrey{128, 128, 128};

TEST(TextColours, ContrastRatioIsWcags) {
  EXPECT_NEAR(ContrastRatio(kBlack, kWhite), 21.0, 1e-9);
  EXPECT_NEAR(ContrastRatio(kWhite, kBlack), 21.0, 1e-9);
  EXPECT_NEAR(ContrastRatio(kOrange, kOrange), 1.0, 1e-9);
  EXPECT_NEAR(ContrastRatio(kBlue, kBlack), 2.44, 0.01);  // the pure blue on a black contrast theme
  EXPECT_NEAR(ContrastRatio(kGrey, kWhite), 3.95, 0.01);
}

// Every text colour the window shows, on the faces of the systems it meets: the light
// ones (Windows 7 and later, XP's Luna, the classic scheme, light Adwaita) keep the layout
// exactly; on black, dark Adwaita grey and a mid grey the colours that vanish there give way.
TEST(TextColours, LayoutColoursKeptOnLightFacesReplacedWhereTheyVanish) {
  const Colour faces[] = {{240, 240, 240}, {236, 233, 216}, {212, 208, 200}, {246, 245, 244}, kWhite, kBlack, {53, 53, 53}, kGrey};
  struct Row {
    Colour colour;
    bool keptOn[std::size(faces)];
  };
  const Row rows[] = {
      //            grey240 luna  classic adwaita white black  darkgrey midgrey
      {kBlack, {true, true, true, true, true, false, false, true}},
      {kBlue, {true, true, true, true, true, false, false, false}},
      {kRed, {true, true, true, true, true, true, true, false}},
      {kSkyBlue, {true, true, true, true, true, true, true, false}},
      {kOrange, {true, true, true, true, true, true, true, false}},
      {tolvane::kRunningLabelColour, {true, true, true, true, true, true, true, false}},
  };
  // The table covers every colour the layout gives an enabled text.
  std::set<std::tuple<int, int, int>> inTable;
  for (const Row& row : rows) inTable.insert({row.colour.red, row.colour.green, row.colour.blue});
  for (const ControlDef& c : MainWindowControls()) {
    EXPECT_TRUE(inTable.count({c.textColour.red, c.textColour.green, c.textColour.blue})) << c.name;
  }
  SystemColours system;
  system.faceText = kWhite;  // what a dark theme draws its own texts in
  for (const Row& row : rows) {
    for (std::size_t f = 0; f < std::size(faces); ++f) {
      system.face = faces[f];
      const TextPaint paint = PaintText(row.colour, std::nullopt, false, system);
      EXPECT_EQ(paint.background, faces[f]);
      if (row.keptOn[f]) {
        EXPECT_EQ(paint.text, row.colour) << "colour " << +row.colour.red << "," << +row.colour.green << "," << +row.colour.blue << " face " << f;
      } else {
        EXPECT_EQ(paint.text, kWhite) << "colour " << +row.colour.red << "," << +row.colour.green << "," << +row.colour.blue << " face " << f;
        EXPECT_GE(ContrastRatio(paint.text, faces[f]), 3.0);
      }
    }
  }
}

TEST(TextColours, FieldsTheLayoutFillsKeepTheirColoursUnlessHighContrast) {
  SystemColours dark{{0, 0, 0}, kWhite, {0, 0, 0}, kWhite, {0, 255, 0}, false};
  // The clock on its own white field reads whatever the face: the layout's blue stays.
  EXPECT_EQ(PaintText(kBlue, kWhite, false, dark), (TextPaint{kBlue, kWhite}));
  // A colour that would not read on its own field takes a text colour that does, even
  // where the theme's own field text is white too.
  EXPECT_EQ(PaintText({250, 250, 250}, kWhite, false, dark), (TextPaint{kBlack, kWhite}));
  // In a high-contrast mode the system's colours hold everywhere: fields, face, disabled.
  dark.highContrast = true;
  dark.field = {0, 0, 128};
  EXPECT_EQ(PaintText(kBlue, kWhite, false, dark), (TextPaint{kWhite, {0, 0, 128}}));
  EXPECT_EQ(PaintText(kRed, std::nullopt, false, dark), (TextPaint{kWhite, {0, 0, 0}}));
  EXPECT_EQ(PaintText(kRed, std::nullopt, true, dark), (TextPaint{{0, 255, 0}, {0, 0, 0}}));
  // A light high-contrast theme too: its black text, not the layout's red.
  const SystemColours light{kWhite, kBlack, kWhite, kBlack, {96, 0, 0}, true};
  EXPECT_EQ(PaintText(kRed, std::nullopt, false, light), (TextPaint{kBlack, kWhite}));
}

TEST(TextColours, DisabledTextsKeepTheSystemsDisabledColour) {
  const SystemColours system{};
  EXPECT_EQ(PaintText(kBlue, std::nullopt, true, system).text, system.disabledText);
  EXPECT_EQ(PaintText(kRed, kWhite, true, system), (TextPaint{system.disabledText, kWhite}));
}

}  // namespace
}  // namespace tolvane::ui
