// The final-seconds notification over org.freedesktop.Notifications.
#include "gtk/prompt_notice.h"

#include <cstring>

#include "platform/text/text_linux.h"

namespace tolvane::gtk {

namespace {
constexpr char kName[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr guchar kUrgencyCritical = 2;
}  // namespace

PromptNotice::PromptNotice(Handlers handlers, GVariant* icon) : handlers_(std::move(handlers)) {
  if (icon != nullptr) icon_ = g_variant_ref_sink(icon);
  bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus_ == nullptr) return;
  cancellable_ = g_cancellable_new();
  signals_ = g_dbus_connection_signal_subscribe(
      bus_, kName, kName, nullptr, kPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal, GVariant* parameters,
         gpointer self) { static_cast<PromptNotice*>(self)->Signal(signal, parameters); },
      this, nullptr);
}

PromptNotice::~PromptNotice() {
  if (bus_ != nullptr) {
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
    if (id_ != 0) {
      g_dbus_connection_call(bus_, kName, kPath, kName, "CloseNotification", g_variant_new("(u)", id_), nullptr,
                             G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
      g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
    }
    g_dbus_connection_signal_unsubscribe(bus_, signals_);
    g_object_unref(bus_);
  }
  if (icon_ != nullptr) g_variant_unref(icon_);
}

void PromptNotice::Post(const std::string& body) {
  body_ = body;
  withdrawAfterReply_ = false;
  if (bus_ == nullptr || dismissed_ || sending_ || body_ == sent_) return;
  Send();
}

void PromptNotice::Send() {
  sending_ = true;
  sent_ = body_;
  const std::string cancel = GbkToUtf8("取消"), show = GbkToUtf8("显示窗口");
  const gchar* actions[] = {"default", show.c_str(), "cancel", cancel.c_str(), nullptr};
  GVariantBuilder hints;
  g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&hints, "{sv}", "urgency", g_variant_new_byte(kUrgencyCritical));
  g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string("tolvane"));
  if (icon_ != nullptr) g_variant_builder_add(&hints, "{sv}", "image-data", icon_);
  g_dbus_connection_call(
      bus_, kName, kPath, kName, "Notify",
      g_variant_new("(susss^as@a{sv}i)", "Tolvane", id_, "tolvane", "Tolvane", GbkToUtf8(sent_).c_str(), actions,
                    g_variant_builder_end(&hints), -1),
      G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, cancellable_,
      [](GObject* bus, GAsyncResult* result, gpointer self) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
        const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        if (error != nullptr) g_error_free(error);
        if (!cancelled) static_cast<PromptNotice*>(self)->Replied(reply);  // else the notice is gone
        if (reply != nullptr) g_variant_unref(reply);
      },
      this);
}

void PromptNotice::Replied(GVariant* reply) {
  sending_ = false;
  if (reply != nullptr) g_variant_get(reply, "(u)", &id_);
  if (withdrawAfterReply_) {
    Withdraw();
  } else if (body_ != sent_ && !body_.empty()) {
    Send();
  }
}

void PromptNotice::Withdraw() {
  body_.clear();
  sent_.clear();
  dismissed_ = false;
  token_.clear();
  if (sending_) {
    withdrawAfterReply_ = true;
    return;
  }
  withdrawAfterReply_ = false;
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
