// The controls of the GTK host: the layout that gives every control exactly its
// rectangle, building each control, fonts, the theme's colours (for ui::PaintText),
// label painting and the number boxes.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "gtk/date_picker.h"
#include "gtk/gtk_host.h"
#include "platform/messages/fatal.h"
#include "platform/text/text_linux.h"
#include "ui/number_entry.h"
#include "ui/scale.h"
#include "ui/text_colours.h"

// A GtkFixed that allocates every child exactly its size request, as a window
// of absolutely placed controls does: a caption taller than its control is cut,
// not allowed to grow the control.
typedef struct {
  GtkFixed parent;
} TolvaneLayout;
typedef struct {
  GtkFixedClass parent_class;
} TolvaneLayoutClass;
G_DEFINE_TYPE(TolvaneLayout, tolvane_layout, GTK_TYPE_FIXED)

static void tolvane_layout_size_allocate(GtkWidget* widget, GtkAllocation* allocation) {
  gtk_widget_set_allocation(widget, allocation);
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* item = children; item != nullptr; item = item->next) {
    GtkWidget* child = GTK_WIDGET(item->data);
    if (!gtk_widget_get_visible(child)) continue;
    int x = 0, y = 0, width = 0, height = 0;
    gtk_container_child_get(GTK_CONTAINER(widget), child, "x", &x, "y", &y, nullptr);
    gtk_widget_get_size_request(child, &width, &height);
    GtkRequisition measured;
    gtk_widget_get_preferred_size(child, &measured, nullptr);  // GTK wants children measured first
    GtkAllocation placed{allocation->x + x, allocation->y + y, width, height};
    gtk_widget_size_allocate(child, &placed);
  }
  g_list_free(children);
}

static void tolvane_layout_preferred_width(GtkWidget* widget, gint* minimum, gint* natural) {
  int width = 0;
  gtk_widget_get_size_request(widget, &width, nullptr);
  *minimum = *natural = width;
}

static void tolvane_layout_preferred_height(GtkWidget* widget, gint* minimum, gint* natural) {
  int height = 0;
  gtk_widget_get_size_request(widget, nullptr, &height);
  *minimum = *natural = height;
}

static void tolvane_layout_class_init(TolvaneLayoutClass* cls) {
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(cls);
  widget->size_allocate = tolvane_layout_size_allocate;
  widget->get_preferred_width = tolvane_layout_preferred_width;
  widget->get_preferred_height = tolvane_layout_preferred_height;
}

static void tolvane_layout_init(TolvaneLayout*) {}

namespace tolvane::gtk {

using ui::ControlType;

namespace {
constexpr int kSpinWidth = 17;  // the width of Windows' spin arrows at 96 DPI

// Windows' symbol font has no counterpart here: its play-button glyph is drawn
// from the text font instead.
std::string CaptionText(const ui::ControlDef& def, const std::string& gbk) {
  if (def.font.face != nullptr && std::strcmp(def.font.face, "Wingdings 3") == 0 && gbk == "u") return "\xE2\x96\xB6";
  return GbkToUtf8(gbk);
}

ui::Colour ToColour(const GdkRGBA& c) {
  auto channel = [](double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  return {channel(c.red), channel(c.green), channel(c.blue)};
}

// A style's text colour and background in a state. A background the theme leaves
// transparent (it paints an image instead) is taken as black or white, whichever the
// text stands out from.
std::pair<ui::Colour, ui::Colour> StyleColours(GtkStyleContext* style, GtkStateFlags state) {
  gtk_style_context_save(style);
  gtk_style_context_set_state(style, state);
  GdkRGBA text, *background = nullptr;
  gtk_style_context_get_color(style, state, &text);
  gtk_style_context_get(style, state, GTK_STYLE_PROPERTY_BACKGROUND_COLOR, &background, nullptr);
  gtk_style_context_restore(style);
  const ui::Colour fore = ToColour(text);
  ui::Colour back = ui::RelativeLuminance(fore) > 0.5 ? ui::Colour{0, 0, 0} : ui::Colour{255, 255, 255};
  if (background != nullptr) {
    if (background->alpha >= 0.5) back = ToColour(*background);
    gdk_rgba_free(background);
  }
  return {fore, back};
}

// The theme in use, chosen in the settings or for this program by GTK_THEME, without
// its variant.
std::string ThemeName() {
  std::string name;
  if (const char* forced = g_getenv("GTK_THEME"); forced != nullptr && *forced != '\0') {
    name = forced;
  } else {
    gchar* setting = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-theme-name", &setting, nullptr);
    if (setting != nullptr) name = setting;
    g_free(setting);
  }
  return name.substr(0, name.find(':'));  // a variant follows a colon
}

// GTK's own high-contrast themes.
bool HighContrastTheme() {
  const std::string name = ThemeName();
  return name == "HighContrast" || name == "HighContrastInverse";
}

// GTK's built-in Adwaita gives each check and radio mark as a vector image first and
// the same mark drawn for 100 % as a second choice. At 100 % the window names the
// drawn ones alone: the vector ones would load the SVG renderer (and with it some
// megabytes) at start for three small marks. At other scales the theme's choice stands.
constexpr char kDrawnMarksCss[] =
    "check:checked { -gtk-icon-source: -gtk-recolor(url('resource:///org/gtk/libgtk/theme/Adwaita/assets/check-symbolic.symbolic.png')); }"
    "check:indeterminate, radio:indeterminate { -gtk-icon-source: "
    "-gtk-recolor(url('resource:///org/gtk/libgtk/theme/Adwaita/assets/dash-symbolic.symbolic.png')); }"
    "radio:checked { -gtk-icon-source: -gtk-recolor(url('resource:///org/gtk/libgtk/theme/Adwaita/assets/bullet-symbolic.symbolic.png')); }";

GtkWidget* CaptionLabel(GtkWidget* widget) {
  if (!GTK_IS_BIN(widget)) return nullptr;
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
  return child != nullptr && GTK_IS_LABEL(child) ? child : nullptr;
}
}  // namespace

void GtkHost::ReadSystemColours() {
  const auto [faceText, face] = StyleColours(gtk_widget_get_style_context(window_), GTK_STATE_FLAG_NORMAL);
  const ui::Colour disabledText = StyleColours(gtk_widget_get_style_context(window_), GTK_STATE_FLAG_INSENSITIVE).first;
  // An entry of the theme, never shown, for the colours of fields.
  GtkWidget* entry = GTK_WIDGET(g_object_ref_sink(gtk_entry_new()));
  const auto [fieldText, field] = StyleColours(gtk_widget_get_style_context(entry), GTK_STATE_FLAG_NORMAL);
  g_object_unref(entry);
  colours_ = {face, faceText, field, fieldText, disabledText, HighContrastTheme()};
}

void GtkHost::ChooseMarkImages() {
  const bool drawn = ThemeName() == "Adwaita" && gtk_widget_get_scale_factor(window_) == 1;
  if (drawn == (drawnMarks_ != nullptr)) return;
  if (drawn) {
    drawnMarks_ = gtk_css_provider_new();
    gtk_css_provider_load_from_data(drawnMarks_, kDrawnMarksCss, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(drawnMarks_),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  } else {
    gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(drawnMarks_));
    g_clear_object(&drawnMarks_);
  }
}

// A new theme (or a dark or high-contrast one chosen) while the window is open.
void GtkHost::ThemeChanged() {
  ChooseMarkImages();
  const ui::SystemColours before = colours_;
  ReadSystemColours();
  if (colours_ == before) return;
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    if (widgets_.count(def.name) != 0) ApplyTextAttributes(State(def.name));
  }
  for (auto& [name, picker] : pickers_) picker->SetColours(colours_);
  gtk_widget_queue_draw(layout_);
}

GtkWidget* GtkHost::Place(GtkWidget* widget, const ui::Rect& rect) {
  const ui::Rect r = ui::ScaleRect(rect, dpi_);
  gtk_widget_set_size_request(widget, r.width, r.height);
  gtk_fixed_put(GTK_FIXED(layout_), widget, r.left, r.top);
  return widget;
}

PangoFontDescription* GtkHost::FontFor(const ui::FontDef& font) {
  if (font.face == nullptr) return nullptr;
  const std::string key = std::string(font.face) + "/" + std::to_string(font.height) + "/" + std::to_string(font.weight);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  PangoFontDescription* description = pango_font_description_new();
  // Fontconfig knows the Windows face names only through aliases a system may
  // lack, so the usual CJK sans faces follow as fallbacks.
  const std::string families = GbkToUtf8(font.face) + ",SimHei,WenQuanYi Zen Hei,Noto Sans CJK SC,Droid Sans Fallback,sans-serif";
  pango_font_description_set_family(description, families.c_str());
  pango_font_description_set_weight(description, static_cast<PangoWeight>(font.weight));
  // The height is the glyphs' em height in pixels, as a negative LOGFONT height is.
  pango_font_description_set_absolute_size(description, ui::ScaleFontHeight(font.height, dpi_) * PANGO_SCALE);
  fonts_.emplace(key, description);
  return description;
}

void GtkHost::ApplyTextAttributes(ui::ControlState& control) {
  GtkWidget* widget = Widget(control);
  if (widget == nullptr || control.type == ControlType::MenuItem) return;  // menu items keep the desktop's font
  PangoAttrList* attributes = pango_attr_list_new();
  if (PangoFontDescription* font = FontFor(control.def->font)) pango_attr_list_insert(attributes, pango_attr_font_desc_new(font));
  // A disabled control greys its caption whatever its own colour; the others stand
  // on the window's background.
  if (!control.disabled && control.type != ControlType::EditBox) {
    const ui::Colour c = ui::PaintText(control.textColour, std::nullopt, false, colours_).text;
    pango_attr_list_insert(attributes, pango_attr_foreground_new(c.red * 257, c.green * 257, c.blue * 257));
  }
  if (control.type == ControlType::EditBox) {
    gtk_entry_set_attributes(GTK_ENTRY(widget), attributes);
  } else if (GtkWidget* label = CaptionLabel(widget)) {
    gtk_label_set_attributes(GTK_LABEL(label), attributes);
  }
  pango_attr_list_unref(attributes);
}

void GtkHost::CreateControls() {
  layout_ = GTK_WIDGET(g_object_new(tolvane_layout_get_type(), nullptr));
  ReadSystemColours();
  ChooseMarkImages();
  g_signal_connect_swapped(window_, "style-updated", G_CALLBACK(+[](GtkHost* host) { host->ThemeChanged(); }), this);
  g_signal_connect_swapped(window_, "notify::scale-factor", G_CALLBACK(+[](GtkHost* host) { host->ChooseMarkImages(); }),
                           this);
  // Frames lie beneath the controls they surround, so they are placed first.
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    if (def.type == ControlType::GroupBox) CreateControl(def);
  }
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    if (def.type != ControlType::GroupBox) CreateControl(def);
  }
}

void GtkHost::CreateControl(const ui::ControlDef& def) {
  const ui::Rect rect = ui::ClientRect(def);
  const std::string caption = CaptionText(def, def.text);
  GtkWidget* widget = nullptr;
  switch (def.type) {
    case ControlType::Label:
      widget = gtk_drawing_area_new();
      gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK);
      // Painted text is invisible to screen readers; the caption is its name.
      atk_object_set_name(gtk_widget_get_accessible(widget), caption.c_str());
      break;
    case ControlType::Button:
      widget = gtk_button_new_with_label(caption.c_str());
      gtk_style_context_add_class(gtk_widget_get_style_context(widget), "tolvane");
      break;
    case ControlType::CheckBox: widget = gtk_check_button_new_with_label(caption.c_str()); break;
    case ControlType::RadioBox: {
      // The radios of one parent form a group with a hidden extra member, which
      // is checked when the program unchecks them all: GTK keeps one checked.
      GtkWidget*& none = radioNone_[def.parent];
      if (none == nullptr) none = GTK_WIDGET(g_object_ref_sink(gtk_radio_button_new(nullptr)));
      if (caption.empty()) {
        // A bare indicator in a rectangle as narrow as itself: no label, no spacing, no padding.
        widget = gtk_radio_button_new_from_widget(GTK_RADIO_BUTTON(none));
        gtk_style_context_add_class(gtk_widget_get_style_context(widget), "tolvane-bare");
      } else {
        widget = gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(none), caption.c_str());
      }
      break;
    }
    case ControlType::GroupBox:
      widget = gtk_frame_new(nullptr);
      gtk_frame_set_shadow_type(GTK_FRAME(widget), GTK_SHADOW_ETCHED_IN);
      break;
    case ControlType::EditBox:
      if (def.spin) {
        CreateNumberBox(def, rect);
      } else {
        widget = gtk_entry_new();
        gtk_entry_set_text(GTK_ENTRY(widget), caption.c_str());
        gtk_entry_set_alignment(GTK_ENTRY(widget), def.align == ui::Align::Centre ? 0.5f : 0.0f);
        gtk_editable_set_editable(GTK_EDITABLE(widget), def.readOnly ? FALSE : TRUE);
        Place(widget, rect);
      }
      break;
    case ControlType::DatePicker: CreatePicker(def, rect); break;
    case ControlType::Timer:
    case ControlType::FileDialog:
    case ControlType::Menu:
    case ControlType::MenuItem:
    case ControlType::Window:
      return;  // no visible form
  }
  if (widget != nullptr && def.type != ControlType::EditBox) Place(widget, rect);
  if (widget != nullptr) widgets_[def.name] = widget;
  GtkWidget* main = widgets_[def.name];
  if (main == nullptr) ReportFatalError("载入启动窗口失败");
  g_object_set_data(G_OBJECT(main), "tolvane-control", const_cast<char*>(def.name));
  gtk_widget_set_visible(main, def.visible);
  gtk_widget_set_sensitive(main, !def.disabled);
  for (GtkWidget* companion : companions_[def.name]) {
    gtk_widget_set_visible(companion, def.visible);
    gtk_widget_set_sensitive(companion, !def.disabled);
  }
  if ((def.type == ControlType::CheckBox || def.type == ControlType::RadioBox) && def.checked) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(main), TRUE);
  }
  ApplyTextAttributes(State(def.name));
  ConnectSignals(def, main);
}

namespace {
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
