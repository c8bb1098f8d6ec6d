// The StatusNotifierItem: the item object, its registration with the panel's
// watcher, and the menu exported from the GTK menu.
#include "gtk/status_item.h"

#include <libdbusmenu-glib/server.h>
#include <libdbusmenu-gtk/parser.h>
#include <unistd.h>

namespace tolvane::gtk {

namespace {
constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";
constexpr char kItemPath[] = "/StatusNotifierItem";
constexpr char kMenuPath[] = "/StatusNotifierItem/Menu";

constexpr char kItemXml[] = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionMovieName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
    <method name="ProvideXdgActivationToken"><arg name="token" type="s" direction="in"/></method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus"><arg name="status" type="s"/></signal>
  </interface>
</node>)xml";

GVariant* NoPixmaps() { return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0); }
}  // namespace

StatusItem::StatusItem(GtkWidget* menu, Handlers handlers) : menu_(menu), handlers_(std::move(handlers)) {
  bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus_ == nullptr) return;  // no session bus: no panel to show an item either
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kItemXml, nullptr);
  static const GDBusInterfaceVTable vtable = {MethodCall, GetProperty, nullptr, {}};
  object_ = g_dbus_connection_register_object(bus_, kItemPath, node->interfaces[0], &vtable, this, nullptr, nullptr);
  g_dbus_node_info_unref(node);
  name_ = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";
  owner_ = g_bus_own_name_on_connection(bus_, name_.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE, nullptr, nullptr, nullptr,
                                        nullptr);
  if (menu_ != nullptr) {
    // The parsed menu follows the GTK items' labels, sensitivity and visibility.
    menuServer_ = dbusmenu_server_new(kMenuPath);
    DbusmenuMenuitem* root = dbusmenu_gtk_parse_menu_structure(menu_);
    dbusmenu_server_set_root(menuServer_, root);
    g_object_unref(root);
  }
  watch_ = g_bus_watch_name_on_connection(
      bus_, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, gpointer self) {
        auto* item = static_cast<StatusItem*>(self);
        item->Register();
        if (item->handlers_.watcherChanged) item->handlers_.watcherChanged(true);
      },
      [](GDBusConnection*, const gchar*, gpointer self) {
        auto* item = static_cast<StatusItem*>(self);
        if (item->handlers_.watcherChanged) item->handlers_.watcherChanged(false);
      },
      this, nullptr);
}

StatusItem::~StatusItem() {
  if (watch_ != 0) g_bus_unwatch_name(watch_);
  if (cancellable_ != nullptr) {
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
  }
  if (menuServer_ != nullptr) g_object_unref(menuServer_);
  if (owner_ != 0) g_bus_unown_name(owner_);
  if (object_ != 0) g_dbus_connection_unregister_object(bus_, object_);
  if (pixmaps_ != nullptr) g_variant_unref(pixmaps_);
  if (bus_ != nullptr) g_object_unref(bus_);
}

void StatusItem::Register() {
  if (cancellable_ == nullptr) cancellable_ = g_cancellable_new();
  g_dbus_connection_call(bus_, kWatcherName, "/StatusNotifierWatcher", kWatcherName, "RegisterStatusNotifierItem",
                         g_variant_new("(s)", name_.c_str()), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, cancellable_,
                         nullptr, nullptr);
}

void StatusItem::Set(GVariant* pixmaps, const std::string& tip) {
  if (pixmaps_ != nullptr) g_variant_unref(pixmaps_);
  pixmaps_ = g_variant_ref_sink(pixmaps);
  const bool newTip = tip != tip_;
  tip_ = tip;
  Emit("NewIcon");
  if (newTip) {
    Emit("NewToolTip");
    Emit("NewTitle");
  }
}

void StatusItem::Emit(const char* signal) {
  if (bus_ == nullptr) return;
  g_dbus_connection_emit_signal(bus_, nullptr, kItemPath, "org.kde.StatusNotifierItem", signal, nullptr, nullptr);
}

void StatusItem::MethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                            GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
  auto* item = static_cast<StatusItem*>(self);
  const std::string name = method;
  // Answered first: a handler may run a nested loop (a popup menu) for a while.
  if (name == "ProvideXdgActivationToken") {
    const gchar* token = nullptr;
    g_variant_get(parameters, "(&s)", &token);
    if (item->handlers_.activationToken) item->handlers_.activationToken(token);
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
  if (name == "Activate" || name == "SecondaryActivate") {
    if (item->handlers_.activate) item->handlers_.activate();
  } else if (name == "ContextMenu") {
    if (item->handlers_.contextMenu) item->handlers_.contextMenu();
  }
}

GVariant* StatusItem::GetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
                                  GError**, gpointer self) {
  auto* item = static_cast<StatusItem*>(self);
  const std::string name = property;
  if (name == "Category") return g_variant_new_string("ApplicationStatus");
  if (name == "Id") return g_variant_new_string("tolvane");
  if (name == "Title") return g_variant_new_string(item->tip_.c_str());
  if (name == "Status") return g_variant_new_string("Active");
  if (name == "WindowId") return g_variant_new_int32(0);
  if (name == "IconPixmap") return item->pixmaps_ != nullptr ? g_variant_ref(item->pixmaps_) : NoPixmaps();
  if (name == "OverlayIconPixmap" || name == "AttentionIconPixmap") return NoPixmaps();
  if (name == "ToolTip") {
    return g_variant_new("(s@a(iiay)ss)", "", item->pixmaps_ != nullptr ? item->pixmaps_ : NoPixmaps(),
                         item->tip_.c_str(), "");
  }
  if (name == "ItemIsMenu") return g_variant_new_boolean(FALSE);
  if (name == "Menu") return g_variant_new_object_path(item->menuServer_ != nullptr ? kMenuPath : "/");
  return g_variant_new_string("");  // the icon names: the item gives images, not names
}

}  // namespace tolvane::gtk
