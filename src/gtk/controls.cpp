// The controls of the GTK host: building each control of the window definition in its
// place, and their fonts and text colours.
#include "gtk/gtk_host.h"
#include "platform/messages/fatal.h"
#include "platform/text/text_linux.h"
#include "ui/scale.h"
#include "ui/text_colours.h"

namespace tolvane::gtk {

using ui::ControlType;

namespace {
GtkWidget* CaptionLabel(GtkWidget* widget) {
  if (!GTK_IS_BIN(widget)) return nullptr;
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
  return child != nullptr && GTK_IS_LABEL(child) ? child : nullptr;
}
}  // namespace

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
  layout_ = NewExactLayout();
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

}  // namespace tolvane::gtk
