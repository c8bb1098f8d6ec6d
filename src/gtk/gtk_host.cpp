// The GTK host object: building the window, and the control properties mirrored
// onto the widgets and read back from them.
#include "gtk/gtk_host.h"

#include <gdk/gdkwayland.h>
#include <gdk/gdkx.h>

#include <cmath>

#include "gtk/date_picker.h"
#include "gtk/prompt_notice.h"
#include "gtk/session_end.h"
#include "gtk/status_item.h"
#include "platform/text/text_linux.h"
#include "resources/resources.h"
#include "ui/control_names.h"
#include "ui/program_icon.h"
#include "ui/scale.h"

namespace tolvane::gtk {

using ui::ControlType;
using ui::Prop;

namespace {
// The definition gives the window's outer size; a fixed Windows frame takes 3
// pixels each side and a 23-pixel caption, and the rest is the client area.
constexpr int kFrameWidth = 3;
constexpr int kCaptionHeight = 23;
// How long the desktop is given to make the window active before it counts as refused.
constexpr guint kRaiseAnswerMs = 300;

// The program icon as a notification's image: (width, height, stride, alpha, bits, channels, data).
GVariant* NoticeImage() {
  GdkPixbuf* icon = IconPixbuf(ui::IconFileForSize(resources::programIcon(), 48), 48);
  if (icon == nullptr) return nullptr;
  GdkPixbuf* rgba = gdk_pixbuf_add_alpha(icon, FALSE, 0, 0, 0);
  g_object_unref(icon);
  const int height = gdk_pixbuf_get_height(rgba), stride = gdk_pixbuf_get_rowstride(rgba);
  const gsize size = static_cast<gsize>(stride) * (height - 1) + gdk_pixbuf_get_width(rgba) * 4;
  GVariant* data = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, gdk_pixbuf_read_pixels(rgba), size, 1);
  GVariant* image = g_variant_new("(iiibii@ay)", gdk_pixbuf_get_width(rgba), height, stride, TRUE, 8, 4, data);
  g_object_unref(rgba);
  return image;
}

// Spin arrows and buttons draw no theme padding of their own inside the small
// rectangles of the window definition.
constexpr char kCss[] =
    "button.tolvane-spin { padding: 0; min-width: 0; min-height: 0; }"
    "button.tolvane { padding: 0 2px; min-height: 0; }"
    "entry { min-height: 0; padding-top: 0; padding-bottom: 0; }"
    "radiobutton.tolvane-bare { padding: 0; } radiobutton.tolvane-bare radio { margin: 0; }";
}  // namespace

GtkHost::GtkHost() = default;

GtkHost::~GtkHost() {
  // The program that took the events has ended before its host: nothing that runs
  // while the notice's last answer is awaited may reach it.
  SetEventSink(nullptr);
  sessionEnd_.reset();
  if (raiseCheck_ != 0) g_source_remove(raiseCheck_);
  notice_.reset();
  if (window_ != nullptr) gtk_widget_destroy(window_);
  if (drawnMarks_ != nullptr) {
    gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(drawnMarks_));
    g_object_unref(drawnMarks_);
  }
  tray_.Set({}, "");
  if (trayMenu_ != nullptr) g_object_unref(trayMenu_);
  for (auto& [group, none] : radioNone_) g_object_unref(none);
  for (auto& [key, font] : fonts_) pango_font_description_free(font);
  for (auto& [label, caption] : laidOut_) g_object_unref(caption.layout);
}

int GtkHost::ClientHeight(int outerHeight) const {
  return ui::ScaleLength(outerHeight - kCaptionHeight - 2 * kFrameWidth, dpi_);
}

bool GtkHost::Build() {
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
  // GDK already multiplies every length by the monitor's whole scale factor; what
  // is left to apply is the desktop's text scaling, given as its resolution.
  const double resolution = gdk_screen_get_resolution(gdk_screen_get_default());
  dpi_ = resolution > 0 ? static_cast<int>(std::lround(resolution)) : ui::kBaseDpi;

  const ui::WindowDef& def = ui::MainWindow();
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (window_ == nullptr) return false;
  gtk_window_set_title(GTK_WINDOW(window_), GbkToUtf8(def.title).c_str());
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);  // no dragging the frame, no maximise
  gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
  CreateControls();
  CreateTrayMenu();
  gtk_widget_set_size_request(layout_, ui::ScaleLength(def.rect.width - 2 * kFrameWidth, dpi_), ClientHeight(def.rect.height));
  gtk_container_add(GTK_CONTAINER(window_), layout_);
  gtk_widget_show(layout_);
  ConnectWindowSignals();

  eventsLive_ = true;
  // The desktop may end the session from the moment the program runs.
  sessionEnd_ = std::make_unique<SessionEnd>([this] { Raise(ui::kWindowName, ui::Event::CloseRequest); },
                                             [this] { Raise(ui::kWindowName, ui::Event::SessionEndQuery); },
                                             [this] { EndNow(); });
  Raise(ui::kWindowName, ui::Event::Created);
  if (window_ == nullptr) return true;  // the start-up destroyed the window
  Raise(ui::kWindowName, ui::Event::PositionChanged);
  if (window_ != nullptr && def.visible) gtk_widget_show(window_);
  return true;
}

void GtkHost::RunMainLoop() {
  if (window_ != nullptr) gtk_main();
}

std::uint32_t GtkHost::TickCount() const { return static_cast<std::uint32_t>(g_get_monotonic_time() / 1000); }

GtkWidget* GtkHost::Widget(const ui::ControlState& control) const {
  if (control.type == ControlType::Window) return window_;
  auto it = widgets_.find(control.def->name);
  return it == widgets_.end() ? nullptr : it->second;
}

ui::ControlState* GtkHost::ControlOf(GtkWidget* widget) {
  const auto* name = static_cast<const char*>(g_object_get_data(G_OBJECT(widget), "tolvane-control"));
  if (name == nullptr || window_ == nullptr) return nullptr;
  return &State(name);
}

void GtkHost::Push(ui::ControlState& control, Prop prop) {
  GtkWidget* widget = Widget(control);
  if (widget == nullptr) return;  // menu items, timers and the dialog have no widget
  const bool isWindow = control.type == ControlType::Window;
  ++pushing_;
  switch (prop) {
    case Prop::Rect:
      if (isWindow) {
        gtk_widget_set_size_request(layout_, ui::ScaleLength(control.rect.width - 2 * kFrameWidth, dpi_),
                                    ClientHeight(control.rect.height));
      }
      break;
    case Prop::Visible:
    case Prop::Disabled:
      // A window hidden while minimised would be mapped minimised again: it comes back normal.
      if (prop == Prop::Visible && isWindow && control.visible && !gtk_widget_get_visible(widget)) {
        gtk_window_deiconify(GTK_WINDOW(widget));
      }
      if (prop == Prop::Visible) gtk_widget_set_visible(widget, control.visible);
      if (prop == Prop::Disabled) gtk_widget_set_sensitive(widget, Usable(control));
      for (GtkWidget* companion : companions_[control.def ? control.def->name : ""]) {
        gtk_widget_set_visible(companion, control.visible);
        gtk_widget_set_sensitive(companion, !control.disabled);
      }
      if (prop == Prop::Disabled) ApplyTextAttributes(control);
      break;
    case Prop::Caption:
      if (isWindow) {
        gtk_window_set_title(GTK_WINDOW(widget), GbkToUtf8(control.caption).c_str());
      } else if (control.type == ControlType::Label) {
        atk_object_set_name(gtk_widget_get_accessible(widget), GbkToUtf8(control.caption).c_str());
        RedrawLabelText(control);
      } else if (GTK_IS_MENU_ITEM(widget)) {
        gtk_menu_item_set_label(GTK_MENU_ITEM(widget), GbkToUtf8(control.caption).c_str());
      } else if (GTK_IS_BUTTON(widget)) {
        gtk_button_set_label(GTK_BUTTON(widget), GbkToUtf8(control.caption).c_str());
        ApplyTextAttributes(control);
      }
      break;
    case Prop::Content:
      if (GTK_IS_ENTRY(widget)) gtk_entry_set_text(GTK_ENTRY(widget), GbkToUtf8(control.content).c_str());
      break;
    case Prop::TextColour:
      if (control.type == ControlType::Label) {
        gtk_widget_queue_draw(widget);
      } else {
        ApplyTextAttributes(control);
      }
      break;
    case Prop::Checked:
      if (control.type == ControlType::CheckBox) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), control.checked);
      } else if (control.type == ControlType::RadioBox) {
        if (control.checked) {
          gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), TRUE);
        } else if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget))) {
          gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(radioNone_[control.def->parent]), TRUE);
        }
      }
      break;
    case Prop::Value:
      if (auto it = pickers_.find(control.def->name); it != pickers_.end()) it->second->SetValue(control.value);
      break;
    case Prop::PickerFormat:
      if (auto it = pickers_.find(control.def->name); it != pickers_.end()) it->second->SetFormat(control.pickerFormat);
      break;
    case Prop::State: ApplyWindowState(control.windowState); break;
    case Prop::AlwaysOnTop: gtk_window_set_keep_above(GTK_WINDOW(window_), control.alwaysOnTop); break;
    case Prop::Icon: {
      GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("ico", nullptr);
      if (loader != nullptr) {
        gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(control.iconFile.data()), control.iconFile.size(), nullptr);
        gdk_pixbuf_loader_close(loader, nullptr);
        if (GdkPixbuf* icon = gdk_pixbuf_loader_get_pixbuf(loader)) gtk_window_set_icon(GTK_WINDOW(window_), icon);
        g_object_unref(loader);
      }
      break;
    }
    case Prop::Tag:
    case Prop::Interval:
      break;
  }
  --pushing_;
}

void GtkHost::Pull(ui::ControlState& control, Prop prop) {
  GtkWidget* widget = Widget(control);
  if (widget == nullptr) return;
  switch (prop) {
    case Prop::Checked:
      if (control.type == ControlType::CheckBox || control.type == ControlType::RadioBox) {
        control.checked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) != FALSE;
      }
      break;
    case Prop::Content:
      if (GTK_IS_ENTRY(widget)) control.content = Utf8ToGbk(gtk_entry_get_text(GTK_ENTRY(widget)));
      break;
    case Prop::Value:
      if (auto it = pickers_.find(control.def->name); it != pickers_.end()) control.value = it->second->Value();
      break;
    case Prop::State:
      // Minimised is reported only while a panel shows the icon to bring the window
      // back from: otherwise the window minimises as any other does and stays reachable.
      if (iconified_ && TrayHostPresent() && tray_.Shown()) {
        control.windowState = ui::kStateMinimised;
      } else {
        control.windowState = gtk_window_is_maximized(GTK_WINDOW(window_)) ? ui::kStateMaximised : ui::kStateNormal;
      }
      break;
    case Prop::Visible:
      if (control.type == ControlType::Window) control.visible = gtk_widget_get_visible(window_) != FALSE;
      break;
    default:
      break;
  }
}

void GtkHost::Centre() {
  GdkDisplay* display = gtk_widget_get_display(window_);
  GdkMonitor* monitor = gtk_widget_get_window(window_) != nullptr
                            ? gdk_display_get_monitor_at_window(display, gtk_widget_get_window(window_))
                            : gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return;
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  int width = 0, height = 0;
  gtk_window_get_size(GTK_WINDOW(window_), &width, &height);
  gtk_window_move(GTK_WINDOW(window_), area.x + (area.width - width) / 2, area.y + (area.height - height) / 2);
}

void GtkHost::ApplyWindowState(int state) {
  GtkWindow* window = GTK_WINDOW(window_);
  switch (state) {
    case ui::kStateNormal:
      gtk_window_deiconify(window);
      gtk_window_unmaximize(window);
      gtk_widget_show(window_);
      break;
    case ui::kStateRestoreCentred:
      gtk_window_deiconify(window);
      gtk_window_unmaximize(window);
      Centre();
      break;
    case ui::kStateMinimised: gtk_window_iconify(window); break;
    case ui::kStateMaximised: gtk_window_maximize(window); break;
    default: break;
  }
}

bool GtkHost::MinimiseObservable() const { return GDK_IS_X11_DISPLAY(gdk_display_get_default()); }

bool GtkHost::Usable(const ui::ControlState& control) const {
  // Where minimising goes unseen the window is never hidden in the tray, and
  // 显示窗口 is the way to bring it forward from behind others or the taskbar.
  return !control.disabled ||
         (control.def->name == std::string_view(ui::names::菜单项_显示窗口) && !MinimiseObservable());
}

void GtkHost::PresentWindow() {
  if (window_ == nullptr) return;
  if (!activationToken_.empty()) {
    // GDK on Wayland activates with the display's token, and asks for a new one without.
    GdkDisplay* display = gtk_widget_get_display(window_);
    if (GDK_IS_WAYLAND_DISPLAY(display)) {
      gdk_wayland_display_set_startup_notification_id(display, activationToken_.c_str());
    } else {
      gtk_window_set_startup_id(GTK_WINDOW(window_), activationToken_.c_str());
    }
  }
  activationToken_.clear();
  gtk_window_present(GTK_WINDOW(window_));
}

void GtkHost::ActivateWindow() {
  PresentWindow();
  // A desktop may refuse a background program the focus: ask for attention instead.
  if (!gtk_window_is_active(GTK_WINDOW(window_))) gtk_window_set_urgency_hint(GTK_WINDOW(window_), TRUE);
  // Whether the window came forward is known only once the desktop has answered: a
  // window that is not the active one a moment later was refused the front (always
  // so on Wayland, where only a token from the user's own action may move the focus;
  // on X11 where the window manager keeps the focus from programs in the background).
  if (raiseCheck_ == 0) {
    raiseCheck_ = g_timeout_add(
        kRaiseAnswerMs,
        [](gpointer host) -> gboolean {
          static_cast<GtkHost*>(host)->CheckRaised();
          return G_SOURCE_REMOVE;
        },
        this);
  }
}

void GtkHost::CheckRaised() {
  raiseCheck_ = 0;
  if (window_ == nullptr || gtk_window_is_active(GTK_WINDOW(window_))) return;
  raiseRefused_ = true;
  if (!noticeText_.empty()) SetPromptNotice(noticeText_);
}

void GtkHost::SetPromptNotice(const std::string& text) {
  noticeText_ = text;
  if (text.empty()) {
    raiseRefused_ = false;
    if (notice_ != nullptr) notice_->Withdraw();
    return;
  }
  if (!raiseRefused_) return;
  if (notice_ == nullptr) {
    PromptNotice::Handlers handlers;
    handlers.cancel = [this] {
      if (window_ != nullptr && !State(ui::names::按钮2).disabled) Raise(ui::names::按钮2, ui::Event::Clicked);
    };
    handlers.show = [this](const std::string& token) {
      activationToken_ = token;
      RaiseTrayOperation(1);
      PresentWindow();
    };
    notice_ = std::make_unique<PromptNotice>(std::move(handlers), NoticeImage());
  }
  notice_->Post(text);
}

void GtkHost::EndNow() {
  // A box's nested loop would hold the program until someone answered it; closed
  // unanswered, each gives the answer that starts nothing (OK or Cancel).
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w != nullptr; w = w->next) g_object_ref(w->data);  // a response may destroy one
  for (GList* w = windows; w != nullptr; w = w->next) {
    if (GTK_IS_DIALOG(w->data) && w->data != window_) gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_DELETE_EVENT);
  }
  g_list_free_full(windows, g_object_unref);
  // The portal's chooser is no window of ours; hidden, its loop returns with no file.
  if (openDialog_ != nullptr) gtk_native_dialog_hide(openDialog_);
  if (openMenu_ != nullptr) gtk_menu_shell_deactivate(GTK_MENU_SHELL(openMenu_));
  CloseWindow();
}

void GtkHost::CloseWindow() {
  // Destroyed from the main loop once the running handler has returned.
  g_idle_add(
      [](gpointer host) -> gboolean {
        auto* self = static_cast<GtkHost*>(host);
        if (self->window_ != nullptr) gtk_widget_destroy(self->window_);
        return G_SOURCE_REMOVE;
      },
      this);
}

}  // namespace tolvane::gtk
