// Reminders in the last minutes: a sound on the default or the user's schedule, and
// the window brought to the front in the last five seconds.
#include <cmath>

#include "app/program.h"
#include "resources/resources.h"
#include "ui/control_names.h"

namespace tolvane {

using namespace ui::names;

ByteView Program::ChosenReminderSound() {
  if (!customSoundData_.empty()) return ByteView(customSoundData_);
  return resources::builtinClip();
}

void Program::ReminderStep(std::int64_t remaining) {
  const double r = static_cast<double>(remaining);
  if (host_.Checked(选择框4)) {
    const std::int64_t startMinutes = TextToLong(host_.Content(编辑框2));
    if (r - static_cast<double>(startMinutes) * 60.0 > 1e-7) return;
    const std::int64_t interval = TextToLong(host_.Content(编辑框3));
    // An interval of 0 means no periodic reminders; the last seconds still sound.
    if (interval != 0 && std::fabs(Remainder(r, static_cast<double>(interval))) <= 1e-7) {
      PlayReminder(ChosenReminderSound());
    }
    if (remaining <= 5) FinalSecondsPrompt(ChosenReminderSound(), remaining);
    return;
  }
  if (remaining > 30) return;
  if (std::fabs(Remainder(r, 10.0)) <= 1e-7) PlayReminder(resources::builtinClip());
  if (remaining <= 5) FinalSecondsPrompt(resources::builtinClip(), remaining);
}

void Program::BringWindowBack() {
  if (host_.Visible(窗口1)) return;
  host_.SetVisible(窗口1, true);
  host_.SetWindowState(ui::kStateNormal);
}

void Program::PlayReminder(ByteView sound) {
  s_.sound.StartSound(sound, false);
  BringWindowBack();
}

std::string FinalSecondsNotice(std::int32_t actionCode, std::int64_t remaining) {
  static constexpr const char* kActions[] = {"关机", "重启", "注销", "待机", "休眠"};
  const char* action = actionCode >= 1 && actionCode <= 5 ? kActions[actionCode - 1] : kActions[0];
  // A target already passed (the computer woke late) is due now.
  return LongToText(remaining > 0 ? remaining : 0) + "秒后" + action;
}

void Program::FinalSecondsPrompt(ByteView sound, std::int64_t remaining) {
  s_.sound.StartSound(sound, false);
  BringWindowBack();
  host_.SetAlwaysOnTop(true);
  host_.ActivateWindow();
  host_.SetPromptNotice(FinalSecondsNotice(actionCode_, remaining));
}

}  // namespace tolvane
