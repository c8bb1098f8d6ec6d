// The picker widget: a drawing area that shows the editor's segments and turns
// clicks and keys into the editor's field operations.
#include "gtk/date_picker.h"

#include "platform/text/text_linux.h"

namespace tolvane::gtk {
namespace {
constexpr int kInset = 4;  // text starts this far inside the edge

void Rectangle(cairo_t* cr, double r, double g, double b, int x, int y, int w, int h) {
  cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

void SetSource(cairo_t* cr, ui::Colour c) { cairo_set_source_rgb(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0); }
}  // namespace

void DrawSunkenEdge(cairo_t* cr, int width, int height) {
  // Outer: shadow above and left, highlight below and right; inner: dark shadow and light.
  Rectangle(cr, 160, 160, 160, 0, 0, width, 1);
  Rectangle(cr, 160, 160, 160, 0, 0, 1, height);
  Rectangle(cr, 255, 255, 255, 0, height - 1, width, 1);
  Rectangle(cr, 255, 255, 255, width - 1, 0, 1, height);
  Rectangle(cr, 105, 105, 105, 1, 1, width - 2, 1);
  Rectangle(cr, 105, 105, 105, 1, 1, 1, height - 2);
  Rectangle(cr, 227, 227, 227, 1, height - 2, width - 2, 1);
  Rectangle(cr, 227, 227, 227, width - 2, 1, 1, height - 2);
}

DatePicker::DatePicker(const PangoFontDescription* font, std::function<void()> onChanged)
    : field_(gtk_drawing_area_new()), font_(font), onChanged_(std::move(onChanged)) {
  gtk_widget_set_can_focus(field_, TRUE);
  gtk_widget_add_events(field_, GDK_BUTTON_PRESS_MASK | GDK_KEY_PRESS_MASK | GDK_FOCUS_CHANGE_MASK);
  g_signal_connect(field_, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(field_, "button-press-event", G_CALLBACK(OnPress), this);
  g_signal_connect(field_, "key-press-event", G_CALLBACK(OnKey), this);
  // Focus shows and hides the selection.
  g_signal_connect_swapped(field_, "focus-in-event", G_CALLBACK(gtk_widget_queue_draw), field_);
  g_signal_connect_swapped(field_, "focus-out-event", G_CALLBACK(gtk_widget_queue_draw), field_);
}

void DatePicker::SetFormat(const std::string& gbkFormat) {
  editor_.SetFormat(gbkFormat);
  Changed(false);
}

void DatePicker::SetValue(DateTime value) {
  editor_.SetValue(value);
  Changed(false);
}

void DatePicker::Spin(int direction) {
  if (!gtk_widget_is_sensitive(field_)) return;
  gtk_widget_grab_focus(field_);
  Changed(editor_.Step(direction));
}

void DatePicker::SetColours(const ui::SystemColours& colours) {
  colours_ = colours;
  gtk_widget_queue_draw(field_);
}

void DatePicker::Changed(bool changed) {
  // Painted text is invisible to screen readers; the shown text is the picker's name.
  atk_object_set_name(gtk_widget_get_accessible(field_), GbkToUtf8(editor_.Text()).c_str());
  gtk_widget_queue_draw(field_);
  if (changed && onChanged_) onChanged_();
}

gboolean DatePicker::OnDraw(GtkWidget*, cairo_t* cr, gpointer self) {
  static_cast<DatePicker*>(self)->Draw(cr);
  return TRUE;
}

void DatePicker::Draw(cairo_t* cr) {
  const int width = gtk_widget_get_allocated_width(field_);
  const int height = gtk_widget_get_allocated_height(field_);
  const bool enabled = gtk_widget_is_sensitive(field_);
  const bool focused = gtk_widget_has_focus(field_);
  // A white field with black text, greyed when disabled, as the layout has it; the
  // theme's field colours in a high-contrast theme.
  const ui::Colour white{255, 255, 255}, black{0, 0, 0};
  const ui::TextPaint paint = colours_.highContrast
                                  ? ui::PaintText(black, white, !enabled, colours_)
                                  : ui::TextPaint{enabled ? black : ui::Colour{109, 109, 109}, enabled ? white : ui::Colour{240, 240, 240}};
  SetSource(cr, paint.background);
  cairo_paint(cr);
  DrawSunkenEdge(cr, width, height);
  const auto segments = editor_.Segments();
  segmentEnds_.assign(segments.size(), 0);
  int x = kInset;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    PangoLayout* layout = gtk_widget_create_pango_layout(field_, GbkToUtf8(segments[i].text).c_str());
    pango_layout_set_font_description(layout, font_);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    const int y = (height - h) / 2;
    const bool selected = focused && enabled && static_cast<int>(i) == editor_.SelectedSegment();
    if (selected) Rectangle(cr, 0, 120, 215, x, y, w, h);
    SetSource(cr, selected ? white : paint.text);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    x += w;
    segmentEnds_[i] = x;
  }
}

gboolean DatePicker::OnPress(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto* picker = static_cast<DatePicker*>(self);
  if (event->button != GDK_BUTTON_PRIMARY || event->type != GDK_BUTTON_PRESS) return FALSE;
  gtk_widget_grab_focus(picker->field_);
  for (std::size_t i = 0; i < picker->segmentEnds_.size(); ++i) {
    if (event->x < picker->segmentEnds_[i] || i + 1 == picker->segmentEnds_.size()) {
      picker->editor_.SelectSegment(static_cast<int>(i));
      break;
    }
  }
  gtk_widget_queue_draw(picker->field_);
  return TRUE;
}

gboolean DatePicker::OnKey(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* picker = static_cast<DatePicker*>(self);
  switch (event->keyval) {
    case GDK_KEY_Left: case GDK_KEY_KP_Left: picker->editor_.SelectPrevious(); picker->Changed(false); return TRUE;
    case GDK_KEY_Right: case GDK_KEY_KP_Right: picker->editor_.SelectNext(); picker->Changed(false); return TRUE;
    case GDK_KEY_Up: case GDK_KEY_KP_Up: picker->Changed(picker->editor_.Step(1)); return TRUE;
    case GDK_KEY_Down: case GDK_KEY_KP_Down: picker->Changed(picker->editor_.Step(-1)); return TRUE;
    default: break;
  }
  const gunichar ch = gdk_keyval_to_unicode(event->keyval);
  if (ch >= '0' && ch <= '9') {
    picker->Changed(picker->editor_.TypeDigit(static_cast<int>(ch - '0')));
    return TRUE;
  }
  return FALSE;  // Tab and the rest move on as usual
}

}  // namespace tolvane::gtk
