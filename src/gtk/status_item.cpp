// The StatusNotifierItem: the item object, its registration with the panel's
// watcher, and the menu exported from the GTK menu.
#include "gtk/status_item.h"

#include <libdbusmenu-glib/server.h>
#include <libdbusmenu-gtk/parser.h>
#include <unistd.h>

#include <string_view>

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
      [](GDBusConnection*, const gchar*, const gchar* owner, gpointer self) {
        static_cast<StatusItem*>(self)->WatcherAppeared(owner);
      },
      [](GDBusConnection*, const gchar*, gpointer self) { static_cast<StatusItem*>(self)->WatcherGone(); }, this,
      nullptr);
}

StatusItem::~StatusItem() {
  if (watch_ != 0) g_bus_unwatch_name(watch_);
  // Replies still on their way find their call cancelled and leave this object alone.
  Forget();
  if (menuServer_ != nullptr) g_object_unref(menuServer_);
  if (owner_ != 0) g_bus_unown_name(owner_);
  if (object_ != 0) g_dbus_connection_unregister_object(bus_, object_);
  if (pixmaps_ != nullptr) g_variant_unref(pixmaps_);
  if (bus_ != nullptr) g_object_unref(bus_);
}

namespace {
// Cancels the calls a cancellable stands for.
void Drop(GCancellable*& calls) {
  if (calls == nullptr) return;
  g_cancellable_cancel(calls);
  g_clear_object(&calls);
}

// The same, with a fresh cancellable for the calls that follow.
void Renew(GCancellable*& calls) {
  Drop(calls);
  calls = g_cancellable_new();
}

bool Cancelled(const GError* error) { return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED); }
}  // namespace

void StatusItem::WatcherAppeared(const gchar* owner) {
  Forget();  // a watcher before this one, if its going was not told
  watcher_ = owner;
  registration_ = host_ = Answer::Awaited;
  // Subscribed before the host is read, so no change after the read goes unheard.
  watcherSignals_ = g_dbus_connection_signal_subscribe(bus_, owner, nullptr, nullptr, "/StatusNotifierWatcher",
                                                       nullptr, G_DBUS_SIGNAL_FLAGS_NONE, WatcherSignal, this,
                                                       nullptr);
  Renew(calls_);
  // A watcher that never answers leaves the item unshown: the call's default timeout
  // then makes it a refusal.
  g_dbus_connection_call(bus_, owner, "/StatusNotifierWatcher", kWatcherName, "RegisterStatusNotifierItem",
                         g_variant_new("(s)", name_.c_str()), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, calls_,
                         Registered, this);
  ReadHost();
  Settle();  // no longer shown, if it was by the watcher before
}

void StatusItem::WatcherGone() {
  Forget();
  Settle();
}

void StatusItem::Forget() {
  watcher_.clear();
  if (watcherSignals_ != 0) g_dbus_connection_signal_unsubscribe(bus_, watcherSignals_);
  watcherSignals_ = 0;
  Drop(calls_);
  Drop(hostRead_);
  registration_ = host_ = Answer::No;
}

void StatusItem::ReadHost() {
  Renew(hostRead_);
  g_dbus_connection_call(bus_, watcher_.c_str(), "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties", "Get",
                         g_variant_new("(ss)", kWatcherName, "IsStatusNotifierHostRegistered"), G_VARIANT_TYPE("(v)"),
                         G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, hostRead_, HostRead, this);
}

void StatusItem::Registered(GObject* bus, GAsyncResult* result, gpointer self) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
  if (reply != nullptr) g_variant_unref(reply);
  const bool cancelled = Cancelled(error);
  if (error != nullptr) g_error_free(error);
  if (cancelled) return;  // the watcher went, or this item did
  auto* item = static_cast<StatusItem*>(self);
  item->registration_ = reply != nullptr ? Answer::Yes : Answer::No;
  item->Settle();
}

void StatusItem::HostRead(GObject* bus, GAsyncResult* result, gpointer self) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
  const bool cancelled = Cancelled(error);
  if (error != nullptr) g_error_free(error);
  if (cancelled) return;  // superseded, or the watcher or this item went
  bool host = false;  // a watcher that cannot tell has no host to show the item
  if (reply != nullptr) {
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    host = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(reply);
  }
  static_cast<StatusItem*>(self)->SetHost(host ? Answer::Yes : Answer::No);
}

void StatusItem::WatcherSignal(GDBusConnection*, const gchar*, const gchar*, const gchar* interface,
                               const gchar* signal, GVariant* parameters, gpointer self) {
  auto* item = static_cast<StatusItem*>(self);
  const std::string_view name = signal;
  if (std::string_view(interface) == kWatcherName) {
    if (name == "StatusNotifierHostRegistered") {
      item->SetHost(Answer::Yes);
    } else if (name == "StatusNotifierHostUnregistered") {
      // One host of several may have gone: the item stops counting as shown at once,
      // and again once the watcher says another one is left.
      item->ReadHost();
      item->host_ = Answer::No;
      item->Settle();
    }
    return;
  }
  if (name != "PropertiesChanged" || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)"))) return;
  const gchar* changedInterface = nullptr;
  GVariant* changed = nullptr;
  const gchar** invalidated = nullptr;
  g_variant_get(parameters, "(&s@a{sv}^a&s)", &changedInterface, &changed, &invalidated);
  gboolean host = FALSE;
  const bool told = g_variant_lookup(changed, "IsStatusNotifierHostRegistered", "b", &host);
  const bool dropped = g_strv_contains(invalidated, "IsStatusNotifierHostRegistered");
  g_variant_unref(changed);
  g_free(invalidated);
  if (std::string_view(changedInterface) != kWatcherName) return;
  if (told) {
    item->SetHost(host ? Answer::Yes : Answer::No);
  } else if (dropped) {
    item->ReadHost();
  }
}

void StatusItem::SetHost(Answer host) {
  Renew(hostRead_);  // a read still on its way would be older news
  host_ = host;
  Settle();
}

void StatusItem::Settle() {
  const bool shown = registration_ == Answer::Yes && host_ == Answer::Yes;
  const bool refused = registration_ == Answer::No || host_ == Answer::No;
  // Until the first verdict nothing is told; after it, every change is.
  if (reported_ ? shown == shown_ : !(shown || refused)) return;
  reported_ = true;
  shown_ = shown;
  if (handlers_.shownChanged) handlers_.shownChanged(shown);
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
