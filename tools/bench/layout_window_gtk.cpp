// The layout floor for bench_linux.sh: Tolvane's window definition built with GTK's
// plain widgets (labels, buttons, check and radio buttons, frames, entries, spin
// buttons; an entry for each date picker, which GTK lacks) in the definition's fonts,
// and the clock label given the local time once a second. Nothing else: no tray, no
// menu, no sound, no settings, no D-Bus, no own drawing. Built with the flags the
// program tolvane is built with.
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/text/gbk_unicode.h"
#include "platform/text/utf.h"
#include "ui/window_definition.h"
#include "floor_window_gtk.h"

namespace {

using tolvane::ui::ControlType;

std::string FromGbk(std::string_view gbk) {
  std::vector<std::uint8_t> out;
  for (char32_t c : tolvane::GbkToCodePoints(gbk)) tolvane::AppendUtf8(out, c);
  return {out.begin(), out.end()};
}

// The font attributes of one face, size and weight, shared by the widgets that use it;
// the Windows faces through the CJK families fontconfig has.
PangoAttrList* FontFor(const tolvane::ui::FontDef& font) {
  static std::map<std::tuple<std::string, int, int>, PangoAttrList*> fonts;
  if (font.face == nullptr) return nullptr;
  PangoAttrList*& made = fonts[{font.face, font.height, font.weight}];
  if (made == nullptr) {
    PangoFontDescription* description = pango_font_description_new();
    const std::string families = FromGbk(font.face) + ",SimHei,WenQuanYi Zen Hei,Noto Sans CJK SC,Droid Sans Fallback,sans-serif";
    pango_font_description_set_family(description, families.c_str());
    pango_font_description_set_weight(description, static_cast<PangoWeight>(font.weight));
    pango_font_description_set_absolute_size(description, font.height * PANGO_SCALE);
    made = pango_attr_list_new();
    pango_attr_list_insert(made, pango_attr_font_desc_new(description));
    pango_font_description_free(description);
  }
  return made;
}

GtkWidget* CreateControl(const tolvane::ui::ControlDef& def, std::map<std::string, GtkWidget*>& radioGroups) {
  const std::string text = FromGbk(def.text);
  const bool centred = def.align == tolvane::ui::Align::Centre;
  GtkWidget* widget = nullptr;
  switch (def.type) {
    case ControlType::Label:
      widget = gtk_label_new(text.c_str());
      gtk_label_set_xalign(GTK_LABEL(widget), centred ? 0.5f : 0.0f);
      break;
    case ControlType::Button: widget = gtk_button_new_with_label(text.c_str()); break;
    case ControlType::CheckBox: widget = gtk_check_button_new_with_label(text.c_str()); break;
    case ControlType::RadioBox: {
      GtkWidget*& first = radioGroups[def.parent];
      widget = gtk_radio_button_new_with_label_from_widget(first ? GTK_RADIO_BUTTON(first) : nullptr, text.c_str());
      if (first == nullptr) first = widget;
      break;
    }
    case ControlType::GroupBox: widget = gtk_frame_new(nullptr); break;
    case ControlType::EditBox:
      if (def.spin) {
        widget = gtk_spin_button_new_with_range(def.spin->low, def.spin->high, 1);
      } else {
        widget = gtk_entry_new();
        gtk_entry_set_text(GTK_ENTRY(widget), text.c_str());
        gtk_editable_set_editable(GTK_EDITABLE(widget), !def.readOnly);
      }
      gtk_entry_set_alignment(GTK_ENTRY(widget), centred ? 0.5f : 0.0f);
      break;
    case ControlType::DatePicker: widget = gtk_entry_new(); break;
    default: return nullptr;  // timers, the file dialog and the menu have no visible form
  }
  if (PangoAttrList* font = FontFor(def.font)) {
    if (GTK_IS_ENTRY(widget)) {
      gtk_entry_set_attributes(GTK_ENTRY(widget), font);
    } else if (GTK_IS_LABEL(widget)) {
      gtk_label_set_attributes(GTK_LABEL(widget), font);
    } else if (GtkWidget* child = GTK_IS_BIN(widget) ? gtk_bin_get_child(GTK_BIN(widget)) : nullptr; GTK_IS_LABEL(child)) {
      gtk_label_set_attributes(GTK_LABEL(child), font);
    }
  }
  if (def.checked && GTK_IS_TOGGLE_BUTTON(widget)) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), TRUE);
  gtk_widget_set_sensitive(widget, !def.disabled);
  gtk_widget_set_no_show_all(widget, !def.visible);
  return widget;
}

}  // namespace

int main(int argc, char** argv) {
  return tolvane::bench::RunFloorWindow(argc, argv, tolvane::ui::MainWindow().title, [](GtkWidget*& clock) {
    // A layout, unlike a fixed container, keeps its size and clips the reminder panel
    // below the collapsed window.
    GtkWidget* layout = gtk_layout_new(nullptr, nullptr);
    std::map<std::string, GtkWidget*> radioGroups;
    for (const auto& def : tolvane::ui::MainWindowControls()) {
      GtkWidget* widget = CreateControl(def, radioGroups);
      if (widget == nullptr) continue;
      const tolvane::ui::Rect r = tolvane::ui::ClientRect(def);
      gtk_widget_set_size_request(widget, r.width, r.height);
      gtk_layout_put(GTK_LAYOUT(layout), widget, r.left, r.top);
      if (std::string_view(def.name) == "标签3") clock = widget;
    }
    return layout;
  });
}
