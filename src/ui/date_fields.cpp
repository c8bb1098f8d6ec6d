#include "ui/date_fields.h"

#include <algorithm>

#include "platform/text/gbk.h"

namespace tolvane::ui {
namespace {
struct Range {
  int low, high;
};

int MaxDigits(DateField field) { return field == DateField::Year ? 4 : 2; }

std::string Padded(int value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}
}  // namespace

DateFieldEditor::DateFieldEditor() {
  SetFormat("yyyy-MM-dd");
  value_ = *BuildDateTime(2000, 1, 1, 0, 0, 0);
}

void DateFieldEditor::SetFormat(std::string_view format) {
  tokens_.clear();
  auto literal = [this](std::string_view text) {
    if (tokens_.empty() || tokens_.back().isField) tokens_.push_back({"", false, DateField::Year, 0});
    tokens_.back().literal += text;
  };
  for (std::size_t i = 0; i < format.size();) {
    if (GbkCharLength(format, i) == 2) {
      // A two-byte character: its trail byte may look like a format letter.
      literal(format.substr(i, 2));
      i += 2;
      continue;
    }
    if (format[i] == '\'') {
      const std::size_t end = format.find('\'', i + 1);
      const std::size_t stop = end == std::string_view::npos ? format.size() : end;
      literal(format.substr(i + 1, stop - i - 1));
      i = stop == format.size() ? stop : stop + 1;
      continue;
    }
    std::size_t run = 1;
    while (i + run < format.size() && format[i + run] == format[i]) ++run;
    DateField field;
    switch (format[i]) {
      case 'y': field = DateField::Year; break;
      case 'M': field = DateField::Month; break;
      case 'd': field = DateField::Day; break;
      case 'H': case 'h': field = DateField::Hour; break;
      case 'm': field = DateField::Minute; break;
      case 's': field = DateField::Second; break;
      default:
        literal(format.substr(i, run));
        i += run;
        continue;
    }
    const int width = field == DateField::Year ? (run >= 3 ? 4 : 2) : (run >= 2 ? 2 : 1);
    tokens_.push_back({"", true, field, width});
    i += run;
  }
  selected_ = -1;
  SelectNext();
}

void DateFieldEditor::SetValue(DateTime value) {
  value_ = value;
  typed_ = 0;
}

int DateFieldEditor::FieldValue(DateField field) const {
  const DateTimeParts p = SplitDateTime(value_);
  switch (field) {
    case DateField::Year: return p.year;
    case DateField::Month: return p.month;
    case DateField::Day: return p.day;
    case DateField::Hour: return p.hour;
    case DateField::Minute: return p.minute;
    case DateField::Second: return p.second;
  }
  return 0;
}

bool DateFieldEditor::SetField(DateField field, int value) {
  DateTimeParts p = SplitDateTime(value_);
  switch (field) {
    case DateField::Year: p.year = value; break;
    case DateField::Month: p.month = value; break;
    case DateField::Day: p.day = value; break;
    case DateField::Hour: p.hour = value; break;
    case DateField::Minute: p.minute = value; break;
    case DateField::Second: p.second = value; break;
  }
  if (p.year >= 100 && p.year <= 9999 && p.month >= 1 && p.month <= 12) p.day = std::min(p.day, DaysInMonth(p.year, p.month));
  const auto built = BuildDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second);
  if (!built || *built == value_) return false;
  value_ = *built;
  return true;
}

std::vector<DateFieldEditor::Segment> DateFieldEditor::Segments() const {
  std::vector<Segment> segments;
  for (const Token& token : tokens_) {
    if (!token.isField) {
      segments.push_back({token.literal, false, DateField::Year});
      continue;
    }
    int value = FieldValue(token.field);
    if (token.field == DateField::Year && token.width == 2) value %= 100;
    segments.push_back({Padded(value, token.width), true, token.field});
  }
  return segments;
}

std::string DateFieldEditor::Text() const {
  std::string text;
  for (const Segment& segment : Segments()) text += segment.text;
  return text;
}

const DateFieldEditor::Token* DateFieldEditor::SelectedToken() const {
  if (selected_ < 0 || selected_ >= static_cast<int>(tokens_.size())) return nullptr;
  return &tokens_[static_cast<std::size_t>(selected_)];
}

void DateFieldEditor::SelectSegment(int index) {
  if (index < 0 || index >= static_cast<int>(tokens_.size())) return;
  int chosen = index;
  while (chosen >= 0 && !tokens_[static_cast<std::size_t>(chosen)].isField) --chosen;
  if (chosen < 0) {
    // Literal text before the first field selects that field.
    chosen = index;
    while (chosen < static_cast<int>(tokens_.size()) && !tokens_[static_cast<std::size_t>(chosen)].isField) ++chosen;
    if (chosen == static_cast<int>(tokens_.size())) return;
  }
  selected_ = chosen;
  typed_ = 0;
}

void DateFieldEditor::SelectNext() {
  for (int i = selected_ + 1; i < static_cast<int>(tokens_.size()); ++i) {
    if (tokens_[static_cast<std::size_t>(i)].isField) {
      selected_ = i;
      break;
    }
  }
  typed_ = 0;
}

void DateFieldEditor::SelectPrevious() {
  for (int i = selected_ - 1; i >= 0; --i) {
    if (tokens_[static_cast<std::size_t>(i)].isField) {
      selected_ = i;
      break;
    }
  }
  typed_ = 0;
}

bool DateFieldEditor::Step(int direction) {
  const Token* token = SelectedToken();
  if (token == nullptr || direction == 0) return false;
  typed_ = 0;
  const DateTimeParts p = SplitDateTime(value_);
  Range range{0, 59};
  switch (token->field) {
    case DateField::Year: range = {100, 9999}; break;
    case DateField::Month: range = {1, 12}; break;
    case DateField::Day: range = {1, DaysInMonth(p.year, p.month)}; break;
    case DateField::Hour: range = {0, 23}; break;
    default: break;
  }
  int next = FieldValue(token->field) + (direction > 0 ? 1 : -1);
  if (next > range.high) next = range.low;
  if (next < range.low) next = range.high;
  return SetField(token->field, next);
}

bool DateFieldEditor::TypeDigit(int digit) {
  const Token* token = SelectedToken();
  if (token == nullptr || digit < 0 || digit > 9) return false;
  if (typed_ >= MaxDigits(token->field)) typed_ = 0;
  int candidate = typed_ == 0 ? digit : typedValue_ * 10 + digit;
  const int limit = token->field == DateField::Year ? 9999
                    : token->field == DateField::Month ? 12
                    : token->field == DateField::Day ? 31
                    : token->field == DateField::Hour ? 23 : 59;
  if (candidate > limit) {
    // Too large with the earlier digits: this digit starts the field afresh.
    candidate = digit;
    typed_ = 0;
  }
  typedValue_ = candidate;
  ++typed_;
  if (token->field == DateField::Year && candidate < 100) return false;  // still being typed
  if (candidate == 0 && (token->field == DateField::Month || token->field == DateField::Day)) return false;
  if (token->field == DateField::Day) {
    const DateTimeParts p = SplitDateTime(value_);
    if (candidate > DaysInMonth(p.year, p.month)) return false;
  }
  return SetField(token->field, candidate);
}

}  // namespace tolvane::ui
