#include "ui/accessibility.h"

#include "ui/window_definition.h"

namespace tolvane::ui {
namespace {
std::string TextOf(std::string_view control) {
  const ControlDef* def = FindControl(control);
  return def != nullptr && def->text != nullptr ? def->text : "";
}
}  // namespace

std::string AccessibleName(std::string_view control) {
  if (control == "单选框6") return TextOf("标签5");  // the countdown row
  if (control == "单选框8") return TextOf("标签8");  // the idle row
  if (control == "单选框7") {
    // The date-time row has no label: its picker shows a date and time, as the clock
    // label's caption says ("现在日期时间：" without "现在" and the colon).
    const std::string clock = TextOf("标签1");
    const std::string now = "现在", colon = "：";
    if (clock.size() > now.size() + colon.size() && clock.starts_with(now) && clock.ends_with(colon)) {
      return clock.substr(now.size(), clock.size() - now.size() - colon.size());
    }
    return clock;
  }
  return {};
}

bool ReportsTextAsValue(std::string_view control) { return control == "标签2" || control == "标签3"; }

}  // namespace tolvane::ui
