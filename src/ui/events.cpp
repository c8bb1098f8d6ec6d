#include "ui/events.h"

#include <array>

#include "ui/window_definition.h"

namespace tolvane::ui {
namespace {
using E = Event;
using O = Operation;

const std::array kBindings = {
    Binding{kWindowName, E::Created, O::StartUp},
    Binding{kWindowName, E::CloseRequest, O::CloseRequest},
    Binding{kWindowName, E::SessionEndQuery, O::SaveSettings},
    Binding{kWindowName, E::PositionChanged, O::MinimiseToTray},
    Binding{kWindowName, E::TrayEvent, O::TrayEvent},
    Binding{"按钮1", E::Clicked, O::StartSchedule},
    Binding{"按钮2", E::Clicked, O::CancelSchedule},
    Binding{"单选框1", E::Clicked, O::SelectAction, 1},
    Binding{"单选框2", E::Clicked, O::SelectAction, 2},
    Binding{"单选框5", E::Clicked, O::SelectAction, 3},
    Binding{"单选框3", E::Clicked, O::SelectAction, 4},
    Binding{"单选框4", E::Clicked, O::SelectAction, 5},
    Binding{"单选框6", E::Clicked, O::SelectModeCountdown},
    Binding{"单选框7", E::Clicked, O::SelectModeDateTime},
    Binding{"单选框8", E::Clicked, O::SelectModeIdle},
    Binding{"日期框1", E::ValueChanged, O::CopyTargetText},
    Binding{"时钟1", E::Tick, O::ScheduleTick},
    Binding{"时钟2", E::Tick, O::ShowClock},
    Binding{"时钟3", E::Tick, O::BlinkPausedBoard},
    Binding{"标签2", E::LeftButtonDown, O::TogglePause},
    Binding{"标签2", E::LeftDoubleClick, O::ResumeSchedule},
    Binding{"选择框3", E::Clicked, O::ShowReminderPanel},
    Binding{"选择框4", E::Clicked, O::SaveCustomEnabled},
    Binding{"按钮3", E::Clicked, O::ChooseSoundFile},
    Binding{"按钮4", E::Clicked, O::PlayCustomSound},
    Binding{"显示窗口", E::Selected, O::ShowWindow},
    Binding{"立即执行", E::Selected, O::ConfirmExecuteNow},
    Binding{"取消执行", E::Selected, O::CancelSchedule},
    Binding{"退出程序", E::Selected, O::Quit},
};
}  // namespace

std::span<const Binding> BindingTable() { return kBindings; }

const Binding* FindBinding(std::string_view control, Event event) {
  for (const auto& binding : kBindings) {
    if (binding.control == control && binding.event == event) return &binding;
  }
  return nullptr;
}

bool PickerChangeFilter::ShouldRaise(std::uint32_t tickNow) const {
  if (running_ > 0) return false;
  // Unsigned difference: the wrap of the tick counter does no harm.
  return !hasLast_ || static_cast<std::uint32_t>(tickNow - last_) > 100u;
}

}  // namespace tolvane::ui
