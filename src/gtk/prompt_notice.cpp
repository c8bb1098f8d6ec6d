// The final-seconds notification over org.freedesktop.Notifications.
#include "gtk/prompt_notice.h"

#include <cstring>

#include "platform/text/text_linux.h"

namespace tolvane::gtk {

namespace {
constexpr char kName[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr guchar kUrgencyCritical = 2;
constexpr gint kReplyTimeoutMs = 500;
}  // namespace

PromptNotice::PromptNotice(Handlers handlers, GVariant* icon) : handlers_(std::move(handlers)) {
  if (icon != nullptr) icon_ = g_variant_ref_sink(icon);
  bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus_ == nullptr) return;
  signals_ = g_dbus_connection_signal_subscribe(
      bus_, kName, kName, nullptr, kPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal, GVariant* parameters,
         gpointer self) { static_cast<PromptNotice*>(self)->Signal(signal, parameters); },
      this, nullptr);
}

PromptNotice::~PromptNotice() {
  if (bus_ != nullptr) {
    Withdraw();
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);  // the withdrawal goes out before the program ends
    g_dbus_connection_signal_unsubscribe(bus_, signals_);
    g_object_unref(bus_);
  }
  if (icon_ != nullptr) g_variant_unref(icon_);
}

void PromptNotice::Post(const std::string& body) {
  if (bus_ == nullptr || dismissed_ || body == sent_) return;
  sent_ = body;
  const std::string cancel = GbkToUtf8("取消"), show = GbkToUtf8("显示窗口");
  const gchar* actions[] = {"default", show.c_str(), "cancel", cancel.c_str(), nullptr};
  GVariantBuilder hints;
  g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&hints, "{sv}", "urgency", g_variant_new_byte(kUrgencyCritical));
  g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string("tolvane"));
  if (icon_ != nullptr) g_variant_builder_add(&hints, "{sv}", "image-data", icon_);
  // Waited for: the id must be known to replace or withdraw the notice, also when the
  // program ends right after (the action at the target second). A server that is not
  // there answers at once; one that hangs costs this tick a moment.
  GVariant* reply = g_dbus_connection_call_sync(
      bus_, kName, kPath, kName, "Notify",
      g_variant_new("(susss^as@a{sv}i)", "Tolvane", id_, "tolvane", "Tolvane", GbkToUtf8(body).c_str(), actions,
                    g_variant_builder_end(&hints), -1),
      G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, kReplyTimeoutMs, nullptr, nullptr);
  if (reply == nullptr) return;
  g_variant_get(reply, "(u)", &id_);
  g_variant_unref(reply);
}

void PromptNotice::Withdraw() {
  sent_.clear();
  dismissed_ = false;
  token_.clear();
  if (id_ == 0) return;
  g_dbus_connection_call(bus_, kName, kPath, kName, "CloseNotification", g_variant_new("(u)", id_), nullptr,
                         G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  id_ = 0;
}

void PromptNotice::Signal(const gchar* name, GVariant* parameters) {
  guint32 id = 0;
  if (std::strcmp(name, "ActivationToken") == 0 && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
    const gchar* token = nullptr;
    g_variant_get(parameters, "(u&s)", &id, &token);
    if (id == id_ && id != 0) token_ = token;
  } else if (std::strcmp(name, "ActionInvoked") == 0 && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
    const gchar* action = nullptr;
    g_variant_get(parameters, "(u&s)", &id, &action);
    if (id != id_ || id == 0) return;
    const std::string token = token_;
    token_.clear();
    if (std::strcmp(action, "cancel") == 0 && handlers_.cancel) handlers_.cancel();
    if (std::strcmp(action, "default") == 0 && handlers_.show) handlers_.show(token);
  } else if (std::strcmp(name, "NotificationClosed") == 0 && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)"))) {
    guint32 reason = 0;
    g_variant_get(parameters, "(uu)", &id, &reason);
    if (id != id_ || id == 0) return;
    // Closed by the user or by an action: it is not put up again for this schedule.
    id_ = 0;
    dismissed_ = true;
  }
}

}  // namespace tolvane::gtk
