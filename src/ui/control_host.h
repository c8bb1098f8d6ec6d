#pragma once
// The window and its controls, addressed by name. The property semantics live
// here once; a host (Win32, GTK or the tests' headless one) mirrors writes onto
// its real controls and refreshes the properties the user can change before they
// are read.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/datetime/datetime.h"
#include "platform/text/byte_view.h"
#include "ui/events.h"
#include "ui/window_definition.h"

namespace tolvane::ui {

enum class Prop { Rect, Tag, Visible, Disabled, Caption, TextColour, Checked, Content, Value, Interval, State, AlwaysOnTop, Icon, PickerFormat };

struct ControlState {
  const ControlDef* def = nullptr;  // null for the window
  ControlType type = ControlType::Window;
  Rect rect;
  std::string tag;
  std::string caption;  // labels, buttons, check and radio boxes, menu items; the window's title
  std::string content;  // edit boxes
  Colour textColour;
  bool visible = true;
  bool disabled = false;
  bool checked = false;
  DateTime value = 0.0;     // date pickers
  std::int32_t interval = 0;  // timers, milliseconds
  std::string pickerFormat;
  // File dialog.
  std::string fileName, filter, initialDirectory;
  // The window.
  int windowState = 0;
  bool alwaysOnTop = false;
  std::string iconFile;
};

// A timer of exactly one second shows the wall clock, so hosts time its ticks to the
// clock's own seconds instead of to the moment it was started: each tick is due `lagMs`
// after the next whole second, checked afresh at every tick so drift never adds up.
inline constexpr std::int32_t kSecondInterval = 1000;
inline bool FollowsWallClock(std::int32_t interval) { return interval == kSecondInterval; }
// Milliseconds from now, `msIntoSecond` (0..999) past a whole second, to the next tick.
std::uint32_t MsToNextSecondTick(std::uint32_t msIntoSecond, std::uint32_t lagMs);
// How late after the whole second a tick may come and still leave a periodic one-second
// timer as it runs: setting a timer again costs a call into the window system.
inline constexpr std::uint32_t kSecondTickSlackMs = 4;
// At a tick `msIntoSecond` past a whole second, of a timer now armed to repeat every
// `armedMs`: the delay to arm it with afresh, or 0 to leave it running. A tick between
// the whole second and `lagMs` + kSecondTickSlackMs after it is on time, and the timer
// then repeats every second; a later one (or an early one) is armed for the next second.
std::uint32_t SecondTimerRearmMs(std::uint32_t msIntoSecond, std::uint32_t lagMs, std::uint32_t armedMs);

// Window state property values.
inline constexpr int kStateNormal = 0, kStateRestoreCentred = 1, kStateMinimised = 2, kStateMaximised = 3;

class ControlHost {
 public:
  ControlHost();
  virtual ~ControlHost() = default;
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;

  void SetEventSink(EventSink* sink) { sink_ = sink; }

  // Property access by control name (the window answers to kWindowName).
  bool Disabled(std::string_view name);
  void SetDisabled(std::string_view name, bool disabled);
  bool Visible(std::string_view name);
  void SetVisible(std::string_view name, bool visible);
  std::string Tag(std::string_view name);
  void SetTag(std::string_view name, const std::string& tag);
  std::string Caption(std::string_view name);
  void SetCaption(std::string_view name, const std::string& caption);
  Colour TextColour(std::string_view name);
  void SetTextColour(std::string_view name, Colour colour);
  bool Checked(std::string_view name);
  void SetChecked(std::string_view name, bool checked);  // raises no event
  std::string Content(std::string_view name);
  void SetContent(std::string_view name, const std::string& content);
  DateTime Value(std::string_view name);
  void SetValue(std::string_view name, DateTime value);
  std::int32_t Interval(std::string_view name);
  void SetInterval(std::string_view name, std::int32_t interval);
  Rect Rectangle(std::string_view name);
  void SetHeight(std::string_view name, int height);
  void SetPickerFormat(std::string_view name, const std::string& format);

  // The window.
  int WindowState();
  void SetWindowState(int state);  // takes effect only while the window is visible
  bool AlwaysOnTop();
  void SetAlwaysOnTop(bool onTop);
  void SetWindowIcon(ByteView iconFile);
  virtual void ActivateWindow() = 0;  // make it the active window; flash it when refused
  // The final-seconds prompt's text, for a desktop that may keep the window from the
  // front: a host passes it on as a notification where the window could not be made
  // active. An empty text withdraws it. A host whose window always comes forward ignores it.
  virtual void SetPromptNotice(const std::string& text) { (void)text; }
  virtual void CloseWindow() = 0;     // deferred destruction, no close request
  virtual bool WindowExists() const = 0;
  // Shows the menu's items as a popup at the cursor (plus 3 pixels) and returns when it closed.
  virtual void PopupMenu(std::string_view menu) = 0;
  // Puts, replaces or (with empty icon bytes) removes the window's notification-area icon.
  virtual void SetTrayIcon(ByteView iconFile, const std::string& tip) = 0;

  // The file dialog: shows it modally; its file name is the chosen path afterwards.
  void SetDialogFilter(std::string_view name, const std::string& filter);
  void SetDialogInitialDirectory(std::string_view name, const std::string& directory);
  std::string DialogFileName(std::string_view name);
  virtual void ShowOpenDialog(std::string_view name) = 0;

  // The host's system tick count in milliseconds (for the date picker filter).
  virtual std::uint32_t TickCount() const = 0;

  // Raises an event of a control: runs the bound operation, if any.
  void Raise(std::string_view control, Event event, const EventArgs& args = {});
  // A user's click on a radio box: siblings under the same parent are unchecked
  // and this one checked before its clicked event is raised.
  void UserClickedRadio(std::string_view name);
  // A picker's value changed by the user, through the change filter.
  void UserChangedPicker(std::string_view name);
  // The wall clock jumped (set by hand, synchronised, or the computer woke): every
  // running one-second timer is timed afresh and ticks at once, so the clock label and
  // a target passed meanwhile are seen now rather than up to a second later.
  void WallClockChanged();

  ControlState& State(std::string_view name);  // fatal report when unknown

 protected:
  // Mirror a written property onto the real control.
  virtual void Push(ControlState& control, Prop prop) = 0;
  // Refresh a property the user may have changed before it is read.
  virtual void Pull(ControlState& control, Prop prop) = 0;
  ControlState& Window() { return window_; }
  std::map<std::string, ControlState, std::less<>>& Controls() { return controls_; }
  // Interval changes need the timer restarted; hosts override this to do it.
  virtual void RestartTimer(ControlState& timer) = 0;

 private:
  template <typename T>
  T Read(std::string_view name, Prop prop, T ControlState::*field);
  template <typename T>
  void Write(std::string_view name, Prop prop, T ControlState::*field, const T& value);

  ControlState window_;
  std::map<std::string, ControlState, std::less<>> controls_;
  EventSink* sink_ = nullptr;
  PickerChangeFilter pickerFilter_;
};

}  // namespace tolvane::ui
