#pragma once
// The date-time picker of the GTK host: the value shown in its display format,
// a field selected by click or left/right, digits and up/down typed into it, and
// spin arrows at the right end, as the Windows picker behaves.
#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/date_fields.h"
#include "ui/text_colours.h"

namespace tolvane::gtk {

class DatePicker {
 public:
  // onChanged runs after each change the user made.
  DatePicker(const PangoFontDescription* font, std::function<void()> onChanged);
  DatePicker(const DatePicker&) = delete;
  DatePicker& operator=(const DatePicker&) = delete;

  GtkWidget* Field() const { return field_; }
  void SetFormat(const std::string& gbkFormat);
  void SetValue(DateTime value);
  DateTime Value() const { return editor_.Value(); }
  // A spin arrow: steps the selected field.
  void Spin(int direction);
  // The theme's colours; in a high-contrast theme the field is painted in its field colours.
  void SetColours(const ui::SystemColours& colours);

 private:
  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean OnPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
  void Draw(cairo_t* cr);
  void Changed(bool changed);

  GtkWidget* field_;
  const PangoFontDescription* font_;
  std::function<void()> onChanged_;
  ui::DateFieldEditor editor_;
  std::vector<int> segmentEnds_;  // right edge of each segment as last drawn, in pixels
  ui::SystemColours colours_;
};

// The sunken 3-D edge of labels, edit boxes and pickers, 2 pixels wide on every side.
inline constexpr int kSunkenEdgeWidth = 2;
void DrawSunkenEdge(cairo_t* cr, int width, int height);

}  // namespace tolvane::gtk
