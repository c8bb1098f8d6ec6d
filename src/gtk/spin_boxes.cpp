// The boxes with spin arrows at their right edge: the number boxes (their text kept a
// whole number in range) and the date and time pickers.
#include <algorithm>
#include <memory>

#include "gtk/date_picker.h"
#include "gtk/gtk_host.h"
#include "platform/text/text_linux.h"
#include "ui/number_entry.h"

namespace tolvane::gtk {

namespace {
constexpr int kSpinWidth = 17;  // the width of Windows' spin arrows at 96 DPI

// The spin arrows' triangles, drawn over the button in its own text colour (so in every
// theme and state). A theme's arrow icons are vector images, and reading them would
// load the icon theme and the SVG renderer at start for two small triangles.
gboolean DrawSpinTriangle(GtkWidget* button, cairo_t* cr, gpointer pointsUp) {
  const bool up = GPOINTER_TO_INT(pointsUp) != 0;
  const double width = gtk_widget_get_allocated_width(button), height = gtk_widget_get_allocated_height(button);
  // The size of the theme's own arrow: 12 pixels wide and 6 high, less only in a smaller button.
  const double half = std::min({6.0, width / 2 - 2, height - 2}), middle = height / 2;
  if (half <= 0) return FALSE;
  GdkRGBA colour;
  GtkStyleContext* style = gtk_widget_get_style_context(button);
  gtk_style_context_get_color(style, gtk_style_context_get_state(style), &colour);
  gdk_cairo_set_source_rgba(cr, &colour);
  const double tip = up ? middle - half / 2 : middle + half / 2;
  const double base = up ? middle + half / 2 : middle - half / 2;
  cairo_move_to(cr, width / 2 - half, base);
  cairo_line_to(cr, width / 2 + half, base);
  cairo_line_to(cr, width / 2, tip);
  cairo_close_path(cr);
  cairo_fill(cr);
  return FALSE;
}
}  // namespace

GtkWidget* GtkHost::SpinArrow(const ui::Rect& rect, bool up) {
  GtkWidget* arrow = gtk_button_new();
  g_signal_connect_after(arrow, "draw", G_CALLBACK(DrawSpinTriangle), GINT_TO_POINTER(up ? 1 : 0));
  gtk_style_context_add_class(gtk_widget_get_style_context(arrow), "tolvane-spin");
  gtk_widget_set_can_focus(arrow, FALSE);
  return Place(arrow, rect);
}

void GtkHost::CreateNumberBox(const ui::ControlDef& def, const ui::Rect& rect) {
  // The box shares its rectangle with the spin arrows at its right edge.
  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(entry), GbkToUtf8(def.text).c_str());
  gtk_entry_set_alignment(GTK_ENTRY(entry), def.align == ui::Align::Centre ? 0.5f : 0.0f);
  Place(entry, {rect.left, rect.top, rect.width - kSpinWidth, rect.height});
  widgets_[def.name] = entry;
  const int half = rect.height / 2;
  GtkWidget* up = SpinArrow({rect.left + rect.width - kSpinWidth, rect.top, kSpinWidth, half}, true);
  GtkWidget* down = SpinArrow({rect.left + rect.width - kSpinWidth, rect.top + half, kSpinWidth, rect.height - half}, false);
  companions_[def.name] = {up, down};
}

void GtkHost::CreatePicker(const ui::ControlDef& def, const ui::Rect& rect) {
  const std::string name = def.name;
  auto picker = std::make_unique<DatePicker>(FontFor(def.font), [this, name] {
    // Reported once the picker has finished with the key or click, as a posted message would be.
    auto* pending = new std::pair<GtkHost*, std::string>(this, name);
    g_idle_add(
        [](gpointer data) -> gboolean {
          std::unique_ptr<std::pair<GtkHost*, std::string>> change(static_cast<std::pair<GtkHost*, std::string>*>(data));
          if (change->first->WindowExists()) change->first->UserChangedPicker(change->second);
          return G_SOURCE_REMOVE;
        },
        pending);
  });
  const int arrowWidth = kSpinWidth + 2;
  Place(picker->Field(), {rect.left, rect.top, rect.width - arrowWidth, rect.height});
  const int half = rect.height / 2;
  GtkWidget* up = SpinArrow({rect.left + rect.width - arrowWidth, rect.top, arrowWidth, half}, true);
  GtkWidget* down = SpinArrow({rect.left + rect.width - arrowWidth, rect.top + half, arrowWidth, rect.height - half}, false);
  DatePicker* raw = picker.get();
  raw->SetColours(colours_);
  g_signal_connect_swapped(up, "clicked", G_CALLBACK(+[](DatePicker* p) { p->Spin(1); }), raw);
  g_signal_connect_swapped(down, "clicked", G_CALLBACK(+[](DatePicker* p) { p->Spin(-1); }), raw);
  widgets_[def.name] = picker->Field();
  companions_[def.name] = {up, down};
  pickers_[def.name] = std::move(picker);
}

void GtkHost::NormaliseOnLeave(ui::ControlState& control) {
  GtkWidget* entry = Widget(control);
  const std::string old = gtk_entry_get_text(GTK_ENTRY(entry));
  const std::string replacement = GbkToUtf8(ui::NormaliseWholeNumber(Utf8ToGbk(old)));
  if (replacement == old) return;
  int start = 0, end = 0;
  gtk_editable_get_selection_bounds(GTK_EDITABLE(entry), &start, &end);
  BeginWriting();
  gtk_entry_set_text(GTK_ENTRY(entry), replacement.c_str());
  EndWriting();
  gtk_editable_set_position(GTK_EDITABLE(entry), start);
}

void GtkHost::SpinNumberBox(ui::ControlState& control, int direction) {
  GtkWidget* entry = Widget(control);
  if (!gtk_widget_is_sensitive(entry) || !gtk_widget_get_visible(entry)) return;
  const std::string text = ui::SpinWholeNumber(Utf8ToGbk(gtk_entry_get_text(GTK_ENTRY(entry))), *control.def->spin, direction);
  BeginWriting();
  gtk_entry_set_text(GTK_ENTRY(entry), GbkToUtf8(text).c_str());
  EndWriting();
  gtk_widget_grab_focus(entry);  // selects the whole text
}

}  // namespace tolvane::gtk
