// The notification-area icon and the popup menu. The icon is our StatusNotifierItem,
// whose menu the panel reads over D-Bus, so the menu is built once and its items
// follow the menu controls' states; on an X11 desktop where no panel shows the item
// (no watcher, or one with no host), a GtkStatusIcon stands in for the older system
// tray, and where there is none of that either, the window minimises as any other.
#include <gdk/gdkx.h>

#include <vector>

#include "gtk/gtk_host.h"
#include "gtk/status_item.h"
#include "platform/text/text_linux.h"
#include "ui/control_names.h"
#include "ui/icon_decode.h"
#include "ui/program_icon.h"

// GtkStatusIcon is the only way GTK 3 offers into the XEmbed system tray.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace tolvane::gtk {

namespace {
// The sizes panels draw items at, each from the program icon drawn at that size.
constexpr int kItemSizes[] = {16, 22, 24, 32, 48};

struct TrayImage {
  GVariant* pixmaps = nullptr;  // a(iiay): ARGB images, big-endian, one per size
  GdkPixbuf* pixbuf = nullptr;  // for the system tray
};

void ItemActivated(GtkWidget* item, gpointer data) {
  const auto* name = static_cast<const char*>(g_object_get_data(G_OBJECT(item), "tolvane-control"));
  if (name != nullptr) static_cast<GtkHost*>(data)->MenuItemChosen(name);
}
}  // namespace

// The image is wrapped again as a one-image icon file, which the pixbuf loader reads.
GdkPixbuf* IconPixbuf(ByteView file, int preferredWidth) {
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

namespace {
// One image as the item's (width, height, ARGB bytes in network order).
GVariant* ItemPixmap(GdkPixbuf* image, int size) {
  GdkPixbuf* sized = gdk_pixbuf_get_width(image) == size && gdk_pixbuf_get_height(image) == size
                         ? GDK_PIXBUF(g_object_ref(image))
                         : gdk_pixbuf_scale_simple(image, size, size, GDK_INTERP_BILINEAR);
  GdkPixbuf* rgba = gdk_pixbuf_add_alpha(sized, FALSE, 0, 0, 0);
  g_object_unref(sized);
  const int stride = gdk_pixbuf_get_rowstride(rgba);
  const guchar* pixels = gdk_pixbuf_read_pixels(rgba);
  std::vector<guchar> argb;
  argb.reserve(static_cast<std::size_t>(size) * size * 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const guchar* p = pixels + y * stride + x * 4;
      argb.insert(argb.end(), {p[3], p[0], p[1], p[2]});
    }
  }
  g_object_unref(rgba);
  GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, argb.data(), argb.size(), 1);
  return g_variant_new("(ii@ay)", size, size, bytes);
}
}  // namespace

void GtkHost::MenuItemChosen(const char* name) {
  if (window_ == nullptr) return;
  if (!State(name).disabled) {
    Raise(name, ui::Event::Selected);
  } else if (name == std::string_view(ui::names::菜单项_显示窗口) && !MinimiseObservable()) {
    PresentWindow();  // kept usable where the window is never hidden in the tray
  }
}

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
    gtk_widget_set_sensitive(entry, Usable(item));
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
  // At the pointer plus 3 pixels, measured on the screen where X11 has one; Wayland
  // tells a client the pointer only over its own window.
  GdkWindow* origin = MinimiseObservable() ? gdk_screen_get_root_window(gdk_screen_get_default())
                                           : gtk_widget_get_window(window_);
  GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
  // Wayland lets a menu pop up only in answer to the user's own input to the program.
  GdkEvent* trigger = gtk_get_current_event();
  if (origin != nullptr && pointer != nullptr && (trigger != nullptr || MinimiseObservable())) {
    GdkRectangle at{0, 0, 1, 1};
    gdk_window_get_device_position(origin, pointer, &at.x, &at.y, nullptr);
    at.x += 3;
    at.y += 3;
    gtk_menu_popup_at_rect(GTK_MENU(menu), origin, &at, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, trigger);
  }
  if (trigger != nullptr) gdk_event_free(trigger);
  // A desktop that refuses the popup never closes it either.
  if (gtk_widget_get_visible(menu)) {
    openMenu_ = menu;
    g_main_loop_run(loop);
    openMenu_ = nullptr;
  }
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

void GtkHost::CreateStatusItem() {
  StatusItem::Handlers handlers;
  handlers.activate = [this] {
    RaiseTrayOperation(1);
    if (!MinimiseObservable()) PresentWindow();  // the window may only be behind others or minimised
  };
  handlers.contextMenu = [this] { RaiseTrayOperation(3); };
  handlers.activationToken = [this](const std::string& token) { activationToken_ = token; };
  handlers.shownChanged = [this](bool shown) {
    itemShown_ = shown;
    ShowSystemTrayIcon();
    TrayHostChanged();
  };
  statusItem_ = std::make_unique<StatusItem>(trayMenu_, std::move(handlers));
}

void GtkHost::RaiseTrayOperation(int operation) {
  if (window_ == nullptr) return;
  ui::EventArgs args;
  args.trayOperation = operation;
  Raise(ui::kWindowName, ui::Event::TrayEvent, args);
}

void GtkHost::ShowSystemTrayIcon() {
  // Only where no panel shows our item: never two icons for one program.
  if (systemTrayIcon_ != nullptr) {
    gtk_status_icon_set_visible(systemTrayIcon_, !itemShown_ && trayImage_ != nullptr);
    return;
  }
  if (itemShown_ || trayImage_ == nullptr || !GDK_IS_X11_DISPLAY(gdk_display_get_default())) return;
  systemTrayIcon_ = gtk_status_icon_new();
  gtk_status_icon_set_title(systemTrayIcon_, "Tolvane");
  g_signal_connect_swapped(systemTrayIcon_, "activate", G_CALLBACK(+[](GtkHost* host) { host->RaiseTrayOperation(1); }), this);
  g_signal_connect_swapped(systemTrayIcon_, "popup-menu", G_CALLBACK(+[](GtkHost* host) { host->RaiseTrayOperation(3); }), this);
  g_signal_connect_swapped(systemTrayIcon_, "notify::embedded", G_CALLBACK(+[](GtkHost* host) { host->TrayHostChanged(); }), this);
  const auto* image = static_cast<const TrayImage*>(trayImage_);
  if (image != nullptr) gtk_status_icon_set_from_pixbuf(systemTrayIcon_, image->pixbuf);
  gtk_status_icon_set_tooltip_text(systemTrayIcon_, trayTip_.c_str());
}

bool GtkHost::TrayHostPresent() const {
  return itemShown_ || (systemTrayIcon_ != nullptr && gtk_status_icon_get_visible(systemTrayIcon_) &&
                        gtk_status_icon_is_embedded(systemTrayIcon_));
}

void GtkHost::TrayHostChanged() {
  // The panel went away while the window was in it: bring the window back, or it is lost.
  if (!TrayHostPresent() && window_ != nullptr && !gtk_widget_get_visible(window_) && tray_.Shown()) {
    RaiseTrayOperation(1);
  }
}

void GtkHost::SetTrayIcon(ByteView iconFile, const std::string& tip) { tray_.Set(iconFile, tip); }

ui::TrayBackend::IconHandle GtkHost::CreateIcon(ByteView iconFile, int preferredWidth) {
  GdkPixbuf* small = IconPixbuf(iconFile, preferredWidth);
  if (small == nullptr) return nullptr;
  g_object_unref(small);
  auto* image = new TrayImage;
  GVariantBuilder pixmaps;
  g_variant_builder_init(&pixmaps, G_VARIANT_TYPE("a(iiay)"));
  for (const int size : kItemSizes) {
    // The program's own icon has a drawing for each size; another icon is scaled.
    if (GdkPixbuf* drawn = IconPixbuf(ui::IconFileForSize(iconFile, size), size)) {
      g_variant_builder_add_value(&pixmaps, ItemPixmap(drawn, size));
      if (image->pixbuf == nullptr || size <= ui::ScaleLength(16, dpi_)) {
        if (image->pixbuf != nullptr) g_object_unref(image->pixbuf);
        image->pixbuf = GDK_PIXBUF(g_object_ref(drawn));
      }
      g_object_unref(drawn);
    }
  }
  image->pixmaps = g_variant_ref_sink(g_variant_builder_end(&pixmaps));
  return image;
}

void GtkHost::DestroyIcon(IconHandle icon) {
  auto* image = static_cast<TrayImage*>(icon);
  g_variant_unref(image->pixmaps);
  if (image->pixbuf != nullptr) g_object_unref(image->pixbuf);
  delete image;
}

void GtkHost::Notify(ui::TrayCommand command, IconHandle icon, const std::string& tip) {
  trayImage_ = command == ui::TrayCommand::Delete ? nullptr : icon;
  trayTip_ = GbkToUtf8(tip);
  if (command == ui::TrayCommand::Delete) {
    statusItem_.reset();  // the item leaves the bus with its object
    if (systemTrayIcon_ != nullptr) g_object_unref(systemTrayIcon_);
    systemTrayIcon_ = nullptr;
    return;
  }
  if (statusItem_ == nullptr) {
    CreateStatusItem();
    if (!statusItem_->OnBus()) ShowSystemTrayIcon();  // no bus, so no watcher to wait for
  }
  const auto* image = static_cast<const TrayImage*>(icon);
  statusItem_->Set(image->pixmaps, trayTip_);
  if (systemTrayIcon_ != nullptr) {
    gtk_status_icon_set_from_pixbuf(systemTrayIcon_, image->pixbuf);
    gtk_status_icon_set_tooltip_text(systemTrayIcon_, trayTip_.c_str());
  }
}

}  // namespace tolvane::gtk
