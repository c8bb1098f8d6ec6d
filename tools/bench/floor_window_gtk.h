#pragma once
// What the two GTK floor programs share: a fixed-size top-level window, the content the
// program makes in it, one label given the local date and time in Chinese once a second,
// and the main loop.
//
// The tick is g_timeout_add_seconds(1): the plainest once-a-second timer GLib has,
// and the cheapest, as GLib may move it within the second to share one wake-up with
// the process's other whole-second timeouts. So a floor costs at most what a
// once-a-second clock must cost; it does not try to turn with the wall clock's second.
#include <gtk/gtk.h>

namespace tolvane::bench {

// The program's sources are compiled to GB18030; GTK takes UTF-8.
inline const char* Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

inline gboolean ShowTime(gpointer label) {
  GDateTime* now = g_date_time_new_now_local();
  gchar* text = g_date_time_format(now, Utf8(u8"%Y年%m月%d日%H时%M分%S秒"));
  gtk_label_set_text(GTK_LABEL(label), text);
  g_free(text);
  g_date_time_unref(now);
  return G_SOURCE_CONTINUE;
}

// makeContent(clock) returns the window's content and sets clock to its clock label.
template <typename MakeContent>
int RunFloorWindow(int argc, char** argv, const char* title, MakeContent makeContent) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), title);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  GtkWidget* clock = nullptr;
  GtkWidget* content = makeContent(clock);
  // Tolvane's collapsed window without its frame.
  gtk_widget_set_size_request(content, 534, 441);
  gtk_container_add(GTK_CONTAINER(window), content);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  ShowTime(clock);
  g_timeout_add_seconds(1, ShowTime, clock);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}

}  // namespace tolvane::bench
