// Dialogs of the GTK host: the open-file dialog and the popup menu. The
// notification-area icon is not built yet on this desktop.
#include <vector>

#include "gtk/gtk_host.h"
#include "platform/messages/messages_linux.h"
#include "platform/text/text_linux.h"

namespace tolvane::gtk {

namespace {
std::vector<std::string> SplitBars(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', start)) {
    parts.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}
}  // namespace

void GtkHost::ShowOpenDialog(std::string_view name) {
  ui::ControlState& dialogState = State(name);
  GtkWidget* dialog = gtk_file_chooser_dialog_new(nullptr, GTK_WINDOW(window_), GTK_FILE_CHOOSER_ACTION_OPEN,
                                                  GbkToUtf8("取消").c_str(), GTK_RESPONSE_CANCEL,
                                                  GbkToUtf8("打开").c_str(), GTK_RESPONSE_ACCEPT, nullptr);
  // "description|pattern;pattern|...||": one filter per pair.
  const std::vector<std::string> parts = SplitBars(dialogState.filter);
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, GbkToUtf8(parts[i]).c_str());
    std::string patterns = parts[i + 1];
    for (char& ch : patterns) ch = ch == ';' ? '|' : ch;
    for (const std::string& one : SplitBars(patterns)) {
      if (!one.empty()) gtk_file_filter_add_pattern(filter, GbkToUtf8(one).c_str());
    }
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
  }
  if (!dialogState.initialDirectory.empty()) {
    const std::string where = GbkToUtf8(dialogState.initialDirectory);
    if (g_file_test(where.c_str(), G_FILE_TEST_IS_DIR)) {
      gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), where.c_str());
    } else {
      gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(dialog), where.c_str());
    }
  }
  // A nested main loop: the program's timers keep ticking while the dialog is open.
  const gint answer = gtk_dialog_run(GTK_DIALOG(dialog));
  gchar* chosen = answer == GTK_RESPONSE_ACCEPT ? gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog)) : nullptr;
  gtk_widget_destroy(dialog);
  if (chosen == nullptr) return;
  bool lossless = true;
  std::string path = Utf8ToGbk(chosen, &lossless);
  g_free(chosen);
  if (!lossless) {
    // The settings keep paths in GBK; a path it cannot hold would be saved as another path.
    LinuxMessageBoxService().ShowBox("所选文件的路径中有无法保存的字符，请将文件放到其他位置后再选择。", "信息：", 0x30);
    return;
  }
  if (window_ != nullptr) State(name).fileName = std::move(path);
}

void GtkHost::PopupMenu(std::string_view menuName) {
  GtkWidget* menu = gtk_menu_new();
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    if (def.type != ui::ControlType::MenuItem || menuName != def.parent) continue;
    if (std::string_view(def.name) == "-") {
      gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
      continue;
    }
    const ui::ControlState& item = State(def.name);
    if (!item.visible) continue;
    GtkWidget* entry = gtk_menu_item_new_with_label(GbkToUtf8(item.caption).c_str());
    gtk_widget_set_sensitive(entry, !item.disabled);
    g_object_set_data(G_OBJECT(entry), "tolvane-control", const_cast<char*>(def.name));
    g_signal_connect(entry, "activate", G_CALLBACK(+[](GtkWidget* w, gpointer host) {
                       auto* self = static_cast<GtkHost*>(host);
                       const auto* itemName = static_cast<const char*>(g_object_get_data(G_OBJECT(w), "tolvane-control"));
                       if (self->WindowExists() && !self->State(itemName).disabled) self->Raise(itemName, ui::Event::Selected);
                     }), this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
  }
  gtk_widget_show_all(menu);
  // Runs until the menu closes, as the Windows popup does.
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_signal_connect_swapped(menu, "deactivate", G_CALLBACK(g_main_loop_quit), loop);
  gtk_menu_popup_at_pointer(GTK_MENU(menu), nullptr);
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
  gtk_widget_destroy(menu);
}

// The notification-area icon comes with the StatusNotifierItem support; until
// then nothing is shown, and the window is never hidden into it.
void GtkHost::SetTrayIcon(ByteView, const std::string&) {}

}  // namespace tolvane::gtk
