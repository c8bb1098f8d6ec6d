#include "app/program.h"

#include "resources/resources.h"
#include "ui/control_names.h"

namespace tolvane {

using namespace ui::names;
using ui::Operation;

Program::Program(Services services) : s_(services), host_(services.host), pauseStart_(PauseSentinel()) {}

void Program::Run(Operation operation, std::int32_t argument, const ui::EventArgs& args) {
  switch (operation) {
    case Operation::StartUp: StartUp(); break;
    case Operation::CloseRequest: CloseRequest(); break;
    case Operation::SaveSettings: SaveSettings(); break;
    case Operation::MinimiseToTray: MinimiseToTray(); break;
    case Operation::TrayEvent: TrayEvent(args.trayOperation); break;
    case Operation::StartSchedule: StartSchedule(); break;
    case Operation::CancelSchedule: CancelSchedule(); break;
    case Operation::SelectAction: SelectAction(argument); break;
    case Operation::SelectModeCountdown: SelectModeCountdown(); break;
    case Operation::SelectModeDateTime: SelectModeDateTime(); break;
    case Operation::SelectModeIdle: SelectModeIdle(); break;
    case Operation::CopyTargetText: CopyTargetText(); break;
    case Operation::ScheduleTick: ScheduleTick(); break;
    case Operation::ShowClock: ShowClock(); break;
    case Operation::BlinkPausedBoard: BlinkPausedBoard(); break;
    case Operation::TogglePause: TogglePause(); break;
    case Operation::ResumeSchedule: ResumeSchedule(); break;
    case Operation::ShowReminderPanel: ShowReminderPanel(); break;
    case Operation::SaveCustomEnabled: SaveCustomEnabled(); break;
    case Operation::ChooseSoundFile: ChooseSoundFile(); break;
    case Operation::PlayCustomSound: PlayCustomSound(); break;
    case Operation::ShowWindow: ShowWindow(); break;
    case Operation::ConfirmExecuteNow: ConfirmExecuteNow(); break;
    case Operation::Quit: Quit(); break;
  }
}

void Program::ShowReminderPanel() {
  host_.SetHeight(窗口1, host_.Checked(选择框3) ? ui::kExpandedHeight : ui::kCollapsedHeight);
}

void Program::ShowWindow() {
  host_.SetVisible(窗口1, true);
  host_.SetWindowState(ui::kStateNormal);
  host_.SetDisabled(菜单项_显示窗口, true);
}

void Program::TrayEvent(int operationType) {
  switch (operationType) {
    case 1:
    case 2: ShowWindow(); break;
    case 3: host_.PopupMenu(菜单); break;
    default: break;
  }
}

void Program::MinimiseToTray() {
  if (host_.WindowState() != ui::kStateMinimised) return;
  host_.SetVisible(窗口1, false);
  host_.SetTrayIcon(resources::programIcon(), "Tolvane");
  host_.SetDisabled(菜单项_显示窗口, false);
}

}  // namespace tolvane
