// The open-file dialog of the GTK host: the desktop's own chooser (through its
// portal where there is one), with the filters, folder and name the Windows
// dialog would have. The popup menu and the tray are in tray_menu.cpp.
#include <vector>

#include "gtk/gtk_host.h"
#include "platform/text/text_linux.h"

namespace tolvane::gtk {

namespace {
std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

// Windows matches file names without regard to case: "*.wav" becomes "*.[wW][aA][vV]".
std::string AnyCase(const std::string& pattern) {
  std::string out;
  for (const char ch : pattern) {
    const char lower = g_ascii_tolower(ch), upper = g_ascii_toupper(ch);
    if (lower == upper) {
      out += ch;
    } else {
      out += {'[', lower, upper, ']'};
    }
  }
  return out;
}
}  // namespace

void GtkHost::ShowOpenDialog(std::string_view name) {
  const ui::ControlState& dialogState = State(name);
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new(GbkToUtf8("打开").c_str(), GTK_WINDOW(window_),
                                                             GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  // "description|pattern;pattern|...||": one filter per pair, the first one chosen.
  const std::vector<std::string> parts = Split(dialogState.filter, '|');
  for (std::size_t i = 0; i + 1 < parts.size() && !parts[i].empty(); i += 2) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, GbkToUtf8(parts[i]).c_str());
    for (const std::string& one : Split(parts[i + 1], ';')) {
      if (!one.empty()) gtk_file_filter_add_pattern(filter, AnyCase(GbkToUtf8(one)).c_str());
    }
    gtk_file_chooser_add_filter(chooser, filter);
    if (i == 0) gtk_file_chooser_set_filter(chooser, filter);
  }
  // As on Windows: a path in the name box opens its folder with it chosen; else the
  // initial directory (which the program gives as the current sound's full path).
  const std::string lastName = TextToFileName(dialogState.fileName);
  const std::string initial = TextToFileName(dialogState.initialDirectory);
  if (!lastName.empty() && g_path_is_absolute(lastName.c_str())) {
    gtk_file_chooser_set_filename(chooser, lastName.c_str());
  } else if (!initial.empty() && g_file_test(initial.c_str(), G_FILE_TEST_IS_DIR)) {
    gtk_file_chooser_set_current_folder(chooser, initial.c_str());
  } else if (!initial.empty()) {
    gtk_file_chooser_set_filename(chooser, initial.c_str());
  }
  // A nested main loop: the program's timers keep ticking while the dialog is open.
  openDialog_ = GTK_NATIVE_DIALOG(dialog);
  const gint answer = gtk_native_dialog_run(GTK_NATIVE_DIALOG(dialog));
  openDialog_ = nullptr;
  gchar* chosen = answer == GTK_RESPONSE_ACCEPT ? gtk_file_chooser_get_filename(chooser) : nullptr;
  g_object_unref(dialog);
  if (chosen == nullptr) return;
  // A name GBK cannot write comes back as a file: URI, which the settings keep.
  std::string path = FileNameToText(chosen);
  g_free(chosen);
  if (window_ != nullptr && !path.empty()) State(name).fileName = std::move(path);
}

}  // namespace tolvane::gtk
