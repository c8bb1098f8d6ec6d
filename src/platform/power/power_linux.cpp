#include "platform/power/power_linux.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <iterator>
#include <memory>

#include "platform/text/text_linux.h"

namespace tolvane {

// One power request on its way: whom to tell, and what was asked.
struct LinuxPowerService::Request {
  LinuxPowerService* service;
  PowerAnswered answered;
  LogindRequest what;
};

namespace {

constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kLogindPath[] = "/org/freedesktop/login1";
constexpr char kManager[] = "org.freedesktop.login1.Manager";
constexpr char kSessionManager[] = "org.gnome.SessionManager";
constexpr char kSessionManagerPath[] = "/org/gnome/SessionManager";
constexpr char kPortal[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
// A request waits as long as the answer takes: polkit may be asking the user to
// authenticate, and a limit would report a failure while the action may still
// follow. The inhibitors and the session lookup keep the bus's usual limit.
constexpr int kNoLimit = G_MAXINT;
constexpr int kUsualLimit = -1;

using Request = LinuxPowerService::Request;

std::string TakeMessage(GError* error) {
  g_dbus_error_strip_remote_error(error);
  std::string text = error->message;
  g_error_free(error);
  return text;
}

bool IsCancelled(const GError* error) { return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED); }

// Nobody owns the name: a desktop without that service.
bool IsAbsent(const GError* error) {
  return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
}

void Answer(Request* request, bool accepted, const std::string& reasonUtf8) {
  PowerAnswered answered = std::move(request->answered);
  delete request;
  answered(PowerAnswer{accepted, Utf8ToGbk(reasonUtf8)});
}

// The end of a request's last call: accepted, refused with the peer's reason, or
// cancelled because the service is gone (and the program with it).
void Settle(Request* request, GVariant* reply, GError* error) {
  if (reply != nullptr) {
    g_variant_unref(reply);
    Answer(request, true, {});
  } else if (IsCancelled(error)) {
    g_error_free(error);
    delete request;
  } else {
    Answer(request, false, TakeMessage(error));
  }
}

void Settled(GObject* source, GAsyncResult* result, gpointer request) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  Settle(static_cast<Request*>(request), reply, error);
}

}  // namespace

LinuxPowerService::LinuxPowerService() : cancellable_(g_cancellable_new()) {
  // The buses are connected once, at start-up; the rest of the program shares them.
  session_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  GError* error = nullptr;
  system_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
  if (system_ == nullptr) systemBusFailure_ = TakeMessage(error);
}

LinuxPowerService::~LinuxPowerService() {
  // Answers still on their way are dropped; the desktop drops our inhibitors with
  // our bus connection even if the release below never leaves.
  g_cancellable_cancel(cancellable_);
  KeepSystemAwake(false);
  g_object_unref(cancellable_);
  if (session_ != nullptr) g_object_unref(session_);
  if (system_ != nullptr) g_object_unref(system_);
}

void LinuxPowerService::RequestPowerAction(std::int32_t code, bool force, PowerAnswered answered) {
  auto* request = new Request{this, std::move(answered), MapLogindAction(code, force)};
  if (request->what.kind == LogindRequest::Kind::None) return Answer(request, false, "Invalid action");
  // Our own lock must not stand in the way of the action it was keeping for.
  KeepSystemAwake(false);
  if (request->what.kind == LogindRequest::Kind::LogOff) return LogOff(request);
  if (system_ == nullptr) return Answer(request, false, systemBusFailure_);
  const std::string method(request->what.method);
  const bool interactive = request->what.interactive;
  g_dbus_connection_call(system_, kLogind, kLogindPath, kManager, method.c_str(), g_variant_new("(b)", interactive),
                         nullptr,
                         interactive ? G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION : G_DBUS_CALL_FLAGS_NONE,
                         kNoLimit, cancellable_, Settled, request);
}

void LinuxPowerService::LogOff(Request* request) {
  // The desktop's session manager ends the session the way its user expects
  // (applications get to save); without one, logind ends the session outright.
  if (session_ == nullptr) return TerminateSession(request);
  g_dbus_connection_call(
      session_, kSessionManager, kSessionManagerPath, kSessionManager, "Logout",
      g_variant_new("(u)", request->what.logoutMode), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, kNoLimit, cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* request = static_cast<Request*>(data);
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (reply == nullptr && IsAbsent(error)) {
          g_error_free(error);
          request->service->TerminateSession(request);
          return;
        }
        Settle(request, reply, error);
      },
      request);
}

void LinuxPowerService::TerminateSession(Request* request) {
  if (system_ == nullptr) return Answer(request, false, systemBusFailure_);
  // The caller's own session: by its id when the login set one, else by our process.
  const char* id = g_getenv("XDG_SESSION_ID");
  const bool byId = id != nullptr && *id != '\0';
  g_dbus_connection_call(
      system_, kLogind, kLogindPath, kManager, byId ? "GetSession" : "GetSessionByPID",
      byId ? g_variant_new("(s)", id) : g_variant_new("(u)", static_cast<guint32>(getpid())), G_VARIANT_TYPE("(o)"),
      G_DBUS_CALL_FLAGS_NONE, kUsualLimit, cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* request = static_cast<Request*>(data);
        GError* error = nullptr;
        GVariant* found = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (found == nullptr) return Settle(request, nullptr, error);
        const gchar* path = nullptr;
        g_variant_get(found, "(&o)", &path);
        g_dbus_connection_call(G_DBUS_CONNECTION(source), kLogind, path, "org.freedesktop.login1.Session", "Terminate",
                               nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, kNoLimit, request->service->cancellable_,
                               Settled, request);
        g_variant_unref(found);
      },
      request);
}

void LinuxPowerService::KeepSystemAwake(bool awake) {
  awakeWanted_ = awake;
  if (!awake) {
    Release(lock_);
    return;
  }
  // Held already, or asked for and not answered yet: that answer will be adopted.
  if (lock_.held || inhibiting_) return;
  TryInhibitor(firstInhibitor_);
}

// Asks for the inhibitor kAwakeInhibitors[index], or the next one whose bus is
// there. Its answer is adopted while the lock is still wanted and released at once
// otherwise; a desktop without it has the next one asked.
void LinuxPowerService::TryInhibitor(std::size_t index) {
  auto busFor = [this](AwakeInhibitor kind) { return kind == AwakeInhibitor::Logind ? system_ : session_; };
  while (index < std::size(kAwakeInhibitors) && busFor(kAwakeInhibitors[index]) == nullptr) ++index;
  if (index >= std::size(kAwakeInhibitors)) return;  // nothing here puts the computer to sleep on its own
  const AwakeInhibitor kind = kAwakeInhibitors[index];
  const std::string why = GbkToUtf8("等待定时的电源操作");
  const char *name = kLogind, *path = kLogindPath, *interface = kManager, *replyType = "(h)";
  GVariant* arguments = nullptr;
  GDBusCallFlags flags = G_DBUS_CALL_FLAGS_NO_AUTO_START;
  switch (kind) {
    case AwakeInhibitor::SessionManager:
      name = interface = kSessionManager;
      path = kSessionManagerPath;
      replyType = "(u)";
      arguments = g_variant_new("(susu)", "Tolvane", 0u, why.c_str(), kAwakeInhibitFlags);
      break;
    case AwakeInhibitor::Portal: {
      name = kPortal;
      path = kPortalPath;
      interface = "org.freedesktop.portal.Inhibit";
      replyType = "(o)";
      GVariantBuilder options;
      g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
      g_variant_builder_add(&options, "{sv}", "reason", g_variant_new_string(why.c_str()));
      arguments = g_variant_new("(sua{sv})", "", kAwakeInhibitFlags, &options);
      flags = G_DBUS_CALL_FLAGS_NONE;  // the portal is started on demand
      break;
    }
    case AwakeInhibitor::Logind: {
      const std::string what(kLogindAwakeWhat), mode(kLogindAwakeMode);
      arguments = g_variant_new("(ssss)", what.c_str(), "Tolvane", why.c_str(), mode.c_str());
      break;
    }
  }
  struct Attempt {
    LinuxPowerService* service;
    std::size_t index;
  };
  inhibiting_ = true;
  g_dbus_connection_call_with_unix_fd_list(
      busFor(kind), name, path, interface, "Inhibit", arguments, G_VARIANT_TYPE(replyType), flags, kUsualLimit, nullptr,
      cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        const std::unique_ptr<Attempt> attempt(static_cast<Attempt*>(data));
        GUnixFDList* fds = nullptr;
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_with_unix_fd_list_finish(G_DBUS_CONNECTION(source), &fds, result, &error);
        if (reply == nullptr && IsCancelled(error)) {
          g_error_free(error);  // the service is gone
          return;
        }
        LinuxPowerService& self = *attempt->service;
        self.inhibiting_ = false;
        if (reply == nullptr) {
          g_error_free(error);
          if (self.awakeWanted_) self.TryInhibitor(attempt->index + 1);
          return;
        }
        AwakeLock lock;
        lock.kind = kAwakeInhibitors[attempt->index];
        lock.held = true;
        if (lock.kind == AwakeInhibitor::SessionManager) {
          g_variant_get(reply, "(u)", &lock.cookie);
        } else if (lock.kind == AwakeInhibitor::Portal) {
          const gchar* handle = nullptr;
          g_variant_get(reply, "(&o)", &handle);
          lock.handle = handle;
        } else {
          gint32 fdIndex = -1;
          g_variant_get(reply, "(h)", &fdIndex);
          lock.fd = fds != nullptr ? g_unix_fd_list_get(fds, fdIndex, nullptr) : -1;
          lock.held = lock.fd >= 0;
        }
        g_variant_unref(reply);
        if (fds != nullptr) g_object_unref(fds);
        if (self.awakeWanted_ && !self.lock_.held) {
          self.lock_ = std::move(lock);
          self.firstInhibitor_ = attempt->index;  // this desktop's inhibitor, asked first from now on
        } else {
          self.Release(lock);  // the schedule ended before the answer came
        }
      },
      new Attempt{this, index});
}

void LinuxPowerService::Release(AwakeLock& lock) {
  if (!lock.held) return;
  switch (lock.kind) {
    case AwakeInhibitor::SessionManager:
      g_dbus_connection_call(session_, kSessionManager, kSessionManagerPath, kSessionManager, "Uninhibit",
                             g_variant_new("(u)", lock.cookie), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, kUsualLimit,
                             nullptr, nullptr, nullptr);
      break;
    case AwakeInhibitor::Portal:
      g_dbus_connection_call(session_, kPortal, lock.handle.c_str(), "org.freedesktop.portal.Request", "Close", nullptr,
                             nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, kUsualLimit, nullptr, nullptr, nullptr);
      break;
    case AwakeInhibitor::Logind:
      close(lock.fd);
      break;
  }
  lock = AwakeLock{};
}

}  // namespace tolvane
