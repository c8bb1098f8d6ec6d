// The end of the desktop session: a client of GNOME's session manager, and a
// delay lock on logind's shutdown, and the signals that end a process. Everything
// is asynchronous: a desktop without either service starts as quickly, and simply
// never asks.
#include "gtk/session_end.h"

#include <glib-unix.h>
#include <unistd.h>

#include <csignal>
#include <iterator>

#include "platform/text/text_linux.h"

namespace tolvane::gtk {

namespace {
constexpr char kManagerName[] = "org.gnome.SessionManager";
constexpr char kManagerPath[] = "/org/gnome/SessionManager";
constexpr char kClientInterface[] = "org.gnome.SessionManager.ClientPrivate";
constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kLogindPath[] = "/org/freedesktop/login1";
constexpr char kLogindManager[] = "org.freedesktop.login1.Manager";

// An answer to a call made for `self`: nullptr once the call was cancelled, which
// happens only when `self` is gone.
template <typename Finish>
SessionEnd* Answered(GObject* source, GAsyncResult* result, gpointer self, GVariant*& reply, Finish finish) {
  GError* error = nullptr;
  reply = finish(G_DBUS_CONNECTION(source), result, &error);
  if (reply != nullptr) return static_cast<SessionEnd*>(self);
  const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  g_error_free(error);
  return cancelled ? nullptr : static_cast<SessionEnd*>(self);
}
}  // namespace

SessionEnd::SessionEnd(std::function<void()> closeRequest, std::function<void()> saveSettings,
                       std::function<void()> quit)
    : closeRequest_(std::move(closeRequest)), saveSettings_(std::move(saveSettings)), quit_(std::move(quit)),
      cancellable_(g_cancellable_new()) {
  // Handled from the main loop (a nested one too, under a message box), never inside
  // the signal handler, so the close request runs as from any other event.
  const int signals[] = {SIGTERM, SIGHUP, SIGINT};
  for (std::size_t i = 0; i < std::size(signals); ++i) {
    unixSignals_[i] = g_unix_signal_add(
        signals[i],
        [](gpointer self) -> gboolean {
          static_cast<SessionEnd*>(self)->EndNow();
          return G_SOURCE_CONTINUE;
        },
        this);
  }
  session_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (session_ != nullptr) {
    // The id the session manager gave this program when it started it, if it did.
    const char* startupId = g_getenv("DESKTOP_AUTOSTART_ID");
    g_dbus_connection_call(
        session_, kManagerName, kManagerPath, kManagerName, "RegisterClient",
        g_variant_new("(ss)", "tolvane", startupId != nullptr ? startupId : ""), G_VARIANT_TYPE("(o)"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, cancellable_,
        [](GObject* source, GAsyncResult* result, gpointer self) {
          GVariant* reply = nullptr;
          SessionEnd* me = Answered(source, result, self, reply, g_dbus_connection_call_finish);
          if (me != nullptr && reply != nullptr) me->Registered(reply);
          if (reply != nullptr) g_variant_unref(reply);
        },
        this);
    g_unsetenv("DESKTOP_AUTOSTART_ID");  // not handed on to programs started from here
  }
  system_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
  if (system_ != nullptr) {
    shutdownSignal_ = g_dbus_connection_signal_subscribe(
        system_, kLogind, kLogindManager, "PrepareForShutdown", kLogindPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters, gpointer self) {
          if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
          gboolean starting = FALSE;
          g_variant_get(parameters, "(b)", &starting);
          static_cast<SessionEnd*>(self)->ShutdownAnnounced(starting != FALSE);
        },
        this, nullptr);
    // A delay lock gives the program the moment it needs to save before the shutdown goes on.
    const std::string why = GbkToUtf8("保存设置");
    g_dbus_connection_call_with_unix_fd_list(
        system_, kLogind, kLogindPath, kLogindManager, "Inhibit",
        g_variant_new("(ssss)", "shutdown", "Tolvane", why.c_str(), "delay"), G_VARIANT_TYPE("(h)"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, cancellable_,
        [](GObject* source, GAsyncResult* result, gpointer self) {
          GUnixFDList* fds = nullptr;
          GVariant* reply = nullptr;
          SessionEnd* me = Answered(source, result, self, reply, [&fds](GDBusConnection* bus, GAsyncResult* r, GError** e) {
            return g_dbus_connection_call_with_unix_fd_list_finish(bus, &fds, r, e);
          });
          if (me != nullptr && reply != nullptr) me->InhibitorTaken(reply, fds);
          if (reply != nullptr) g_variant_unref(reply);
          if (fds != nullptr) g_object_unref(fds);
        },
        this);
  }
}

SessionEnd::~SessionEnd() {
  for (const guint source : unixSignals_) {
    if (source != 0) g_source_remove(source);
  }
  g_cancellable_cancel(cancellable_);
  g_object_unref(cancellable_);
  if (clientSignals_ != 0) g_dbus_connection_signal_unsubscribe(session_, clientSignals_);
  if (shutdownSignal_ != 0) g_dbus_connection_signal_unsubscribe(system_, shutdownSignal_);
  if (delayLock_ >= 0) close(delayLock_);
  if (session_ != nullptr) g_object_unref(session_);
  if (system_ != nullptr) g_object_unref(system_);
}

void SessionEnd::Registered(GVariant* reply) {
  const gchar* path = nullptr;
  g_variant_get(reply, "(&o)", &path);
  clientPath_ = path;
  clientSignals_ = g_dbus_connection_signal_subscribe(
      session_, kManagerName, kClientInterface, nullptr, clientPath_.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal, GVariant*, gpointer self) {
        static_cast<SessionEnd*>(self)->ClientSignal(signal);
      },
      this, nullptr);
}

void SessionEnd::ClientSignal(const gchar* signal) {
  const std::string_view name(signal);
  if (name == "QueryEndSession") {
    // Only asked: a client must not act on the question, since the user may still
    // cancel the confirmation. The settings are saved in case the end follows, then yes.
    saveSettings_();
    Respond();
  } else if (name == "EndSession" || name == "Stop") {
    // The session ends (a forced logout comes without the question first), or the
    // manager tells its client to go: as on a signal.
    CloseRequestOnce();
    if (name == "EndSession") Respond();
    quit_();
  }
}

void SessionEnd::Respond() {
  g_dbus_connection_call(session_, kManagerName, clientPath_.c_str(), kClientInterface, "EndSessionResponse",
                         g_variant_new("(bs)", TRUE, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  g_dbus_connection_flush_sync(session_, nullptr, nullptr);
}

void SessionEnd::InhibitorTaken(GVariant* reply, GUnixFDList* fds) {
  gint32 index = -1;
  g_variant_get(reply, "(h)", &index);
  if (fds != nullptr && index >= 0) delayLock_ = g_unix_fd_list_get(fds, index, nullptr);
}

void SessionEnd::ShutdownAnnounced(bool starting) {
  if (!starting) return;
  CloseRequestOnce();
  // The settings are saved: the shutdown need not wait for this program any longer.
  if (delayLock_ >= 0) close(delayLock_);
  delayLock_ = -1;
  quit_();
}

// Told to end now, with no one to answer: the close request, then the program goes.
void SessionEnd::EndNow() {
  CloseRequestOnce();
  quit_();
}

void SessionEnd::CloseRequestOnce() {
  if (closeRequested_) return;
  closeRequested_ = true;
  closeRequest_();
}

}  // namespace tolvane::gtk
