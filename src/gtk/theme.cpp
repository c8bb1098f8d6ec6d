// The desktop theme as the window sees it: its colours (for ui::PaintText), whether it
// is a high-contrast one, and the images of the check and radio marks; read again when
// the user picks another theme.
#include <algorithm>
#include <cmath>

#include "gtk/date_picker.h"
#include "gtk/gtk_host.h"
#include "ui/text_colours.h"

namespace tolvane::gtk {

namespace {
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

}  // namespace tolvane::gtk
