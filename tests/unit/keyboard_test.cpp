// Keyboard navigation in layout order, and the names screen readers are given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/accessibility.h"
#include "ui/keyboard.h"

namespace tolvane::ui {
namespace {

// The window as it starts: every control that takes the focus, with its rectangle from
// the definition; the reminder panel (below 446) is cut off and the disabled ones left out.
std::vector<FocusCandidate> Startup() {
  std::vector<FocusCandidate> out;
  for (const ControlDef& def : MainWindowControls()) {
    const Rect r = ClientRect(def);
    if (!TakesFocus(def) || !def.visible || def.disabled || r.top + r.height > 446) continue;
    const bool radio = def.type == ControlType::RadioBox;
    out.push_back({def.name, r, radio ? (*def.parent ? std::string_view(def.parent) : kWindowName) : "", def.checked});
  }
  return out;
}

std::string Joined(const std::vector<std::string_view>& names) {
  std::string out;
  for (auto n : names) out += std::string(n) + " ";
  return out;
}

TEST(Keyboard, TabFollowsRowsThenColumnsWithOneStopPerRadioGroup) {
  const auto candidates = Startup();
  EXPECT_EQ(Joined(TabOrder(candidates)), "选择框3 选择框1 选择框2 单选框1 单选框7 日期框1 按钮1 标签2 ");
  EXPECT_EQ(NextTabStop(candidates, "标签2", true), "选择框3");   // wraps
  EXPECT_EQ(NextTabStop(candidates, "选择框3", false), "标签2");
  EXPECT_EQ(NextTabStop(candidates, "单选框4", true), "单选框7");  // any box of a group stands at its stop
  EXPECT_EQ(NextTabStop(candidates, "编辑框1", true), "选择框3");  // not a stop: start over
}

TEST(Keyboard, ArrowsMoveInsideTheGroupInLayoutOrder) {
  const auto candidates = Startup();
  EXPECT_EQ(NextInRadioGroup(candidates, "单选框7", true), "单选框6");  // 6, 8, 7 from the top, wrapping
  EXPECT_EQ(NextInRadioGroup(candidates, "单选框6", true), "单选框8");
  EXPECT_EQ(NextInRadioGroup(candidates, "单选框6", false), "单选框7");
  EXPECT_EQ(NextInRadioGroup(candidates, "单选框5", true), "单选框3");  // 4 sits 3 pixels higher, same row
  EXPECT_EQ(NextInRadioGroup(candidates, "单选框4", true), "单选框1");
  EXPECT_EQ(NextInRadioGroup(candidates, "按钮1", true), "按钮1");
}

TEST(Accessibility, CaptionlessModeBoxesAreNamedFromTheirRows) {
  EXPECT_EQ(AccessibleName("单选框6"), "设定关机日期时间");
  EXPECT_EQ(AccessibleName("单选框8"), "鼠标键盘空闲时间");
  EXPECT_EQ(AccessibleName("单选框7"), "日期时间");
  EXPECT_EQ(AccessibleName("单选框1"), "");  // its caption serves
  EXPECT_TRUE(ReportsTextAsValue("标签2") && ReportsTextAsValue("标签3") && !ReportsTextAsValue("标签1"));
}

}  // namespace
}  // namespace tolvane::ui
