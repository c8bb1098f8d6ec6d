#pragma once
// The main window as data: the window itself and every control, in creation order.
// Both hosts build the window from this table; the rest of the program reaches a
// control only by its name.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tolvane::ui {

enum class ControlType { Window, Label, Button, CheckBox, RadioBox, EditBox, DatePicker, GroupBox, Timer, FileDialog, Menu, MenuItem };

struct Colour {
  std::uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const Colour&) const = default;
};

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

enum class Align { Left, Centre };

struct FontDef {
  const char* face = nullptr;  // nullptr: the system's default GUI font
  int height = 0;              // glyph height in pixels (a negative LOGFONT height)
  int weight = 700;
  int charset = 134;           // GB2312
};

struct SpinRange {
  int low = 0, high = 0;
};

struct ControlDef {
  const char* name;
  ControlType type;
  const char* parent;  // "" for the window itself and its direct children
  Rect rect;           // relative to the parent's client area (group box: its top-left)
  const char* text;    // caption or content, GBK
  FontDef font;
  Colour textColour;
  std::optional<Colour> background;  // none: the system's button-face colour
  bool visible = true;
  bool disabled = false;
  bool checked = false;
  bool sunkenBorder = false;
  Align align = Align::Left;
  bool readOnly = false;
  std::optional<SpinRange> spin;  // whole-number entry with an up-down control
};

struct WindowDef {
  const char* name;  // the window's name for property access
  const char* title;
  Rect rect;         // outer size; left and top are not used (the window is centred)
  bool visible;
};

inline constexpr std::string_view kWindowName = "窗口1";
inline constexpr std::string_view kMenuName = "菜单";

const WindowDef& MainWindow();
// Every control in creation order, menu items last (children of 菜单, separators named "-").
std::span<const ControlDef> MainWindowControls();
const ControlDef* FindControl(std::string_view name);
// False when the table cannot be used: a name given twice or a parent that does not exist.
bool DefinitionIsUsable(std::span<const ControlDef> controls);

// The Win32 control id of a control: 1000 + its index in MainWindowControls().
int ControlId(std::string_view name);
// The control's rectangle in the window's client coordinates (group box offsets applied).
Rect ClientRect(const ControlDef& control);

inline constexpr int kFirstControlId = 1000;
inline constexpr int kCollapsedHeight = 470;
inline constexpr int kExpandedHeight = 635;

}  // namespace tolvane::ui
