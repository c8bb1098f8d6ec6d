// The final-seconds notification over org.freedesktop.Notifications.
#include "gtk/prompt_notice.h"

#include <cstring>

#include "platform/text/text_linux.h"

namespace tolvane::gtk {

namespace {
constexpr char kName[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr guchar kUrgencyCritical = 2;
// NotificationClosed's reason when the user dismissed the notice. The others (it
// expired, a CloseNotification closed it, undefined) leave the prompt free to show
// again at the next second.
constexpr guint32 kDismissedByUser = 2;
// How long the program's end waits for an unanswered Notify.
constexpr guint kEndWaitMs = 3000;
// Signals kept while an id is unknown: the few that a user's action on one notice brings.
constexpr std::size_t kEarlyMax = 16;

// The notification id that every signal of the interface begins with; 0 for none.
guint32 IdOf(GVariant* parameters) {
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE_TUPLE) || g_variant_n_children(parameters) == 0) return 0;
  GVariant* first = g_variant_get_child_value(parameters, 0);
  const guint32 id = g_variant_is_of_type(first, G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(first) : 0;
  g_variant_unref(first);
  return id;
}
}  // namespace

PromptNotice::PromptNotice(Handlers handlers, GVariant* icon)
    : handlers_(std::move(handlers)), cancellable_(g_cancellable_new()) {
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
    handlers_ = {};  // the program is ending: no action of the user reaches it now
    Withdraw();
    WaitForAnswer();
    g_cancellable_cancel(cancellable_);  // an answer later still never reaches this object
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);  // the withdrawal goes out before the program ends
    g_dbus_connection_signal_unsubscribe(bus_, signals_);
    g_object_unref(bus_);
  }
  for (auto& [name, parameters] : early_) g_variant_unref(parameters);
  g_object_unref(cancellable_);
  if (icon_ != nullptr) g_variant_unref(icon_);
}

void PromptNotice::Post(const std::string& body) {
  if (bus_ == nullptr || dismissed_ || body == wanted_) return;
  wanted_ = body;
  // One Notify at a time: the notice's id, needed to replace it in place, is known
  // only from the answer. The newest text follows when it comes.
  if (!pending_) Send();
}

void PromptNotice::Send() {
  sent_ = wanted_;
  pending_ = true;
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
        if (!cancelled) static_cast<PromptNotice*>(self)->Answered(reply);
      },
      this);
}

void PromptNotice::Answered(GVariant* reply) {
  pending_ = false;
  // A failed call leaves the notice shown before, if any, as it was.
  if (reply != nullptr) {
    g_variant_get(reply, "(u)", &id_);
    g_variant_unref(reply);
  }
  // What the server said of this notice before its id was known is taken now, in order.
  std::vector<std::pair<std::string, GVariant*>> early;
  early.swap(early_);
  for (auto& [name, parameters] : early) {
    Handle(name.c_str(), parameters);
    g_variant_unref(parameters);
  }
  if (pending_) return;  // a handler posted anew
  if (wanted_.empty() || dismissed_) {
    Close();  // withdrawn, or dismissed, while the server had not answered
  } else if (wanted_ != sent_) {
    Send();  // the text moved on meanwhile
  }
}

void PromptNotice::Withdraw() {
  wanted_.clear();
  sent_.clear();
  dismissed_ = false;
  actedOn_ = closedByUser_ = 0;
  token_.clear();
  for (auto& [name, parameters] : early_) g_variant_unref(parameters);
  early_.clear();
  // The notice known goes now; one whose Notify is unanswered, when its answer comes.
  Close();
}

void PromptNotice::Close() {
  if (id_ == 0) return;
  g_dbus_connection_call(bus_, kName, kPath, kName, "CloseNotification", g_variant_new("(u)", id_), nullptr,
                         G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  id_ = 0;
}

void PromptNotice::WaitForAnswer() {
  if (!pending_) return;
  bool late = false;
  const guint timer = g_timeout_add(
      kEndWaitMs,
      [](gpointer late) -> gboolean {
        *static_cast<bool*>(late) = true;
        return G_SOURCE_REMOVE;
      },
      &late);
  while (pending_ && !late) g_main_context_iteration(nullptr, TRUE);
  if (!late) g_source_remove(timer);
}

void PromptNotice::Signal(const gchar* name, GVariant* parameters) {
  const guint32 id = IdOf(parameters);
  // The server may tell of a notice (the user acted on it) before its Notify is answered.
  if (pending_ && id != 0 && id != id_) {
    if (early_.size() < kEarlyMax) early_.emplace_back(name, g_variant_ref(parameters));
    return;
  }
  Handle(name, parameters);
}

void PromptNotice::Handle(const gchar* name, GVariant* parameters) {
  const guint32 id = IdOf(parameters);
  // Besides the notice shown, the one the user just closed may still bring its action.
  const bool current = id != 0 && id == id_;
  const bool closedFirst = id != 0 && id == closedByUser_;
  if (!current && !closedFirst) return;
  if (std::strcmp(name, "ActivationToken") == 0 && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
    const gchar* token = nullptr;
    g_variant_get(parameters, "(u&s)", nullptr, &token);
    token_ = token;
  } else if (std::strcmp(name, "ActionInvoked") == 0 && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
    const gchar* action = nullptr;
    g_variant_get(parameters, "(u&s)", nullptr, &action);
    const std::string token = token_;
    token_.clear();
    // The user acted on the notice: its close, before or after this, was no dismissal.
    actedOn_ = id;
    if (closedFirst) dismissed_ = false;
    closedByUser_ = 0;
    if (std::strcmp(action, "cancel") == 0 && handlers_.cancel) handlers_.cancel();
    if (std::strcmp(action, "default") == 0 && handlers_.show) handlers_.show(token);
  } else if (current && std::strcmp(name, "NotificationClosed") == 0 &&
             g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)"))) {
    guint32 reason = 0;
    g_variant_get(parameters, "(uu)", nullptr, &reason);
    // Gone from the screen: a new one is put up with the next second's text, unless
    // the user dismissed it, which holds for the rest of this schedule.
    id_ = 0;
    sent_.clear();
    if (reason != kDismissedByUser) token_.clear();  // else it may be for the action still to come
    if (reason == kDismissedByUser && actedOn_ != id) {
      dismissed_ = true;
      closedByUser_ = id;
    }
    actedOn_ = 0;
  }
}

}  // namespace tolvane::gtk
