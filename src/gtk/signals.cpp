// Signal handling of the GTK host: clicks, keys and focus of the controls, the
// window's close and move, and the timers on the GLib main loop.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "gtk/date_picker.h"
#include "gtk/gtk_host.h"
#include "ui/number_entry.h"

namespace tolvane::gtk {

using ui::ControlType;

namespace {
// Once-a-second timers tick this many milliseconds after the wall clock's second
// turns, so the clock display changes with the system clock and a tick never
// reads the second before the one it was meant for.
constexpr std::uint32_t kTickAfterSecondMs = 5;

GtkHost* HostOf(gpointer data) { return static_cast<GtkHost*>(data); }

// Typed characters pass the number boxes' filter one by one. The program's own text
// (the settings, a spin, the rewrite on leaving) and pasted text are kept as they are,
// as the Windows edit box filters only the characters typed into it.
void FilterTyping(GtkEditable* editable, const gchar* text, gint length, gint* position, gpointer host) {
  if (HostOf(host)->Writing()) return;
  std::string kept;
  const gchar* end = text + (length < 0 ? std::strlen(text) : static_cast<std::size_t>(length));
  for (const gchar* p = text; p < end; p = g_utf8_next_char(p)) {
    const gunichar ch = g_utf8_get_char(p);
    if (ui::AcceptTypedCharacter(ch)) kept.append(p, static_cast<std::size_t>(g_utf8_next_char(p) - p));
  }
  if (kept.size() == static_cast<std::size_t>(end - text)) return;
  g_signal_stop_emission_by_name(editable, "insert-text");
  if (kept.empty()) return;
  g_signal_handlers_block_by_func(editable, reinterpret_cast<gpointer>(FilterTyping), host);
  gtk_editable_insert_text(editable, kept.c_str(), static_cast<gint>(kept.size()), position);
  g_signal_handlers_unblock_by_func(editable, reinterpret_cast<gpointer>(FilterTyping), host);
}

// A paste inserts the clipboard's text unfiltered, as on Windows.
void PasteUnfiltered(GtkEntry* entry, gpointer host) {
  g_signal_stop_emission_by_name(entry, "paste-clipboard");
  if (!gtk_editable_get_editable(GTK_EDITABLE(entry))) return;
  gchar* text = gtk_clipboard_wait_for_text(gtk_widget_get_clipboard(GTK_WIDGET(entry), GDK_SELECTION_CLIPBOARD));
  if (text == nullptr) return;
  HostOf(host)->BeginWriting();
  gtk_editable_delete_selection(GTK_EDITABLE(entry));
  gint position = gtk_editable_get_position(GTK_EDITABLE(entry));
  gtk_editable_insert_text(GTK_EDITABLE(entry), text, -1, &position);
  gtk_editable_set_position(GTK_EDITABLE(entry), position);
  HostOf(host)->EndWriting();
  g_free(text);
}
}  // namespace

void GtkHost::ConnectSignals(const ui::ControlDef& def, GtkWidget* widget) {
  switch (def.type) {
    case ControlType::Label:
      g_signal_connect(widget, "draw", G_CALLBACK(+[](GtkWidget* w, cairo_t* cr, gpointer host) -> gboolean {
                         HostOf(host)->DrawLabel(w, cr);
                         return TRUE;
                       }), this);
      g_signal_connect(widget, "button-press-event", G_CALLBACK(+[](GtkWidget* w, GdkEventButton* e, gpointer host) -> gboolean {
                         if (ui::ControlState* label = HostOf(host)->ControlOf(w)) HostOf(host)->LabelPressed(*label, e);
                         return FALSE;
                       }), this);
      break;
    case ControlType::Button:
    case ControlType::CheckBox:
      g_signal_connect(widget, "clicked", G_CALLBACK(+[](GtkWidget* w, gpointer host) {
                         GtkHost* self = HostOf(host);
                         if (self->pushing_ > 0 || !self->eventsLive_) return;
                         if (ui::ControlState* control = self->ControlOf(w)) self->Raise(std::string(control->def->name), ui::Event::Clicked);
                       }), this);
      break;
    case ControlType::RadioBox:
      g_signal_connect(widget, "clicked", G_CALLBACK(+[](GtkWidget* w, gpointer host) {
                         GtkHost* self = HostOf(host);
                         // The sibling GTK unchecks is "clicked" too; only the checked one was the user's.
                         if (self->pushing_ > 0 || !self->eventsLive_ || !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w))) return;
                         if (ui::ControlState* control = self->ControlOf(w)) self->UserClickedRadio(std::string(control->def->name));
                       }), this);
      break;
    case ControlType::EditBox:
      if (!def.spin) break;
      g_signal_connect(widget, "insert-text", G_CALLBACK(FilterTyping), this);
      g_signal_connect(widget, "paste-clipboard", G_CALLBACK(PasteUnfiltered), this);
      g_signal_connect(widget, "focus-out-event", G_CALLBACK(+[](GtkWidget* w, GdkEvent*, gpointer host) -> gboolean {
                         if (ui::ControlState* control = HostOf(host)->ControlOf(w)) HostOf(host)->NormaliseOnLeave(*control);
                         return FALSE;
                       }), this);
      for (int i = 0; i < 2; ++i) {
        GtkWidget* arrow = companions_[def.name][static_cast<std::size_t>(i)];
        g_object_set_data(G_OBJECT(arrow), "tolvane-control", const_cast<char*>(def.name));
        g_signal_connect(arrow, "clicked", G_CALLBACK(i == 0 ? +[](GtkWidget* w, gpointer host) {
                           if (ui::ControlState* c = HostOf(host)->ControlOf(w)) HostOf(host)->SpinNumberBox(*c, 1);
                         } : +[](GtkWidget* w, gpointer host) {
                           if (ui::ControlState* c = HostOf(host)->ControlOf(w)) HostOf(host)->SpinNumberBox(*c, -1);
                         }), this);
      }
      break;
    default:
      break;
  }
}

void GtkHost::LabelPressed(ui::ControlState& label, GdkEventButton* event) {
  if (event->button != GDK_BUTTON_PRIMARY) return;
  ui::EventArgs args;
  args.x = static_cast<int>(event->x);
  args.y = static_cast<int>(event->y);
  args.keys = ((event->state & GDK_CONTROL_MASK) ? 1 : 0) | ((event->state & GDK_SHIFT_MASK) ? 2 : 0) |
              ((event->state & GDK_MOD1_MASK) ? 4 : 0);
  const std::string name = label.def->name;
  if (event->type == GDK_2BUTTON_PRESS) {
    Raise(name, ui::Event::LeftDoubleClick, args);
    return;
  }
  if (event->type != GDK_BUTTON_PRESS) return;
  // GTK reports a double click as press, press, double-press; Windows as down and
  // double-click. The second press of a pair is the double-press's own.
  gint doubleTime = 400, doubleDistance = 5;
  g_object_get(gtk_widget_get_settings(window_), "gtk-double-click-time", &doubleTime, "gtk-double-click-distance",
               &doubleDistance, nullptr);
  const bool second = lastPressSingle_ && event->time - lastPressTime_ <= static_cast<guint32>(doubleTime) &&
                      std::abs(event->x_root - lastPressX_) <= doubleDistance &&
                      std::abs(event->y_root - lastPressY_) <= doubleDistance;
  lastPressTime_ = event->time;
  lastPressX_ = event->x_root;
  lastPressY_ = event->y_root;
  lastPressSingle_ = !second;
  if (!second) Raise(name, ui::Event::LeftButtonDown, args);
}

void GtkHost::ConnectWindowSignals() {
  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer host) -> gboolean {
                     GtkHost* self = HostOf(host);
                     self->Raise(ui::kWindowName, ui::Event::CloseRequest);
                     if (self->window_ != nullptr) gtk_widget_destroy(self->window_);
                     return TRUE;
                   }), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer host) { HostOf(host)->WindowDestroyed(); }), this);
  g_signal_connect(window_, "configure-event", G_CALLBACK(+[](GtkWidget*, GdkEventConfigure*, gpointer host) -> gboolean {
                     if (HostOf(host)->eventsLive_) HostOf(host)->Raise(ui::kWindowName, ui::Event::PositionChanged);
                     return FALSE;
                   }), this);
  g_signal_connect(window_, "window-state-event", G_CALLBACK(+[](GtkWidget*, GdkEventWindowState* e, gpointer host) -> gboolean {
                     GtkHost* self = HostOf(host);
                     if ((e->changed_mask & GDK_WINDOW_STATE_ICONIFIED) == 0) return FALSE;
                     self->iconified_ = (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
                     // Minimising moves no frame: it is told as the position change Windows sends.
                     if (self->iconified_ && self->eventsLive_) self->Raise(ui::kWindowName, ui::Event::PositionChanged);
                     return FALSE;
                   }), this);
  g_signal_connect(window_, "focus-in-event", G_CALLBACK(+[](GtkWidget* w, GdkEvent*, gpointer) -> gboolean {
                     gtk_window_set_urgency_hint(GTK_WINDOW(w), FALSE);
                     return FALSE;
                   }), nullptr);
}

void GtkHost::WindowDestroyed() {
  // The icon leaves the notification area with the window.
  tray_.Set({}, "");
  for (auto& [name, source] : timers_) g_source_remove(source);
  timers_.clear();
  window_ = nullptr;
  layout_ = nullptr;
  gtk_main_quit();
}

void GtkHost::RestartTimer(ui::ControlState& timer) {
  const std::string name = timer.def->name;
  if (auto it = timers_.find(name); it != timers_.end()) {
    g_source_remove(it->second);
    timers_.erase(it);
  }
  if (timer.interval > 0 && window_ != nullptr) ScheduleTimer(name);
}

void GtkHost::ScheduleTimer(const std::string& name) {
  const std::int32_t interval = State(name).interval;
  gint64 delay = interval;
  if (ui::FollowsWallClock(interval)) {
    // Recomputed at every tick, so the ticks follow the clock and never drift.
    delay = ui::MsToNextSecondTick(static_cast<std::uint32_t>((g_get_real_time() / 1000) % 1000), kTickAfterSecondMs);
  }
  struct Due {
    GtkHost* host;
    std::string name;
  };
  timers_[name] = g_timeout_add_full(
      G_PRIORITY_DEFAULT, static_cast<guint>(delay),
      [](gpointer data) -> gboolean {
        const auto* due = static_cast<Due*>(data);
        due->host->TimerFired(due->name);
        return G_SOURCE_REMOVE;
      },
      new Due{this, name}, [](gpointer data) { delete static_cast<Due*>(data); });
}

void GtkHost::TimerFired(const std::string& name) {
  timers_.erase(name);
  if (window_ == nullptr) return;
  // The next tick is due before this one is handled: a box opened by the
  // handler runs a nested loop in which the timers go on.
  if (State(name).interval > 0) ScheduleTimer(name);
  Raise(name, ui::Event::Tick);
}

}  // namespace tolvane::gtk
