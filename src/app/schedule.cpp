// The one schedule: the user's choices, starting it and returning it to idle.
// Its state lives in the controls: running is the disabled state of 按钮1, the
// target is the text of the hidden 编辑框1.
#include "app/program.h"
#include "ui/control_names.h"

namespace tolvane {

using namespace ui::names;

DateTime PauseSentinel() { return TextToDateTime("1900年1月1日00时00分00秒"); }

bool IsPauseSentinel(DateTime value) { return YearOf(value) == 1900 && MonthOf(value) == 1; }

bool Program::Running() { return host_.Disabled(按钮1); }

std::string Program::TargetText() { return host_.Content(编辑框1); }

void Program::SetTargetText(const std::string& text) { host_.SetContent(编辑框1, text); }

void Program::SelectAction(std::int32_t code) { actionCode_ = code; }

void Program::SelectModeDateTime() {
  host_.SetDisabled(日期框1, false);
  host_.SetDisabled(日期框2, true);
  host_.SetDisabled(日期框3, true);
  host_.SetValue(日期框1, CurrentDateTime(s_.clock));
}

void Program::SelectModeCountdown() {
  host_.SetDisabled(日期框2, false);
  host_.SetDisabled(日期框1, true);
  host_.SetDisabled(日期框3, true);
}

void Program::SelectModeIdle() {
  host_.SetDisabled(日期框3, false);
  host_.SetDisabled(日期框1, true);
  host_.SetDisabled(日期框2, true);
}

void Program::CopyTargetText() { SetTargetText(DateTimeToText(host_.Value(日期框1))); }

void Program::StartSchedule() {
  if (actionPending_) return;
  if (host_.Interval(时钟1) == 0) host_.SetInterval(时钟1, 1000);
  if (host_.Checked(选择框2)) {
    // Execute now at start: no target is computed or checked.
    RequestActionAndClose();
    return;
  }
  if (!host_.Disabled(日期框1) && host_.Disabled(日期框2)) {
    SetTargetText(DateTimeToText(host_.Value(日期框1)));
  }
  if (!host_.Disabled(日期框2)) {
    SetTargetText(DateTimeToText(AddSeconds(CurrentDateTime(s_.clock), DurationSeconds(host_.Value(日期框2)))));
  }
  if (host_.Checked(单选框8)) {
    SetTargetText(DateTimeToText(AddSeconds(CurrentDateTime(s_.clock), DurationSeconds(host_.Value(日期框3)))));
  }
  const double interval = SecondsBetween(TextToDateTime(TargetText()), CurrentDateTime(s_.clock));
  if (interval - 5.0 < -1e-7) {
    ShowMessage(s_.boxes, std::string("关机时间设置错误！"));
    return;
  }
  if (host_.Checked(选择框3)) {
    host_.SetChecked(选择框3, false);
    ShowReminderPanel();
  }
  EnterRunningState();
}

void Program::EnterRunningState() {
  host_.SetDisabled(选择框3, true);
  host_.SetDisabled(按钮1, true);
  host_.SetDisabled(按钮2, false);
  host_.SetDisabled(菜单项_取消执行, false);
  for (auto name : {日期框1, 日期框2, 日期框3, 单选框6, 单选框7, 单选框8, 单选框1, 单选框2, 单选框5, 单选框3, 单选框4, 选择框1}) {
    host_.SetDisabled(name, true);
  }
  host_.SetTextColour(标签5, kRunningLabelColour);
  host_.SetTextColour(标签8, kRunningLabelColour);
  // Windows' own sleep timer must not defeat the schedule.
  s_.power.KeepSystemAwake(true, SecondsBetween(TextToDateTime(TargetText()), CurrentDateTime(s_.clock)));
}

void Program::CancelSchedule() {
  if (host_.Interval(时钟1) == 0) host_.SetInterval(时钟1, 1000);
  for (auto name : {选择框3, 单选框6, 选择框2}) host_.SetDisabled(name, false);
  host_.SetDisabled(单选框8, !s_.idle.Available());
  host_.SetInterval(时钟2, 0);
  host_.SetInterval(时钟3, 0);
  pauseStart_ = PauseSentinel();
  std::int64_t clicks = 0;
  AddToCounter(标签2, clicks);
  SetTargetText("");
  host_.SetCaption(标签2, "倒计时牌");
  host_.SetDisabled(按钮1, false);
  host_.SetDisabled(按钮2, true);
  host_.SetDisabled(菜单项_取消执行, true);
  host_.SetDisabled(单选框7, false);
  if (host_.Checked(单选框6)) host_.SetDisabled(日期框2, false);
  if (host_.Checked(单选框7)) host_.SetDisabled(日期框1, false);
  if (host_.Checked(单选框8)) host_.SetDisabled(日期框3, false);
  for (auto name : {单选框1, 单选框2, 单选框5, 单选框3, 单选框4, 选择框1}) host_.SetDisabled(name, false);
  host_.SetTextColour(标签5, kIdleLabelColour);
  host_.SetTextColour(标签8, kIdleLabelColour);
  if (host_.AlwaysOnTop()) host_.SetAlwaysOnTop(false);
  host_.SetPromptNotice("");
  s_.power.KeepSystemAwake(false);
}

}  // namespace tolvane
