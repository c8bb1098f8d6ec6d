#include <gtest/gtest.h>

#include "ui/date_fields.h"

namespace tolvane::ui {
namespace {

DateTime At(int y, int mo, int d, int h, int mi, int s) { return *BuildDateTime(y, mo, d, h, mi, s); }

DateFieldEditor Editor(const char* format, DateTime value) {
  DateFieldEditor editor;
  editor.SetFormat(format);
  editor.SetValue(value);
  return editor;
}

// Selects the n-th field (0 = the first) by moving right from the first.
void SelectField(DateFieldEditor& editor, int n) {
  for (int i = 0; i < 8; ++i) editor.SelectPrevious();
  for (int i = 0; i < n; ++i) editor.SelectNext();
}

TEST(DateFieldEditor, ShowsTheThreeFormatsAndKeepsTwoByteCharactersLiteral) {
  EXPECT_EQ(Editor("yyyy年MM月dd日  HH:mm:ss", At(2024, 2, 9, 13, 5, 7)).Text(), "2024年02月09日  13:05:07");
  EXPECT_EQ(Editor("HH:mm:ss", At(2024, 2, 9, 3, 5, 7)).Text(), "03:05:07");
  EXPECT_EQ(Editor("yyyy-M-d", At(2024, 2, 9, 3, 5, 7)).Text(), "2024-2-9");
  // A GBK character whose trail byte reads as a format letter stays text.
  EXPECT_EQ(Editor("\x81\x6dss", At(2024, 2, 9, 3, 5, 7)).Text(), "\x81\x6d" "07");
}

TEST(DateFieldEditor, SelectionByClickAndArrows) {
  DateFieldEditor editor = Editor("yyyy年MM月dd日  HH:mm:ss", At(2024, 2, 9, 13, 5, 7));
  const auto segments = editor.Segments();
  ASSERT_EQ(segments.size(), 11u);
  EXPECT_EQ(editor.SelectedSegment(), 0);  // the first field to begin with
  editor.SelectSegment(3);                 // "月" selects the month before it
  EXPECT_EQ(editor.SelectedSegment(), 2);
  editor.SelectSegment(10);
  EXPECT_EQ(editor.SelectedSegment(), 10);
  editor.SelectNext();  // no field after the last
  EXPECT_EQ(editor.SelectedSegment(), 10);
  editor.SelectPrevious();
  EXPECT_EQ(editor.SelectedSegment(), 8);
  DateFieldEditor quoted = Editor("'at 'HH", At(2024, 2, 9, 13, 5, 7));
  quoted.SelectSegment(0);  // literal text before the first field selects that field
  EXPECT_EQ(quoted.SelectedSegment(), 1);
  EXPECT_EQ(quoted.Text(), "at 13");
}

TEST(DateFieldEditor, UpAndDownWrapInsideTheFieldOnly) {
  const struct {
    DateTime start;
    int field, direction;
    DateTime expected;
  } cases[] = {
      {At(2024, 2, 9, 13, 5, 59), 5, 1, At(2024, 2, 9, 13, 5, 0)},   // no carry into the minutes
      {At(2024, 2, 9, 0, 5, 7), 3, -1, At(2024, 2, 9, 23, 5, 7)},
      {At(2024, 2, 29, 13, 5, 7), 2, 1, At(2024, 2, 1, 13, 5, 7)},   // the month's own last day
      {At(2024, 1, 31, 13, 5, 7), 1, 1, At(2024, 2, 29, 13, 5, 7)},  // a day past the month's end is cut back
      {At(2024, 12, 9, 13, 5, 7), 1, 1, At(2024, 1, 9, 13, 5, 7)},
      {At(2024, 2, 29, 13, 5, 7), 0, 1, At(2025, 2, 28, 13, 5, 7)},
      {At(9999, 2, 9, 13, 5, 7), 0, 1, At(100, 2, 9, 13, 5, 7)},
  };
  for (const auto& c : cases) {
    DateFieldEditor editor = Editor("yyyy-MM-dd HH:mm:ss", c.start);
    SelectField(editor, c.field);
    EXPECT_TRUE(editor.Step(c.direction));
    EXPECT_EQ(editor.Value(), c.expected) << editor.Text();
  }
}

TEST(DateFieldEditor, TypedDigitsFillTheSelectedField) {
  DateFieldEditor editor = Editor("HH:mm:ss", At(2024, 2, 9, 0, 0, 0));
  SelectField(editor, 0);
  for (int digit : {1, 5}) editor.TypeDigit(digit);
  EXPECT_EQ(editor.Text(), "15:00:00");
  editor.TypeDigit(7);  // a third digit starts the field afresh
  EXPECT_EQ(editor.Text(), "07:00:00");
  editor.TypeDigit(9);  // 79 is no hour: the 9 starts afresh
  EXPECT_EQ(editor.Text(), "09:00:00");
  editor.SelectNext();
  editor.SelectNext();
  editor.TypeDigit(6);
  EXPECT_EQ(editor.Text(), "09:00:06");

  DateFieldEditor date = Editor("yyyy-MM-dd", At(2024, 2, 9, 0, 0, 0));
  SelectField(date, 0);
  for (int digit : {2, 0}) EXPECT_FALSE(date.TypeDigit(digit));  // no year below 100: still typing
  EXPECT_TRUE(date.TypeDigit(3));
  EXPECT_EQ(date.Text(), "0203-02-09");
  date.TypeDigit(1);
  EXPECT_EQ(date.Text(), "2031-02-09");
  date.SelectNext();
  date.SelectNext();
  EXPECT_FALSE(date.TypeDigit(0));  // day 0 waits for the next digit
  EXPECT_TRUE(date.TypeDigit(3));
  EXPECT_EQ(date.Text(), "2031-02-03");
  date.TypeDigit(3);
  EXPECT_FALSE(date.TypeDigit(0));  // 30 February: refused, nothing changes
  EXPECT_EQ(date.Text(), "2031-02-03");
}

}  // namespace
}  // namespace tolvane::ui
