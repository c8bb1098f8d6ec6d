#pragma once
// The program: its variables and the handlers the binding table names. It talks to
// the window only by control name, and to the system only through the services.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/datetime/datetime.h"
#include "platform/idle/idle.h"
#include "platform/messages/messages.h"
#include "platform/power/power.h"
#include "platform/sound/sound.h"
#include "ui/control_host.h"
#include "ui/events.h"

namespace tolvane {

class FileSystem;
class TrayService;

struct Services {
  ui::ControlHost& host;
  Clock& clock;
  MessageBoxService& boxes;
  PowerService& power;
  SoundService& sound;
  IdleService& idle;
  FileSystem* files = nullptr;  // absent: settings are neither read nor written
  TrayService* tray = nullptr;  // absent: no notification-area icon
};

// Colours of the mode labels: red while idle, grey while a schedule runs.
inline constexpr ui::Colour kIdleLabelColour{255, 0, 0};
inline constexpr ui::Colour kRunningLabelColour{128, 128, 128};

std::string FormatRemaining(std::int64_t seconds);
// The final-seconds notice: which action comes in how many seconds ("5秒后关机").
std::string FinalSecondsNotice(std::int32_t actionCode, std::int64_t remaining);
DateTime PauseSentinel();
bool IsPauseSentinel(DateTime value);

class Program : public ui::EventSink {
 public:
  explicit Program(Services services);

  void Run(ui::Operation operation, std::int32_t argument, const ui::EventArgs& args) override;

  // Start-up and exit.
  void StartUp();
  void CloseRequest();
  // What the close request saves, saved now: the session may end without another word
  // (the schedule goes on until then).
  void SaveSettings();
  void Quit();
  void ExitCleanUp();

  // The schedule.
  void SelectAction(std::int32_t code);
  void SelectModeCountdown();
  void SelectModeDateTime();
  void SelectModeIdle();
  void CopyTargetText();
  void StartSchedule();
  void CancelSchedule();
  void ScheduleTick();
  void ShowClock();
  void TogglePause();
  void ResumeSchedule();
  void BlinkPausedBoard();
  void ConfirmExecuteNow();

  // The reminder panel and the window.
  void ShowReminderPanel();
  void ReminderStep(std::int64_t remaining);
  void PlayReminder(ByteView sound);
  void ShowWindow();
  void MinimiseToTray();
  void TrayEvent(int operationType);

  // Settings and the custom sound.
  void SaveCustomEnabled();
  void ChooseSoundFile();
  void PlayCustomSound();

  std::int32_t actionCode() const { return actionCode_; }
  DateTime pauseStart() const { return pauseStart_; }
  const std::string& customSoundPath() const { return customSoundPath_; }
  const std::vector<std::uint8_t>& customSoundData() const { return customSoundData_; }

 private:
  bool Running();
  bool Paused() const { return !IsPauseSentinel(pauseStart_); }
  std::string TargetText();
  void SetTargetText(const std::string& text);
  void AddToCounter(std::string_view control, std::int64_t& newCount);
  void EnterRunningState();
  void RequestActionThenClose(bool force, bool cancelOnAnswer);
  void RequestActionAndClose();
  void RunScheduledAction();
  void IdleSourceLost();
  void FinalSecondsPrompt(ByteView sound, std::int64_t remaining);
  void BringWindowBack();
  ByteView ChosenReminderSound();
  void LoadSettings();

  Services s_;
  ui::ControlHost& host_;
  std::int32_t actionCode_ = 1;
  DateTime pauseStart_;
  std::string customSoundPath_;
  std::vector<std::uint8_t> customSoundData_;
  // A missed target shows one box; ticks arriving while it is open only keep the clock.
  bool reportingMissedTarget_ = false;
  // A power request the system has not answered yet: ticks only keep the clock and
  // no schedule starts.
  bool actionPending_ = false;
};

}  // namespace tolvane
