#pragma once
// The editing rules of a date-time picker, apart from any window system: the
// display format split into fields and literal text, the selected field (by
// click or left/right), digits typed into it, and up/down stepping with
// wrap-around inside the field, as the Windows picker behaves.
#include <string>
#include <string_view>
#include <vector>

#include "platform/datetime/datetime.h"

namespace tolvane::ui {

enum class DateField { Year, Month, Day, Hour, Minute, Second };

class DateFieldEditor {
 public:
  // One piece of the shown text: a field, or literal text between fields (GBK).
  struct Segment {
    std::string text;
    bool isField = false;
    DateField field = DateField::Year;
  };

  DateFieldEditor();
  // Format letters: yyyy/yy, MM/M, dd/d, HH/H, mm/m, ss/s; anything else is
  // literal, and text in single quotes is always literal.
  void SetFormat(std::string_view gbkFormat);
  void SetValue(DateTime value);
  DateTime Value() const { return value_; }

  std::vector<Segment> Segments() const;
  std::string Text() const;
  // The index in Segments() of the selected field.
  int SelectedSegment() const { return selected_; }

  // A click on a segment: a field is selected; literal text selects the field before it.
  void SelectSegment(int index);
  void SelectNext();
  void SelectPrevious();
  // Up (+1) or down (-1): the selected field steps and wraps within its range;
  // no other field changes, except that a day past the new month's end is cut back.
  // True when the value changed.
  bool Step(int direction);
  // A digit typed into the selected field; true when the value changed.
  bool TypeDigit(int digit);

 private:
  struct Token {
    std::string literal;
    bool isField;
    DateField field;
    int width;  // 1: as few digits as needed; 2 or 4: padded
  };
  int FieldValue(DateField field) const;
  bool SetField(DateField field, int value);
  const Token* SelectedToken() const;

  std::vector<Token> tokens_;
  DateTime value_ = 0.0;
  int selected_ = -1;
  int typed_ = 0;        // digits typed into the selected field so far
  int typedValue_ = 0;
};

}  // namespace tolvane::ui
