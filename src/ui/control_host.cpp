#include "ui/control_host.h"

#include <vector>

#include "platform/messages/fatal.h"

namespace tolvane::ui {

ControlHost::ControlHost() {
  if (!DefinitionIsUsable(MainWindowControls())) ReportFatalError("载入窗口模板数据段出错!");
  const WindowDef& def = MainWindow();
  window_.type = ControlType::Window;
  window_.rect = def.rect;
  window_.caption = def.title;
  window_.visible = def.visible;
  for (const ControlDef& control : MainWindowControls()) {
    if (std::string_view(control.name) == "-") continue;  // separators have no properties
    ControlState state;
    state.def = &control;
    state.type = control.type;
    state.rect = control.rect;
    state.visible = control.visible;
    state.disabled = control.disabled;
    state.checked = control.checked;
    state.textColour = control.textColour;
    if (control.type == ControlType::EditBox) {
      state.content = control.text;
    } else {
      state.caption = control.text;
    }
    controls_.emplace(control.name, std::move(state));
  }
}

ControlState& ControlHost::State(std::string_view name) {
  if (!WindowExists()) ReportFatalError("未载入欲访问窗口组件所在的窗口");
  if (name == kWindowName) return window_;
  auto it = controls_.find(name);
  if (it == controls_.end()) ReportFatalError("未载入欲访问窗口组件所在的窗口");
  return it->second;
}

template <typename T>
T ControlHost::Read(std::string_view name, Prop prop, T ControlState::*field) {
  auto& c = State(name);
  Pull(c, prop);
  return c.*field;
}

template <typename T>
void ControlHost::Write(std::string_view name, Prop prop, T ControlState::*field, const T& value) {
  auto& c = State(name);
  c.*field = value;
  Push(c, prop);
}

bool ControlHost::Disabled(std::string_view name) { return Read(name, Prop::Disabled, &ControlState::disabled); }
void ControlHost::SetDisabled(std::string_view name, bool disabled) { Write(name, Prop::Disabled, &ControlState::disabled, disabled); }
bool ControlHost::Visible(std::string_view name) { return Read(name, Prop::Visible, &ControlState::visible); }
void ControlHost::SetVisible(std::string_view name, bool visible) { Write(name, Prop::Visible, &ControlState::visible, visible); }
std::string ControlHost::Tag(std::string_view name) { return State(name).tag; }
void ControlHost::SetTag(std::string_view name, const std::string& tag) { State(name).tag = tag; }
std::string ControlHost::Caption(std::string_view name) { return Read(name, Prop::Caption, &ControlState::caption); }
void ControlHost::SetCaption(std::string_view name, const std::string& caption) {
  Write(name, Prop::Caption, &ControlState::caption, caption);
}
Colour ControlHost::TextColour(std::string_view name) { return State(name).textColour; }
void ControlHost::SetTextColour(std::string_view name, Colour colour) {
  Write(name, Prop::TextColour, &ControlState::textColour, colour);
}
bool ControlHost::Checked(std::string_view name) { return Read(name, Prop::Checked, &ControlState::checked); }
void ControlHost::SetChecked(std::string_view name, bool checked) { Write(name, Prop::Checked, &ControlState::checked, checked); }
std::string ControlHost::Content(std::string_view name) { return Read(name, Prop::Content, &ControlState::content); }
void ControlHost::SetContent(std::string_view name, const std::string& content) {
  Write(name, Prop::Content, &ControlState::content, content);
}
DateTime ControlHost::Value(std::string_view name) { return Read(name, Prop::Value, &ControlState::value); }
void ControlHost::SetValue(std::string_view name, DateTime value) { Write(name, Prop::Value, &ControlState::value, value); }
std::uint32_t MsToNextSecondTick(std::uint32_t msIntoSecond, std::uint32_t lagMs) {
  // Always the next second: a tick that came a little early or late never repeats one.
  return 1000 - msIntoSecond % 1000 + lagMs;
}

std::uint32_t SecondTimerRearmMs(std::uint32_t msIntoSecond, std::uint32_t lagMs, std::uint32_t armedMs) {
  constexpr auto kSecond = static_cast<std::uint32_t>(kSecondInterval);
  if (msIntoSecond % 1000 > lagMs + kSecondTickSlackMs) return MsToNextSecondTick(msIntoSecond, lagMs);
  // On time: from here a period of a second keeps it on time.
  return armedMs == kSecond ? 0 : kSecond;
}

void ControlHost::WallClockChanged() {
  std::vector<std::string> clockTimers;
  for (auto& [name, c] : controls_) {
    if (c.type == ControlType::Timer && FollowsWallClock(c.interval)) clockTimers.push_back(name);
  }
  for (const std::string& name : clockTimers) {
    ControlState& timer = State(name);
    // An earlier tick of this round may have stopped it (a pause, the end of a schedule).
    if (!FollowsWallClock(timer.interval)) continue;
    RestartTimer(timer);
    Raise(name, Event::Tick);
  }
}

std::int32_t ControlHost::Interval(std::string_view name) { return State(name).interval; }
void ControlHost::SetInterval(std::string_view name, std::int32_t interval) {
  auto& c = State(name);
  if (interval < 0) interval = 0;
  // The same value changes nothing: a running timer keeps its phase.
  if (interval == c.interval) return;
  c.interval = interval;
  RestartTimer(c);
}
Rect ControlHost::Rectangle(std::string_view name) {
  auto& c = State(name);
  Pull(c, Prop::Rect);
  return c.rect;
}
void ControlHost::SetHeight(std::string_view name, int height) {
  auto& c = State(name);
  Pull(c, Prop::Rect);
  c.rect.height = height;
  Push(c, Prop::Rect);
}
void ControlHost::SetPickerFormat(std::string_view name, const std::string& format) {
  Write(name, Prop::PickerFormat, &ControlState::pickerFormat, format);
}

int ControlHost::WindowState() {
  auto& w = State(kWindowName);
  Pull(w, Prop::State);
  return w.windowState;
}
void ControlHost::SetWindowState(int state) {
  auto& w = State(kWindowName);
  Pull(w, Prop::Visible);
  if (!w.visible) return;
  w.windowState = state;
  Push(w, Prop::State);
}
bool ControlHost::AlwaysOnTop() { return State(kWindowName).alwaysOnTop; }
void ControlHost::SetAlwaysOnTop(bool onTop) { Write(kWindowName, Prop::AlwaysOnTop, &ControlState::alwaysOnTop, onTop); }
void ControlHost::SetWindowIcon(ByteView iconFile) {
  auto& w = State(kWindowName);
  w.iconFile.assign(iconFile.begin(), iconFile.end());
  Push(w, Prop::Icon);
}

void ControlHost::SetDialogFilter(std::string_view name, const std::string& filter) {
  auto& d = State(name);
  d.filter = filter;
  // The filter is pairs separated by bars and must end in "||".
  if (d.filter.size() < 2 || d.filter.compare(d.filter.size() - 2, 2, "||") != 0) d.filter += "||";
}
void ControlHost::SetDialogInitialDirectory(std::string_view name, const std::string& directory) {
  State(name).initialDirectory = directory;
}
std::string ControlHost::DialogFileName(std::string_view name) { return State(name).fileName; }

void ControlHost::Raise(std::string_view control, Event event, const EventArgs& args) {
  if (sink_ == nullptr) return;
  if (const Binding* binding = FindBinding(control, event)) sink_->Run(binding->operation, binding->argument, args);
}

void ControlHost::UserClickedRadio(std::string_view name) {
  auto& clicked = State(name);
  const std::string_view parent = clicked.def->parent;
  for (auto& [otherName, other] : controls_) {
    if (other.type == ControlType::RadioBox && &other != &clicked && parent == other.def->parent && other.checked) {
      other.checked = false;
      Push(other, Prop::Checked);
    }
  }
  clicked.checked = true;
  Push(clicked, Prop::Checked);
  Raise(name, Event::Clicked);
}

void ControlHost::UserChangedPicker(std::string_view name) {
  if (pickerFilter_.ShouldRaise(TickCount())) {
    pickerFilter_.BeginHandler();
    Raise(name, Event::ValueChanged);
    pickerFilter_.EndHandler();
  }
  pickerFilter_.Record(TickCount());
}

}  // namespace tolvane::ui
