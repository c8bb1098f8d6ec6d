// The painted labels: each caption laid out once in the label's font and kept until it
// is drawn, and a new caption repainting only the pixels that change.
#include <cstring>

#include "gtk/date_picker.h"
#include "gtk/gtk_host.h"
#include "platform/text/text_linux.h"
#include "ui/text_colours.h"

namespace tolvane::gtk {

// Windows' symbol font has no counterpart here: its play-button glyph is drawn
// from the text font instead.
std::string CaptionText(const ui::ControlDef& def, const std::string& gbk) {
  if (def.font.face != nullptr && std::strcmp(def.font.face, "Wingdings 3") == 0 && gbk == "u") return "\xE2\x96\xB6";
  return GbkToUtf8(gbk);
}

namespace {
// The part of a label inside its edge, in the label's own pixels.
GdkRectangle LabelInside(GtkWidget* widget, const ui::ControlDef& def) {
  const int inset = def.sunkenBorder ? kSunkenEdgeWidth : 0;
  return GdkRectangle{inset, inset, gtk_widget_get_allocated_width(widget) - 2 * inset,
                      gtk_widget_get_allocated_height(widget) - 2 * inset};
}
}  // namespace

// The caption laid out in the label's font, and where it goes inside the label's edge.
GtkHost::PlacedCaption GtkHost::PlaceCaption(GtkWidget* widget, const ui::ControlDef& def, const std::string& caption) {
  // A half-width space is half an em in the Windows CJK faces the captions were
  // laid out with, but narrower in others: runs of spaces that leave room for
  // the boxes set into a label are drawn as en spaces, which are half an em everywhere.
  std::string text = CaptionText(def, caption);
  for (std::size_t at = text.find(' '); at != std::string::npos; at = text.find(' ', at + 3)) text.replace(at, 1, "\xE2\x80\x82");
  PlacedCaption placed;
  placed.caption = caption;
  placed.width = gtk_widget_get_allocated_width(widget);
  placed.height = gtk_widget_get_allocated_height(widget);
  placed.layout = gtk_widget_create_pango_layout(widget, text.c_str());
  if (PangoFontDescription* font = FontFor(def.font)) pango_layout_set_font_description(placed.layout, font);
  pango_layout_set_single_paragraph_mode(placed.layout, TRUE);
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(placed.layout, &ink, &logical);
  const GdkRectangle inside = LabelInside(widget, def);
  placed.x = inside.x + (def.align == ui::Align::Centre ? (inside.width - logical.width) / 2 : 0);
  placed.y = (placed.height - logical.height) / 2;
  // Where its pixels fall, a pixel wider for the smoothed edges of the glyphs.
  placed.area = GdkRectangle{placed.x + logical.x - 1, placed.y + logical.y - 1, logical.width + 2, logical.height + 2};
  const GdkRectangle inked{placed.x + ink.x - 1, placed.y + ink.y - 1, ink.width + 2, ink.height + 2};
  gdk_rectangle_union(&placed.area, &inked, &placed.area);
  return placed;
}

void GtkHost::DrawLabel(GtkWidget* widget, cairo_t* cr) {
  ui::ControlState* label = ControlOf(widget);
  if (label == nullptr) return;
  const ui::ControlDef& def = *label->def;
  const int width = gtk_widget_get_allocated_width(widget);
  const int height = gtk_widget_get_allocated_height(widget);
  const ui::TextPaint paint = ui::PaintText(label->textColour, def.background, label->disabled, colours_);
  // Without a colour of its own the label shows the window's background through.
  if (def.background) {
    cairo_set_source_rgb(cr, paint.background.red / 255.0, paint.background.green / 255.0, paint.background.blue / 255.0);
    cairo_paint(cr);
  }
  if (def.sunkenBorder) DrawSunkenEdge(cr, width, height);
  captionAreas_[widget] = GdkRectangle{};
  // The caption laid out when it was set serves, unless the label has changed since.
  PlacedCaption caption;
  if (auto ready = laidOut_.find(widget); ready != laidOut_.end()) {
    if (ready->second.caption == label->caption && ready->second.width == width && ready->second.height == height) {
      caption = ready->second;
    } else {
      g_object_unref(ready->second.layout);
    }
    laidOut_.erase(ready);
  }
  if (label->caption.empty()) {
    if (caption.layout != nullptr) g_object_unref(caption.layout);
    return;
  }
  if (caption.layout == nullptr) caption = PlaceCaption(widget, def, label->caption);
  captionAreas_[widget] = caption.area;
  const GdkRectangle inside = LabelInside(widget, def);
  gdk_cairo_rectangle(cr, &inside);
  cairo_clip(cr);
  cairo_set_source_rgb(cr, paint.text.red / 255.0, paint.text.green / 255.0, paint.text.blue / 255.0);
  cairo_move_to(cr, caption.x, caption.y);
  pango_cairo_show_layout(cr, caption.layout);
  g_object_unref(caption.layout);
}

// A new caption repaints only where the old one was drawn and where the new one goes.
// The clock and the board change every second, and the board's edge touches the
// 启 动 and 取 消 buttons: a repaint of the whole label would draw them and their
// shadows again each time.
void GtkHost::RedrawLabelText(ui::ControlState& label) {
  GtkWidget* widget = Widget(label);
  // A label not on screen (the window hidden or minimised) is painted whole when it shows.
  if (!gtk_widget_is_drawable(widget)) return;
  GdkRectangle area{};
  if (!label.caption.empty()) {
    // Kept for the paint that follows, so the caption is shaped once.
    PlacedCaption& caption = laidOut_[widget];
    if (caption.layout != nullptr) g_object_unref(caption.layout);
    caption = PlaceCaption(widget, *label.def, label.caption);
    area = caption.area;
  }
  if (auto old = captionAreas_.find(widget); old != captionAreas_.end()) {
    // An empty rectangle is no place: joined, it would still stretch the area to its corner.
    if (area.width <= 0 || area.height <= 0) {
      area = old->second;
    } else if (old->second.width > 0 && old->second.height > 0) {
      gdk_rectangle_union(&area, &old->second, &area);
    }
  } else {
    area = LabelInside(widget, *label.def);  // never drawn yet
  }
  const GdkRectangle inside = LabelInside(widget, *label.def);
  if (gdk_rectangle_intersect(&area, &inside, &area)) gtk_widget_queue_draw_area(widget, area.x, area.y, area.width, area.height);
}

}  // namespace tolvane::gtk
