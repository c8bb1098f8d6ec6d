#pragma once
// The GTK host: builds the real window from its definition on a GTK 3 desktop
// and mirrors the control properties onto the widgets. Supported: every control
// of the window, the timers on the GLib main loop, the file dialog. Not yet: the
// notification-area icon and its menu (the window minimises as usual meanwhile).
#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/control_host.h"
#include "ui/scale.h"
#include "ui/tray.h"

typedef struct _AppIndicator AppIndicator;

namespace tolvane::gtk {

class DatePicker;
class SessionEnd;

class GtkHost : public ui::ControlHost, private ui::TrayBackend {
 public:
  GtkHost();
  ~GtkHost() override;

  // Builds the window hidden, raises created and position changed, then shows it.
  // False when the window could not be built.
  bool Build();
  void RunMainLoop();

  void ActivateWindow() override;
  void CloseWindow() override;
  bool WindowExists() const override { return window_ != nullptr; }
  void PopupMenu(std::string_view menu) override;
  void SetTrayIcon(ByteView iconFile, const std::string& tip) override;
  void ShowOpenDialog(std::string_view name) override;
  std::uint32_t TickCount() const override;

 protected:
  void Push(ui::ControlState& control, ui::Prop prop) override;
  void Pull(ui::ControlState& control, ui::Prop prop) override;
  void RestartTimer(ui::ControlState& timer) override;

 private:
  // controls.cpp
  void CreateControls();
  void CreateControl(const ui::ControlDef& def);
  GtkWidget* Place(GtkWidget* widget, const ui::Rect& rect);
  void Centre();
  void CreateNumberBox(const ui::ControlDef& def, const ui::Rect& rect);
  void CreatePicker(const ui::ControlDef& def, const ui::Rect& rect);
  GtkWidget* SpinArrow(const ui::Rect& rect, bool up);
  PangoFontDescription* FontFor(const ui::FontDef& font);
  void ApplyTextAttributes(ui::ControlState& control);
  void SpinNumberBox(ui::ControlState& control, int direction);
  void NormaliseOnLeave(ui::ControlState& control);
  void DrawLabel(GtkWidget* widget, cairo_t* cr);
  // signals.cpp
  void ConnectSignals(const ui::ControlDef& def, GtkWidget* widget);
  void ConnectWindowSignals();
  void ScheduleTimer(const std::string& name);
  void TimerFired(const std::string& name);
  void LabelPressed(ui::ControlState& label, GdkEventButton* event);
  void WindowDestroyed();
  // tray_menu.cpp
  GtkWidget* BuildMenu(std::string_view menuName, bool live);
  void CreateTrayMenu();
  void WatchTrayHost();
  void TrayHostChanged(bool present);
  IconHandle CreateIcon(ByteView iconFile, int preferredWidth) override;
  void DestroyIcon(IconHandle icon) override;
  void Notify(ui::TrayCommand command, IconHandle icon, const std::string& tip) override;
  // gtk_host.cpp
  int ClientHeight(int outerHeight) const;
  void ApplyWindowState(int state);
  GtkWidget* Widget(const ui::ControlState& control) const;
  ui::ControlState* ControlOf(GtkWidget* widget);

  GtkWidget* window_ = nullptr;
  GtkWidget* layout_ = nullptr;
  int dpi_ = ui::kBaseDpi;
  std::map<std::string, GtkWidget*, std::less<>> widgets_;
  // Widgets that show, hide, enable and disable with a control: its spin arrows.
  std::map<std::string, std::vector<GtkWidget*>, std::less<>> companions_;
  std::map<std::string, std::unique_ptr<DatePicker>, std::less<>> pickers_;
  // Per radio group (the parent's name), a hidden member that is checked when the
  // program unchecks every visible one: GTK keeps one radio of a group checked.
  std::map<std::string, GtkWidget*, std::less<>> radioNone_;
  std::map<std::string, PangoFontDescription*> fonts_;
  std::map<std::string, guint, std::less<>> timers_;  // running timer sources
  int pushing_ = 0;          // writes from the program raise no events
  bool eventsLive_ = false;  // events flow once every control exists
  guint32 lastPressTime_ = 0;
  double lastPressX_ = 0, lastPressY_ = 0;
  bool lastPressSingle_ = false;
  bool iconified_ = false;
  // The notification area: the item, its menu (whose items are also in widgets_),
  // and the private folder of icon images the panel reads by name.
  AppIndicator* indicator_ = nullptr;
  GtkWidget* trayMenu_ = nullptr;
  std::string iconFolder_;
  int iconsMade_ = 0;
  guint trayHostWatch_ = 0;
  bool trayHostPresent_ = false;  // a StatusNotifierWatcher owns its name on the session bus
  ui::TrayIcon tray_{*this};
  std::unique_ptr<SessionEnd> sessionEnd_;
};

}  // namespace tolvane::gtk
