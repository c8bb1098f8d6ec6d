#include "ui/window_definition.h"

#include <array>
#include <cstring>

namespace tolvane::ui {
namespace {

constexpr const char* kHeiti = "黑体";
constexpr FontDef Heiti(int height) { return FontDef{kHeiti, height, 700, 134}; }
constexpr FontDef kDefaultFont{};
constexpr Colour kBlack{0, 0, 0};
constexpr Colour kBlue{0, 0, 255};
constexpr Colour kRed{255, 0, 0};
constexpr Colour kWhite{255, 255, 255};

using T = ControlType;

// Columns: name, type, parent, rectangle, text, font, text colour, background,
// visible, disabled, checked, sunken border, alignment, read-only, spin range.
const std::array kControls = {
    ControlDef{"标签1", T::Label, "", {14, 4, 242, 48}, "现在日期时间：", Heiti(35), kBlack, {}, true, false, false, false, Align::Centre},
    ControlDef{"选择框3", T::CheckBox, "", {341, 9, 176, 32}, "显示自定义", Heiti(29), kBlack},
    ControlDef{"标签3", T::Label, "", {14, 47, 506, 48}, "2013年03月13日 00:00:00", Heiti(32), kBlue, kWhite, true, false, false, true, Align::Centre},
    ControlDef{"编辑框1", T::EditBox, "", {131, 55, 248, 24}, "", Heiti(24), kBlack, kWhite, false, false, false, true},
    ControlDef{"分组框2", T::GroupBox, "", {14, 97, 506, 101}, "", kDefaultFont, kBlack},
    ControlDef{"选择框1", T::CheckBox, "", {76, 114, 172, 32}, "强制执行", Heiti(35), {0, 136, 255}, {}, true, false, true},
    ControlDef{"选择框2", T::CheckBox, "", {292, 114, 172, 32}, "立即执行", Heiti(35), {255, 128, 0}},
    ControlDef{"单选框1", T::RadioBox, "", {26, 156, 104, 32}, "关机", Heiti(35), kBlue, {}, true, false, true},
    ControlDef{"单选框2", T::RadioBox, "", {120, 156, 104, 32}, "重启", Heiti(35), kBlue},
    ControlDef{"单选框5", T::RadioBox, "", {216, 156, 101, 32}, "注销", Heiti(35), kBlue},
    ControlDef{"单选框3", T::RadioBox, "", {316, 156, 104, 32}, "待机", Heiti(35), kBlue},
    ControlDef{"单选框4", T::RadioBox, "", {413, 153, 104, 32}, "休眠", Heiti(35), kBlue},
    ControlDef{"分组框1", T::GroupBox, "", {14, 208, 506, 216}, "", kDefaultFont, kBlack},
    ControlDef{"标签5", T::Label, "", {16, 220, 272, 48}, "设定关机日期时间", Heiti(32), kRed, {}, true, false, false, false, Align::Centre},
    ControlDef{"日期框1", T::DatePicker, "", {24, 320, 472, 48}, "", Heiti(32), kBlack, kWhite, true, false, false, true},
    ControlDef{"按钮1", T::Button, "", {17, 377, 87, 40}, "启 动", Heiti(29), kBlack},
    ControlDef{"按钮2", T::Button, "", {430, 377, 87, 40}, "取 消", Heiti(29), kBlack, {}, true, true},
    ControlDef{"时钟1", T::Timer, "", {24, 120, 0, 0}, "", kDefaultFont, kBlack, {}, false},
    ControlDef{"分组框3", T::GroupBox, "", {14, 446, 506, 152}, "", kDefaultFont, kBlack},
    // Inside 分组框1 (its top-left is 14, 208 in the window).
    ControlDef{"日期框2", T::DatePicker, "分组框1", {275, 17, 207, 38}, "", Heiti(35), kBlack, kWhite, true, true, false, true},
    ControlDef{"单选框6", T::RadioBox, "分组框1", {487, 23, 16, 24}, "", kDefaultFont, kBlack},
    ControlDef{"标签8", T::Label, "分组框1", {6, 65, 260, 32}, "鼠标键盘空闲时间", Heiti(32), kRed},
    ControlDef{"日期框3", T::DatePicker, "分组框1", {275, 65, 207, 38}, "", Heiti(35), kBlack, kWhite, true, true, false, true},
    ControlDef{"单选框8", T::RadioBox, "分组框1", {487, 72, 16, 24}, "", kDefaultFont, kBlack},
    ControlDef{"单选框7", T::RadioBox, "分组框1", {487, 123, 16, 24}, "", kDefaultFont, kBlack, {}, true, false, true},
    ControlDef{"标签2", T::Label, "分组框1", {89, 169, 327, 40}, "倒计时牌", Heiti(35), kRed, kWhite, true, false, false, true, Align::Centre},
    ControlDef{"时钟3", T::Timer, "分组框1", {330, 176, 0, 0}, "", kDefaultFont, kBlack, {}, false},
    ControlDef{"时钟2", T::Timer, "分组框1", {378, 176, 0, 0}, "", kDefaultFont, kBlack, {}, false},
    // Inside 分组框3, the reminder panel (its top-left is 14, 446 in the window).
    ControlDef{"选择框4", T::CheckBox, "分组框3", {10, -1, 176, 28}, "启用自定义", Heiti(29), kBlue},
    ControlDef{"标签4", T::Label, "分组框3", {8, 30, 488, 32}, "剩余      分钟时,每隔      秒", Heiti(32), kBlack},
    ControlDef{"编辑框2", T::EditBox, "分组框3", {74, 26, 88, 40}, "0", Heiti(29), kBlack, kWhite, true, false, false, true, Align::Centre, false, SpinRange{0, 1440}},
    ControlDef{"编辑框3", T::EditBox, "分组框3", {362, 26, 80, 40}, "0", Heiti(29), kBlack, kWhite, true, false, false, true, Align::Centre, false, SpinRange{0, 3600}},
    ControlDef{"标签6", T::Label, "分组框3", {8, 73, 160, 32}, "提醒一次。", Heiti(32), kBlack},
    ControlDef{"标签7", T::Label, "分组框3", {6, 112, 200, 32}, "自定义提示音", Heiti(32), kBlack},
    ControlDef{"编辑框4", T::EditBox, "分组框3", {206, 108, 172, 40}, "声音文件", Heiti(24), kBlack, kWhite, true, false, false, true, Align::Left, true},
    ControlDef{"通用对话框1", T::FileDialog, "分组框3", {338, 114, 0, 0}, "", kDefaultFont, kBlack, {}, false},
    ControlDef{"按钮4", T::Button, "分组框3", {378, 108, 32, 40}, "u", FontDef{"Wingdings 3", 21, 400, 2}, kBlack},
    ControlDef{"按钮3", T::Button, "分组框3", {410, 108, 90, 40}, "浏 览", Heiti(29), kBlack},
    // The tray popup: an invisible top-level menu and its items.
    ControlDef{"菜单", T::Menu, "", {}, "", kDefaultFont, kBlack, {}, false},
    ControlDef{"显示窗口", T::MenuItem, "菜单", {}, "显示窗口", kDefaultFont, kBlack, {}, true, true},
    ControlDef{"-", T::MenuItem, "菜单", {}, "-", kDefaultFont, kBlack},
    ControlDef{"立即执行", T::MenuItem, "菜单", {}, "立即执行", kDefaultFont, kBlack},
    ControlDef{"取消执行", T::MenuItem, "菜单", {}, "取消执行", kDefaultFont, kBlack, {}, true, true},
    ControlDef{"-", T::MenuItem, "菜单", {}, "-", kDefaultFont, kBlack},
    ControlDef{"退出程序", T::MenuItem, "菜单", {}, "退出程序", kDefaultFont, kBlack},
};

const WindowDef kWindow{"窗口1", "Tolvane", {50, 50, 540, 645}, true};

}  // namespace

const WindowDef& MainWindow() { return kWindow; }

std::span<const ControlDef> MainWindowControls() { return kControls; }

const ControlDef* FindControl(std::string_view name) {
  for (const auto& control : kControls) {
    if (name == control.name && name != "-") return &control;
  }
  return nullptr;
}

bool DefinitionIsUsable(std::span<const ControlDef> controls) {
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const std::string_view name = controls[i].name;
    if (name.empty()) return false;
    if (name != "-") {
      for (std::size_t j = i + 1; j < controls.size(); ++j) {
        if (name == controls[j].name) return false;
      }
    }
    const std::string_view parent = controls[i].parent;
    if (parent.empty()) continue;
    bool found = false;
    for (const auto& other : controls) found = found || parent == other.name;
    if (!found) return false;
  }
  return true;
}

int ControlId(std::string_view name) {
  for (std::size_t i = 0; i < kControls.size(); ++i) {
    if (name == kControls[i].name) return kFirstControlId + static_cast<int>(i);
  }
  return 0;
}

Rect ClientRect(const ControlDef& control) {
  Rect r = control.rect;
  if (control.parent[0] != '\0') {
    if (const ControlDef* parent = FindControl(control.parent); parent && parent->type == ControlType::GroupBox) {
      r.left += parent->rect.left;
      r.top += parent->rect.top;
    }
  }
  return r;
}

}  // namespace tolvane::ui
