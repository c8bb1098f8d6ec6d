#pragma once
// Events of the window and its controls, and the fixed table binding each
// (control, event) pair to the operation that handles it.
#include <cstdint>
#include <span>
#include <string_view>

namespace tolvane::ui {

// SessionEndQuery: the desktop asks whether its session may end, before it is sure to.
enum class Event { Created, CloseRequest, SessionEndQuery, PositionChanged, TrayEvent, LeftButtonDown, LeftDoubleClick, Clicked, Tick, ValueChanged, Selected };

enum class Operation {
  StartUp,
  CloseRequest,
  SaveSettings,
  MinimiseToTray,
  TrayEvent,
  StartSchedule,
  CancelSchedule,
  SelectAction,        // argument: the action code
  SelectModeCountdown,
  SelectModeDateTime,
  SelectModeIdle,
  CopyTargetText,
  ScheduleTick,
  ShowClock,
  BlinkPausedBoard,
  TogglePause,
  ResumeSchedule,
  ShowReminderPanel,
  SaveCustomEnabled,
  ChooseSoundFile,
  PlayCustomSound,
  ShowWindow,
  ConfirmExecuteNow,
  Quit,
};

struct Binding {
  std::string_view control;
  Event event;
  Operation operation;
  std::int32_t argument = 0;
};

// What an event carries: mouse position and key state, or the tray operation type.
struct EventArgs {
  int x = 0, y = 0, keys = 0;
  int trayOperation = 0;
};

std::span<const Binding> BindingTable();
const Binding* FindBinding(std::string_view control, Event event);

// The program: runs the operation a binding names.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void Run(Operation operation, std::int32_t argument, const EventArgs& args) = 0;
};

// Date pickers report value changes through a filter: a change raises the event only
// when more than 100 ms have passed since the last reported one (one time shared by
// all pickers) and no value-changed handler is running.
class PickerChangeFilter {
 public:
  bool ShouldRaise(std::uint32_t tickNow) const;
  void BeginHandler() { ++running_; }
  void EndHandler() { --running_; }
  void Record(std::uint32_t tickNow) { last_ = tickNow; hasLast_ = true; }

 private:
  std::uint32_t last_ = 0;
  bool hasLast_ = false;
  int running_ = 0;
};

}  // namespace tolvane::ui
