// Start-up, the two roads out, and the window's own handlers.
#include "app/program.h"
#include "resources/resources.h"
#include "ui/control_names.h"

namespace tolvane {

using namespace ui::names;

void Program::StartUp() {
  host_.SetWindowIcon(resources::programIcon());
  host_.SetTrayIcon(resources::programIcon(), "Tolvane");
  host_.SetHeight(窗口1, ui::kCollapsedHeight);
  host_.SetInterval(时钟1, 1000);
  host_.SetPickerFormat(日期框1, "yyyy年MM月dd日  HH:mm:ss");
  host_.SetPickerFormat(日期框2, "HH:mm:ss");
  host_.SetPickerFormat(日期框3, "HH:mm:ss");
  host_.SetValue(日期框1, CurrentDateTime(s_.clock));
  host_.SetValue(日期框2, DateOnly(CurrentDateTime(s_.clock)));
  host_.SetValue(日期框3, DateOnly(CurrentDateTime(s_.clock)));
  actionCode_ = 1;
  // A system that cannot tell the idle time offers no idle mode.
  if (!s_.idle.Available()) host_.SetDisabled(单选框8, true);
  LoadSettings();
  if (customSoundData_.empty()) host_.SetDisabled(按钮4, true);
}

void Program::CloseRequest() {
  SaveSettings();
  CancelSchedule();
}

void Program::Quit() {
  CancelSchedule();
  // Destroyed when the window handles its private message: no close request, nothing saved.
  host_.CloseWindow();
}

void Program::ExitCleanUp() {
  customSoundData_.clear();
  customSoundData_.shrink_to_fit();
  customSoundPath_.clear();
  s_.sound.StopAllSounds(true);
}

}  // namespace tolvane
