#pragma once
// What a screen reader is told about controls whose own text does not say what they are.
#include <string>
#include <string_view>

namespace tolvane::ui {

// The accessible name (GBK) of a control that has no caption of its own; empty when
// the control's own text serves. The mode radio boxes take the label of their row.
std::string AccessibleName(std::string_view control);

// Labels whose changing text is their content (the clock, the countdown board): the
// text is reported as their name and their value.
bool ReportsTextAsValue(std::string_view control);

}  // namespace tolvane::ui
