#pragma once
// The GTK host: builds the real window from its definition on a GTK 3 desktop
// and mirrors the control properties onto the widgets. Supported: every control
// of the window, the timers on the GLib main loop, the file dialog, the
// notification-area item and its menu (a StatusNotifierItem, or the X11 system
// tray), the final-seconds notification where the window cannot come forward.
// Not supported: minimising to the tray where the desktop never reports a window
// minimised (Wayland): the window then stays on the taskbar and 显示窗口 stays usable.
#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/control_host.h"
#include "ui/scale.h"
#include "ui/text_colours.h"
#include "ui/tray.h"

namespace tolvane::gtk {

class DatePicker;
class PromptNotice;
class SessionEnd;
class StatusItem;

// A container that gives each child exactly its size request at its place, as a window
// of absolutely placed controls does (exact_layout.cpp).
GtkWidget* NewExactLayout();

// A control's caption as shown: its GBK text in UTF-8, Windows' symbol-font play glyph
// drawn from the text font (labels.cpp).
std::string CaptionText(const ui::ControlDef& def, const std::string& gbk);

// The chosen image of an .ico or .cur file (tray_menu.cpp); null when none.
GdkPixbuf* IconPixbuf(ByteView file, int preferredWidth);

class GtkHost : public ui::ControlHost, private ui::TrayBackend {
 public:
  GtkHost();
  ~GtkHost() override;

  // Builds the window hidden, raises created and position changed, then shows it.
  // False when the window could not be built.
  bool Build();
  void RunMainLoop();

  void ActivateWindow() override;
  void SetPromptNotice(const std::string& text) override;
  void CloseWindow() override;
  bool WindowExists() const override { return window_ != nullptr; }
  void PopupMenu(std::string_view menu) override;
  void SetTrayIcon(ByteView iconFile, const std::string& tip) override;
  void ShowOpenDialog(std::string_view name) override;
  std::uint32_t TickCount() const override;
  // While the program writes a control itself: no events, no typing filter.
  bool Writing() const { return pushing_ > 0; }
  void BeginWriting() { ++pushing_; }
  void EndWriting() { --pushing_; }
  void MenuItemChosen(const char* name);

 protected:
  void Push(ui::ControlState& control, ui::Prop prop) override;
  void Pull(ui::ControlState& control, ui::Prop prop) override;
  void RestartTimer(ui::ControlState& timer) override;

 private:
  // controls.cpp
  void CreateControls();
  void CreateControl(const ui::ControlDef& def);
  GtkWidget* Place(GtkWidget* widget, const ui::Rect& rect);
  PangoFontDescription* FontFor(const ui::FontDef& font);
  void ApplyTextAttributes(ui::ControlState& control);
  // theme.cpp
  void ReadSystemColours();
  void ThemeChanged();
  void ChooseMarkImages();
  // spin_boxes.cpp
  void CreateNumberBox(const ui::ControlDef& def, const ui::Rect& rect);
  void CreatePicker(const ui::ControlDef& def, const ui::Rect& rect);
  GtkWidget* SpinArrow(const ui::Rect& rect, bool up);
  void SpinNumberBox(ui::ControlState& control, int direction);
  void NormaliseOnLeave(ui::ControlState& control);
  // labels.cpp
  void DrawLabel(GtkWidget* widget, cairo_t* cr);
  void RedrawLabelText(ui::ControlState& label);
  struct PlacedCaption {
    std::string caption;
    int width = 0, height = 0;  // the label's size it was placed in
    PangoLayout* layout = nullptr;  // the holder's to release
    int x = 0, y = 0;
    GdkRectangle area{};  // where its pixels fall
  };
  PlacedCaption PlaceCaption(GtkWidget* widget, const ui::ControlDef& def, const std::string& caption);
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
  void CreateStatusItem();
  void ShowSystemTrayIcon();
  bool TrayHostPresent() const;
  void TrayHostChanged();
  void RaiseTrayOperation(int operation);
  IconHandle CreateIcon(ByteView iconFile, int preferredWidth) override;
  void DestroyIcon(IconHandle icon) override;
  void Notify(ui::TrayCommand command, IconHandle icon, const std::string& tip) override;
  // gtk_host.cpp
  void Centre();
  int ClientHeight(int outerHeight) const;
  void ApplyWindowState(int state);
  GtkWidget* Widget(const ui::ControlState& control) const;
  // X11 tells when a window is minimised; Wayland never does.
  bool MinimiseObservable() const;
  bool Usable(const ui::ControlState& control) const;  // the widget's sensitivity
  // Brings the window forward, with the desktop's activation token when one came with the request.
  void PresentWindow();
  void CheckRaised();
  // The program must go now (the session ends, a signal came): open boxes are closed
  // as by their close button, the chooser and the popup menu as by Escape, so their
  // nested loops return, and the window goes.
  void EndNow();
  ui::ControlState* ControlOf(GtkWidget* widget);

  GtkWidget* window_ = nullptr;
  GtkCssProvider* drawnMarks_ = nullptr;  // the theme's marks drawn for 100 %, while they are used
  GtkWidget* layout_ = nullptr;
  int dpi_ = ui::kBaseDpi;
  ui::SystemColours colours_;  // the theme's, read at start and on each theme change
  std::map<std::string, GtkWidget*, std::less<>> widgets_;
  // Widgets that show, hide, enable and disable with a control: its spin arrows.
  std::map<std::string, std::vector<GtkWidget*>, std::less<>> companions_;
  std::map<std::string, std::unique_ptr<DatePicker>, std::less<>> pickers_;
  // Per radio group (the parent's name), a hidden member that is checked when the
  // program unchecks every visible one: GTK keeps one radio of a group checked.
  std::map<std::string, GtkWidget*, std::less<>> radioNone_;
  std::map<std::string, PangoFontDescription*> fonts_;
  std::map<const GtkWidget*, GdkRectangle> captionAreas_;  // each label's caption as last drawn
  std::map<const GtkWidget*, PlacedCaption> laidOut_;       // set, and not yet drawn
  std::map<std::string, guint, std::less<>> timers_;  // running timer sources
  int pushing_ = 0;          // writes from the program raise no events
  bool eventsLive_ = false;  // events flow once every control exists
  guint32 lastPressTime_ = 0;
  double lastPressX_ = 0, lastPressY_ = 0;
  bool lastPressSingle_ = false;
  bool iconified_ = false;
  // The notification area: the item, its menu (whose items are also in widgets_),
  // and the system-tray icon that stands in where no panel takes the item.
  std::unique_ptr<StatusItem> statusItem_;
  GtkWidget* trayMenu_ = nullptr;
  GtkStatusIcon* systemTrayIcon_ = nullptr;
  IconHandle trayImage_ = nullptr;
  std::string trayTip_;           // UTF-8
  bool itemShown_ = false;        // a panel shows the item (accepted, and a host draws it)
  std::string activationToken_;   // from the panel or the notification, for the next present
  ui::TrayIcon tray_{*this};
  // The final-seconds notification: its text, and whether the window was refused the front.
  std::unique_ptr<PromptNotice> notice_;
  std::string noticeText_;
  bool raiseRefused_ = false;
  guint raiseCheck_ = 0;
  std::unique_ptr<SessionEnd> sessionEnd_;
  // The chooser and the popup menu while their nested loops run, for EndNow to close.
  GtkNativeDialog* openDialog_ = nullptr;
  GtkWidget* openMenu_ = nullptr;
};

}  // namespace tolvane::gtk
