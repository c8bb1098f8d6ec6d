// The floor for bench_linux.sh: a GTK 3 program with a window of Tolvane's size
// (534 x 441, its collapsed main window without frame) holding one label in Tolvane's
// clock font, given the local date and time in Chinese once a second, and nothing else.
// Built with the flags the program tolvane is built with.
#include "floor_window_gtk.h"

int main(int argc, char** argv) {
  using tolvane::bench::Utf8;
  return tolvane::bench::RunFloorWindow(argc, argv, "empty", [](GtkWidget*& clock) {
    GtkWidget* fixed = gtk_fixed_new();
    // Where and how Tolvane shows its clock: 黑体 (or the usual CJK fallbacks) bold, 32 pixels.
    clock = gtk_label_new("");
    gtk_widget_set_size_request(clock, 506, 48);
    PangoFontDescription* font = pango_font_description_from_string(
        Utf8(u8"黑体,SimHei,WenQuanYi Zen Hei,Noto Sans CJK SC,Droid Sans Fallback,sans-serif Bold 32px"));
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_font_desc_new(font));
    gtk_label_set_attributes(GTK_LABEL(clock), attributes);
    pango_attr_list_unref(attributes);
    pango_font_description_free(font);
    gtk_fixed_put(GTK_FIXED(fixed), clock, 11, 24);
    return fixed;
  });
}
