#include "headless/headless_host.h"

#include <algorithm>
#include <cmath>

#include "ui/icon_decode.h"
#include "ui/number_entry.h"

namespace tolvane::headless {

using ui::ControlType;
using ui::Event;
using ui::Prop;

HeadlessHost::HeadlessHost(DateTime start) : startValue_(start) {}

DateTime HeadlessHost::Now() const {
  const std::int64_t seconds = static_cast<std::int64_t>(nowMs_ / 1000) + clockOffsetSeconds_;
  return AddSeconds(startValue_, static_cast<std::int32_t>(seconds));
}

DateTimeParts HeadlessHost::LocalNow() const { return SplitDateTime(Now()); }

void HeadlessHost::SetClock(DateTime value) {
  // Both are present-day values, so their difference in days is linear.
  const std::int64_t wanted = static_cast<std::int64_t>(std::llround((value - startValue_) * 86400.0));
  clockOffsetSeconds_ = wanted - static_cast<std::int64_t>(nowMs_ / 1000);
  WallClockChanged();
  AfterHandler();
}

std::int32_t HeadlessHost::IdleSeconds() {
  return IdleSecondsBetween(static_cast<std::uint32_t>(nowMs_), static_cast<std::uint32_t>(lastInputMs_));
}

// Virtual time starts on a whole second and the clock moves only in whole seconds, so
// the wall clock's second begins at every multiple of 1000 ms. It is read without any
// granularity, so one-second ticks land on the second itself.
std::uint64_t HeadlessHost::PeriodFrom(std::uint64_t atMs, std::int32_t interval) {
  if (ui::FollowsWallClock(interval)) return ui::MsToNextSecondTick(static_cast<std::uint32_t>(atMs % 1000), 0);
  return static_cast<std::uint64_t>(interval);
}

void HeadlessHost::Post(std::uint64_t delayMs, std::function<void()> answer) {
  posted_.emplace(nowMs_ + delayMs, std::move(answer));
}

void HeadlessHost::Advance(std::uint64_t ms) {
  const std::uint64_t target = nowMs_ + ms;
  while (!destroyed_) {
    std::string_view due;
    std::uint64_t dueAt = target + 1;
    for (const auto& [name, at] : nextFire_) {
      if (at <= target && at < dueAt) {
        due = name;
        dueAt = at;
      }
    }
    // An answer due before the next timer runs first.
    if (!posted_.empty() && posted_.begin()->first <= target && posted_.begin()->first < dueAt) {
      nowMs_ = std::max(nowMs_, posted_.begin()->first);
      auto answer = std::move(posted_.begin()->second);
      posted_.erase(posted_.begin());
      answer();
      AfterHandler();
      continue;
    }
    if (due.empty()) break;
    nowMs_ = std::max(nowMs_, dueAt);
    const std::string name(due);
    nextFire_[name] = dueAt + PeriodFrom(dueAt, State(name).interval);
    Raise(name, Event::Tick);
    AfterHandler();
  }
  // A nested loop (a box left open) may already have run past the target.
  nowMs_ = std::max(nowMs_, target);
}

void HeadlessHost::RestartTimer(ui::ControlState& timer) {
  const std::string name(timer.def->name);
  if (timer.interval > 0) {
    nextFire_[name] = nowMs_ + PeriodFrom(nowMs_, timer.interval);
  } else {
    nextFire_.erase(name);
  }
}

void HeadlessHost::Push(ui::ControlState& control, Prop prop) {
  if (control.type != ControlType::Window) return;
  if (prop == Prop::State) {
    const int wanted = control.windowState;
    if (wanted == ui::kStateRestoreCentred) {
      control.windowState = ui::kStateNormal;
      centred_ = true;
    }
    Raise(ui::kWindowName, Event::PositionChanged);
  }
}

void HeadlessHost::Build() {
  Raise(ui::kWindowName, Event::Created);
  AfterHandler();
  if (destroyed_) return;
  Raise(ui::kWindowName, Event::PositionChanged);
  AfterHandler();
}

void HeadlessHost::AfterHandler() {
  if (closePending_ && !destroyed_) {
    closePending_ = false;
    SetTrayIcon({}, "");  // the icon leaves with the window
    destroyed_ = true;
    nextFire_.clear();
  }
}

void HeadlessHost::Click(std::string_view name) {
  auto& control = State(name);
  if (control.disabled || !control.visible) return;
  switch (control.type) {
    case ControlType::RadioBox:
      UserClickedRadio(name);
      break;
    case ControlType::CheckBox:
      control.checked = !control.checked;
      Raise(name, Event::Clicked);
      break;
    default:
      Raise(name, Event::Clicked);
      break;
  }
  AfterHandler();
}

void HeadlessHost::SelectMenuItem(std::string_view name) {
  if (State(name).disabled) return;
  Raise(name, Event::Selected);
  AfterHandler();
}

void HeadlessHost::PressLabel(std::string_view name) {
  Raise(name, Event::LeftButtonDown);
  AfterHandler();
}

void HeadlessHost::DoubleClickLabel(std::string_view name) {
  PressLabel(name);
  if (destroyed_) return;
  Raise(name, Event::LeftDoubleClick);
  AfterHandler();
}

void HeadlessHost::ChangePicker(std::string_view name, DateTime value) {
  auto& picker = State(name);
  if (picker.disabled) return;
  picker.value = value;
  UserChangedPicker(name);
  AfterHandler();
}

void HeadlessHost::TypeText(std::string_view name, std::string_view typed) {
  auto& edit = State(name);
  if (edit.disabled) return;
  for (const char ch : typed) {
    if (ui::AcceptTypedCharacter(static_cast<unsigned char>(ch))) edit.content += ch;
  }
}

void HeadlessHost::LeaveEditBox(std::string_view name) {
  auto& edit = State(name);
  edit.content = ui::NormaliseWholeNumber(edit.content);
}

void HeadlessHost::Spin(std::string_view name, int direction) {
  auto& edit = State(name);
  if (edit.disabled || !edit.visible || !edit.def->spin) return;
  edit.content = ui::SpinWholeNumber(edit.content, *edit.def->spin, direction);
}

void HeadlessHost::RequestClose() {
  Raise(ui::kWindowName, Event::CloseRequest);
  closePending_ = true;
  AfterHandler();
}

void HeadlessHost::Minimise() {
  auto& window = State(ui::kWindowName);
  window.windowState = ui::kStateMinimised;
  Raise(ui::kWindowName, Event::PositionChanged);
  AfterHandler();
}

void HeadlessHost::TrayMouse(int operationType) {
  ui::EventArgs args;
  args.trayOperation = operationType;
  Raise(ui::kWindowName, Event::TrayEvent, args);
  AfterHandler();
}

void HeadlessHost::ShowOpenDialog(std::string_view name) {
  ++dialogOpenings_;
  auto& dialog = State(name);
  if (!dialogAnswers_.empty()) {
    // Cancel keeps the file name of the last accepted choice.
    if (!dialogAnswers_.front().empty()) dialog.fileName = dialogAnswers_.front();
    dialogAnswers_.pop_front();
  }
}

void HeadlessHost::SetTrayIcon(ByteView iconFile, const std::string& tip) { tray_.Set(iconFile, tip); }

ui::TrayBackend::IconHandle HeadlessHost::CreateIcon(ByteView iconFile, int preferredWidth) {
  // The same decoding as on Windows decides whether the bytes hold an icon.
  if (!ui::DecodeIcon(iconFile, preferredWidth)) return nullptr;
  ++liveIcons_;
  return reinterpret_cast<IconHandle>(static_cast<std::uintptr_t>(++nextIcon_));
}

int ScriptedMessageBoxes::ShowBox(const std::string& text, const std::string& title, std::int32_t style) {
  shown.push_back({text, title, style, host_.NowMs()});
  Scripted answer{1, 0};
  if (!script_.empty()) {
    answer = script_.front();
    script_.pop_front();
  }
  // The box's own message loop: timers keep firing while it is open.
  if (answer.openMs > 0) host_.Advance(answer.openMs);
  return answer.boxReturn;
}

}  // namespace tolvane::headless
