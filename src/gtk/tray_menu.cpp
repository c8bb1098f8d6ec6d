// The notification-area icon and the popup menu. The icon is a StatusNotifierItem
// whose menu the panel reads over D-Bus, so the menu is built once and its items
// follow the menu controls' states; the icon image is a file the panel loads by name.
#include <glib/gstdio.h>
#include <libayatana-appindicator/app-indicator.h>

#include <vector>

#include "gtk/gtk_host.h"
#include "platform/text/text_linux.h"
#include "ui/control_names.h"
#include "ui/icon_decode.h"

namespace tolvane::gtk {

namespace {
constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";

struct TrayImage {
  std::string path;  // the PNG file
  std::string name;  // its icon name: the file name without ".png"
};

void ItemActivated(GtkWidget* item, gpointer data) {
  auto* host = static_cast<GtkHost*>(data);
  const auto* name = static_cast<const char*>(g_object_get_data(G_OBJECT(item), "tolvane-control"));
  if (name != nullptr && host->WindowExists() && !host->State(name).disabled) host->Raise(name, ui::Event::Selected);
}

// The chosen image of an .ico or .cur file as a pixbuf: the image is wrapped
// again as a one-image icon file, which the pixbuf loader reads.
GdkPixbuf* PixbufOf(ByteView file, int preferredWidth) {
  const auto image = ui::DecodeIcon(file, preferredWidth);
  if (!image || image->bytes.empty()) return nullptr;
  const auto size = static_cast<std::uint32_t>(image->bytes.size());
  std::vector<guchar> ico = {0, 0, 1, 0, 1, 0,
                             static_cast<guchar>(image->width), static_cast<guchar>(image->height), 0, 0, 1, 0,
                             static_cast<guchar>(image->bitsPerPixel), static_cast<guchar>(image->bitsPerPixel >> 8),
                             static_cast<guchar>(size), static_cast<guchar>(size >> 8), static_cast<guchar>(size >> 16),
                             static_cast<guchar>(size >> 24), 22, 0, 0, 0};
  ico.insert(ico.end(), image->bytes.begin(), image->bytes.end());
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(image->png ? "png" : "ico", nullptr);
  if (loader == nullptr) return nullptr;
  const bool read = image->png ? gdk_pixbuf_loader_write(loader, image->bytes.data(), image->bytes.size(), nullptr)
                               : gdk_pixbuf_loader_write(loader, ico.data(), ico.size(), nullptr);
  const bool closed = gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf* pixbuf = read && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf != nullptr) g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}
}  // namespace

GtkWidget* GtkHost::BuildMenu(std::string_view menuName, bool live) {
  GtkWidget* menu = gtk_menu_new();
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    if (def.type != ui::ControlType::MenuItem || menuName != def.parent) continue;
    if (std::string_view(def.name) == "-") {
      GtkWidget* separator = gtk_separator_menu_item_new();
      gtk_widget_show(separator);
      gtk_menu_shell_append(GTK_MENU_SHELL(menu), separator);
      continue;
    }
    const ui::ControlState& item = State(def.name);
    GtkWidget* entry = gtk_menu_item_new_with_label(GbkToUtf8(item.caption).c_str());
    gtk_widget_set_sensitive(entry, !item.disabled);
    // A hidden item is left out of a popup; the lasting menu hides it until shown.
    gtk_widget_set_visible(entry, item.visible);
    g_object_set_data(G_OBJECT(entry), "tolvane-control", const_cast<char*>(def.name));
    g_signal_connect(entry, "activate", G_CALLBACK(ItemActivated), this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
    if (live) widgets_[def.name] = entry;  // the item's later changes reach it through Push
  }
  return menu;
}

void GtkHost::PopupMenu(std::string_view menuName) {
  GtkWidget* menu = BuildMenu(menuName, false);
  // Runs until the menu closes, as the Windows popup does.
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_signal_connect_swapped(menu, "deactivate", G_CALLBACK(g_main_loop_quit), loop);
  gtk_menu_popup_at_pointer(GTK_MENU(menu), nullptr);
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
  gtk_widget_destroy(menu);
}

void GtkHost::CreateTrayMenu() {
  // The menu the icon offers is the window's one menu.
  for (const ui::ControlDef& def : ui::MainWindowControls()) {
    if (def.type == ui::ControlType::Menu) {
      trayMenu_ = GTK_WIDGET(g_object_ref_sink(BuildMenu(def.name, true)));
      return;
    }
  }
}

void GtkHost::WatchTrayHost() {
  trayHostWatch_ = g_bus_watch_name(
      G_BUS_TYPE_SESSION, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, gpointer host) { static_cast<GtkHost*>(host)->TrayHostChanged(true); },
      [](GDBusConnection*, const gchar*, gpointer host) { static_cast<GtkHost*>(host)->TrayHostChanged(false); }, this,
      nullptr);
}

void GtkHost::TrayHostChanged(bool present) {
  trayHostPresent_ = present;
  // The panel went away while the window was in it: bring the window back, or it is lost.
  if (!present && window_ != nullptr && !gtk_widget_get_visible(window_) && tray_.Shown()) {
    ui::EventArgs args;
    args.trayOperation = 1;
    Raise(ui::kWindowName, ui::Event::TrayEvent, args);
  }
}

void GtkHost::SetTrayIcon(ByteView iconFile, const std::string& tip) { tray_.Set(iconFile, tip); }

ui::TrayBackend::IconHandle GtkHost::CreateIcon(ByteView iconFile, int preferredWidth) {
  GdkPixbuf* pixbuf = PixbufOf(iconFile, ui::ScaleLength(preferredWidth, dpi_));
  if (pixbuf == nullptr) return nullptr;
  if (iconFolder_.empty()) {
    // Private to this user and this run; removed when the host goes.
    if (gchar* folder = g_dir_make_tmp("tolvane-XXXXXX", nullptr)) {
      iconFolder_ = folder;
      g_free(folder);
    }
  }
  auto* image = new TrayImage;
  image->name = "tolvane-" + std::to_string(++iconsMade_);  // a new name makes the panel load it again
  image->path = iconFolder_ + "/" + image->name + ".png";
  const bool saved = !iconFolder_.empty() && gdk_pixbuf_save(pixbuf, image->path.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixbuf);
  if (!saved) {
    delete image;
    return nullptr;
  }
  return image;
}

void GtkHost::DestroyIcon(IconHandle icon) {
  auto* image = static_cast<TrayImage*>(icon);
  g_unlink(image->path.c_str());
  delete image;
}

void GtkHost::Notify(ui::TrayCommand command, IconHandle icon, const std::string& tip) {
  if (command == ui::TrayCommand::Delete) {
    if (indicator_ != nullptr) g_object_unref(indicator_);  // the item leaves the bus with its object
    indicator_ = nullptr;
    return;
  }
  const auto* image = static_cast<const TrayImage*>(icon);
  const std::string title = GbkToUtf8(tip);
  if (indicator_ == nullptr) {
    indicator_ = app_indicator_new_with_path("tolvane", image->name.c_str(), APP_INDICATOR_CATEGORY_APPLICATION_STATUS,
                                             iconFolder_.c_str());
    if (trayMenu_ != nullptr) {
      app_indicator_set_menu(indicator_, GTK_MENU(trayMenu_));
      // The item has no activation of its own: its secondary one (the middle button) shows the window.
      if (auto it = widgets_.find(ui::names::菜单项_显示窗口); it != widgets_.end()) {
        app_indicator_set_secondary_activate_target(indicator_, it->second);
      }
    }
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_ACTIVE);
  }
  app_indicator_set_icon_full(indicator_, image->name.c_str(), title.c_str());
  app_indicator_set_title(indicator_, title.c_str());
}

}  // namespace tolvane::gtk
