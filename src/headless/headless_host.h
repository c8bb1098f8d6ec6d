#pragma once
// The headless host: the window's properties held in memory and timers on virtual
// time, so the whole program runs in tests deterministically and fast. A message
// box runs a nested loop in which timers keep firing, as on Windows.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/datetime/datetime.h"
#include "platform/idle/idle.h"
#include "platform/messages/messages.h"
#include "platform/power/power.h"
#include "platform/sound/sound.h"
#include "ui/control_host.h"
#include "ui/tray.h"

namespace tolvane::headless {

class HeadlessHost : public ui::ControlHost, public Clock, public IdleService, private ui::TrayBackend {
 public:
  explicit HeadlessHost(DateTime start);

  // Virtual time.
  std::uint64_t NowMs() const { return nowMs_; }
  void Advance(std::uint64_t ms);  // fires due timers in order
  DateTimeParts LocalNow() const override;
  DateTime Now() const;  // whole seconds
  // Sets the wall clock (as a user changing the system time would), keeping timers.
  void SetClock(DateTime value);
  // An answer from a system service arriving `delayMs` from now: it runs from the
  // loop between timers, as the main loop dispatches a D-Bus reply.
  void Post(std::uint64_t delayMs, std::function<void()> answer);

  // Idle: the virtual time of the last keyboard or mouse input.
  void InputNow() { lastInputMs_ = nowMs_; }
  std::int32_t IdleSeconds() override;
  bool Available() override { return idleSourceAlive_; }
  void LoseIdleSource() { idleSourceAlive_ = false; }  // as a desktop's idle source that went away

  // Building: creates the window, raises created and position changed, then shows it.
  void Build();

  // The user's actions; each runs its handler and then a pending close.
  void Click(std::string_view name);         // button, check box, radio box
  void SelectMenuItem(std::string_view name);
  void PressLabel(std::string_view name);     // left button down
  void DoubleClickLabel(std::string_view name);  // down, then double-click
  void ChangePicker(std::string_view name, DateTime value);
  void TypeText(std::string_view name, std::string_view typed);  // through the character filter
  void LeaveEditBox(std::string_view name);
  void Spin(std::string_view name, int direction);
  void RequestClose();  // title-bar close, Alt+F4, or the end of the logon
  void Minimise();
  void TrayMouse(int operationType);

  // The file dialog's answer: the path the user picks next (empty: cancel).
  void ScriptDialog(std::string path) { dialogAnswers_.push_back(std::move(path)); }
  int DialogOpenings() const { return dialogOpenings_; }

  bool Destroyed() const { return destroyed_; }
  int Activations() const { return activations_; }
  bool Centred() const { return centred_; }

  void ActivateWindow() override { ++activations_; }
  // The final-seconds notices in the order given; "" is a withdrawal.
  void SetPromptNotice(const std::string& text) override {
    if (notices_.empty() ? !text.empty() : notices_.back() != text) notices_.push_back(text);
  }
  const std::vector<std::string>& Notices() const { return notices_; }
  void CloseWindow() override { closePending_ = true; }
  bool WindowExists() const override { return !destroyed_; }
  void ShowOpenDialog(std::string_view name) override;
  void PopupMenu(std::string_view) override { ++popups_; }
  void SetTrayIcon(ByteView iconFile, const std::string& tip) override;
  int Popups() const { return popups_; }
  bool TrayIconShown() const { return tray_.Shown(); }
  // What reached the notification area, in order, and the icons still alive.
  struct TrayCall {
    ui::TrayCommand command;
    std::string tip;
  };
  const std::vector<TrayCall>& TrayCalls() const { return trayCalls_; }
  int LiveIcons() const { return liveIcons_; }
  void ExplorerRestarted() { tray_.AddAgain(); }
  std::uint32_t TickCount() const override { return static_cast<std::uint32_t>(nowMs_); }

 protected:
  void Push(ui::ControlState& control, ui::Prop prop) override;
  void Pull(ui::ControlState&, ui::Prop) override {}
  void RestartTimer(ui::ControlState& timer) override;

 private:
  void AfterHandler();
  static std::uint64_t PeriodFrom(std::uint64_t atMs, std::int32_t interval);

  std::uint64_t nowMs_ = 0;
  DateTime startValue_;
  std::int64_t clockOffsetSeconds_ = 0;
  std::uint64_t lastInputMs_ = 0;
  bool idleSourceAlive_ = true;
  std::map<std::string, std::uint64_t, std::less<>> nextFire_;
  std::multimap<std::uint64_t, std::function<void()>> posted_;
  std::deque<std::string> dialogAnswers_;
  int dialogOpenings_ = 0;
  int activations_ = 0;
  std::vector<std::string> notices_;
  int popups_ = 0;
  IconHandle CreateIcon(ByteView iconFile, int preferredWidth) override;
  void DestroyIcon(IconHandle) override { --liveIcons_; }
  void Notify(ui::TrayCommand command, IconHandle, const std::string& tip) override { trayCalls_.push_back({command, tip}); }
  std::vector<TrayCall> trayCalls_;
  int liveIcons_ = 0;
  int nextIcon_ = 0;
  ui::TrayIcon tray_{*this};
  bool centred_ = false;
  bool closePending_ = false;
  bool destroyed_ = false;
};

// Boxes answered from a script; each answer may keep its box open for a while of
// virtual time, during which timers fire.
class ScriptedMessageBoxes : public MessageBoxService {
 public:
  explicit ScriptedMessageBoxes(HeadlessHost& host) : host_(host) {}
  struct Shown {
    std::string text, title;
    std::int32_t style;
    std::uint64_t atMs;
  };
  void Answer(int boxReturn, std::uint64_t openMs = 0) { script_.push_back({boxReturn, openMs}); }
  int ShowBox(const std::string& text, const std::string& title, std::int32_t style) override;
  std::vector<Shown> shown;

 private:
  struct Scripted {
    int boxReturn;
    std::uint64_t openMs;
  };
  HeadlessHost& host_;
  std::deque<Scripted> script_;
};

// Answers each request at once, as Windows does, or after `answerAfterMs` of
// virtual time, as logind does once the user has authenticated.
class RecordingPower : public PowerService {
 public:
  explicit RecordingPower(HeadlessHost& host) : host_(host) {}
  struct Request {
    std::int32_t code;
    bool force;
  };
  void RequestPowerAction(std::int32_t code, bool force, PowerAnswered answered) override {
    requests.push_back({code, force});
    PowerAnswer answer{succeed, succeed ? std::string() : reason};
    if (answerAfterMs == 0) return answered(answer);
    host_.Post(answerAfterMs, [answered = std::move(answered), answer] { answered(answer); });
  }
  void KeepSystemAwake(bool awake, double) override { keptAwake = awake; }
  std::vector<Request> requests;
  bool succeed = true;
  std::uint64_t answerAfterMs = 0;
  bool keptAwake = false;
  std::string reason = "没有所需的特权。";

 private:
  HeadlessHost& host_;
};

class RecordingSound : public SoundService {
 public:
  explicit RecordingSound(const HeadlessHost& host) : host_(host) {}
  struct Play {
    std::size_t bytes;
    std::uint64_t atMs;
  };
  bool StartSound(ByteView data, bool) override {
    plays.push_back({data.size(), host_.NowMs()});
    return !data.empty();
  }
  void StopAllSounds(bool) override { ++stops; }
  std::vector<Play> plays;
  int stops = 0;

 private:
  const HeadlessHost& host_;
};

}  // namespace tolvane::headless
