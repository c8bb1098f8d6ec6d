// The floor for bench_linux.sh: a GTK 3 program with a window of Tolvane's size
// (534 x 441, its collapsed main window without frame) holding one label in Tolvane's
// clock font, given the local date and time in Chinese once a second, and nothing else.
// Built with the flags the program tolvane is built with.
//
// The tick is g_timeout_add_seconds(1): the plainest once-a-second timer GLib has,
// and the cheapest, as GLib may move it within the second to share one wake-up with
// the process's other whole-second timeouts. So the floor costs at most what a
// once-a-second clock must cost; it does not try to turn with the wall clock's second.
#include <gtk/gtk.h>

namespace {

// The program's sources are compiled to GB18030; GTK takes UTF-8.
const char* Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

gboolean ShowTime(gpointer label) {
  GDateTime* now = g_date_time_new_now_local();
  gchar* text = g_date_time_format(now, Utf8(u8"%Y年%m月%d日%H时%M分%S秒"));
  gtk_label_set_text(GTK_LABEL(label), text);
  g_free(text);
  g_date_time_unref(now);
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "empty");
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, 534, 441);
  // Where and how Tolvane shows its clock: 黑体 (or the usual CJK fallbacks) bold, 32 pixels.
  GtkWidget* label = gtk_label_new("");
  gtk_widget_set_size_request(label, 506, 48);
  PangoFontDescription* font = pango_font_description_from_string(
      Utf8(u8"黑体,SimHei,WenQuanYi Zen Hei,Noto Sans CJK SC,Droid Sans Fallback,sans-serif Bold 32px"));
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(attributes, pango_attr_font_desc_new(font));
  gtk_label_set_attributes(GTK_LABEL(label), attributes);
  pango_attr_list_unref(attributes);
  pango_font_description_free(font);
  gtk_fixed_put(GTK_FIXED(fixed), label, 11, 24);
  gtk_container_add(GTK_CONTAINER(window), fixed);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  ShowTime(label);
  g_timeout_add_seconds(1, ShowTime, label);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
