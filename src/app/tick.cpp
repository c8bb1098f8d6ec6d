// The once-a-second tick of a running schedule, and pausing it from the board.
#include <cmath>

#include "app/program.h"
#include "ui/control_names.h"

namespace tolvane {

using namespace ui::names;

void Program::ShowClock() { host_.SetCaption(标签3, DateTimeToText(CurrentDateTime(s_.clock))); }

void Program::ScheduleTick() {
  const DateTime firstReading = CurrentDateTime(s_.clock);
  host_.SetCaption(标签3, DateTimeToText(firstReading));
  if (!Running()) {
    // An idle source can be lost at any time: from then on the mode is not offered.
    if (!s_.idle.Available() && !host_.Disabled(单选框8)) host_.SetDisabled(单选框8, true);
    return;
  }
  // While the missed-target box is open, ticks neither stack boxes nor run the action.
  if (reportingMissedTarget_ || actionPending_) return;
  if (host_.Checked(选择框2)) {
    RunScheduledAction();
    return;
  }
  if (host_.Checked(单选框8) && !TargetText().empty()) {
    const std::int32_t idleSeconds = s_.idle.IdleSeconds();
    if (!s_.idle.Available()) {
      IdleSourceLost();
      return;
    }
    // The user is active: the idle deadline moves on.
    if (idleSeconds == 0) {
      SetTargetText(DateTimeToText(AddSeconds(CurrentDateTime(s_.clock), DurationSeconds(host_.Value(日期框3)))));
    }
  }
  const DateTime target = TextToDateTime(TargetText());
  const std::int64_t remaining = SaturateToInt64(SecondsBetween(target, CurrentDateTime(s_.clock)));
  ReminderStep(remaining);
  if (!host_.WindowExists()) return;
  if (remaining < 0) {
    reportingMissedTarget_ = true;
    ShowMessage(s_.boxes, std::string("系统错误！"));
    reportingMissedTarget_ = false;
    if (!host_.WindowExists()) return;
    CancelSchedule();
    return;  // the target is gone, so the trigger cannot hold
  }
  host_.SetCaption(标签2, FormatRemaining(remaining));
  // The target second is reached when this tick's first reading shows it. A tick
  // that jitters just past it (remaining still 0) runs the action one second late
  // rather than letting the schedule fail.
  if (host_.Caption(标签3) == TargetText() || firstReading >= target) RunScheduledAction();
}

void Program::IdleSourceLost() {
  // Without the idle time the action would come either never or while the user
  // works: the schedule ends, and the user is told why.
  CancelSchedule();
  ShowMessage(s_.boxes, std::string("无法再读取键盘鼠标空闲时间，本次定时已取消。"), kMbIconError);
}

void Program::TogglePause() {
  if (!Running()) return;
  std::int64_t clicks = 0;
  AddToCounter(标签2, clicks);
  // A press resumes a paused schedule and pauses a running one, whatever the
  // counter's parity after earlier runs.
  if (Paused()) {
    ResumeSchedule();
    return;
  }
  host_.SetCaption(标签2, "计时暂停中...");
  host_.SetInterval(时钟2, 1000);
  host_.SetInterval(时钟3, 500);
  host_.SetInterval(时钟1, 0);
  pauseStart_ = CurrentDateTime(s_.clock);
}

void Program::ResumeSchedule() {
  host_.SetInterval(时钟2, 0);
  host_.SetInterval(时钟3, 0);
  host_.SetInterval(时钟1, 1000);
  if (Paused()) {
    const std::int32_t paused = SaturateToInt32(SecondsBetween(CurrentDateTime(s_.clock), pauseStart_));
    SetTargetText(DateTimeToText(AddSeconds(TextToDateTime(TargetText()), paused)));
  }
  pauseStart_ = PauseSentinel();
}

}  // namespace tolvane
