#include "platform/power/power_linux.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include "platform/power/power_linux_map.h"
#include "platform/text/text_linux.h"

namespace tolvane {
namespace {

constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kLogindPath[] = "/org/freedesktop/login1";
constexpr char kManager[] = "org.freedesktop.login1.Manager";
constexpr int kCallTimeoutMs = 25000;  // polkit may be asking the user

GDBusConnection* Bus(GBusType type, std::string& failure) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(type, nullptr, &error);
  if (bus == nullptr) {
    failure = error->message;
    g_error_free(error);
  }
  return bus;
}

// One synchronous call; the reply (or nullptr, with the reason in failure).
GVariant* Call(GDBusConnection* bus, const char* name, const char* path, const char* interface, const char* method,
               GVariant* arguments, const char* replyType, std::string& failure) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(bus, name, path, interface, method, arguments,
                                                replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                                G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
  if (reply == nullptr) {
    g_dbus_error_strip_remote_error(error);
    failure = error->message;
    g_error_free(error);
  }
  return reply;
}

bool NameHasOwner(GDBusConnection* bus, const char* name) {
  std::string ignored;
  GVariant* reply = Call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                         g_variant_new("(s)", name), "(b)", ignored);
  if (reply == nullptr) return false;
  gboolean owned = FALSE;
  g_variant_get(reply, "(b)", &owned);
  g_variant_unref(reply);
  return owned != FALSE;
}

}  // namespace

LinuxPowerService::~LinuxPowerService() { KeepSystemAwake(false); }

bool LinuxPowerService::RequestPowerAction(std::int32_t code, bool force) {
  failure_.clear();
  const LogindRequest request = MapLogindAction(code, force);
  if (request.kind == LogindRequest::Kind::None) {
    failure_ = "Invalid action";
    return false;
  }
  // Our own lock must not stand in the way of the action it was keeping for.
  KeepSystemAwake(false);
  if (request.kind == LogindRequest::Kind::LogOff) return LogOff(request.logoutMode);
  GDBusConnection* bus = Bus(G_BUS_TYPE_SYSTEM, failure_);
  if (bus == nullptr) return false;
  const std::string method(request.method);
  GVariant* reply = Call(bus, kLogind, kLogindPath, kManager, method.c_str(),
                         g_variant_new("(b)", request.interactive ? TRUE : FALSE), nullptr, failure_);
  g_object_unref(bus);
  if (reply == nullptr) return false;
  g_variant_unref(reply);
  return true;
}

bool LinuxPowerService::LogOff(std::uint32_t mode) {
  // The desktop's session manager ends the session the way its user expects
  // (applications get to save); without one, logind ends the session outright.
  if (GDBusConnection* session = Bus(G_BUS_TYPE_SESSION, failure_)) {
    if (NameHasOwner(session, "org.gnome.SessionManager")) {
      GVariant* reply = Call(session, "org.gnome.SessionManager", "/org/gnome/SessionManager",
                             "org.gnome.SessionManager", "Logout", g_variant_new("(u)", mode), nullptr, failure_);
      g_object_unref(session);
      if (reply == nullptr) return false;
      g_variant_unref(reply);
      return true;
    }
    g_object_unref(session);
  }
  GDBusConnection* bus = Bus(G_BUS_TYPE_SYSTEM, failure_);
  if (bus == nullptr) return false;
  // The caller's own session: by its id when the login set one, else by our process.
  const char* id = g_getenv("XDG_SESSION_ID");
  GVariant* found = id != nullptr && *id != '\0'
                        ? Call(bus, kLogind, kLogindPath, kManager, "GetSession", g_variant_new("(s)", id), "(o)", failure_)
                        : Call(bus, kLogind, kLogindPath, kManager, "GetSessionByPID",
                               g_variant_new("(u)", static_cast<guint32>(getpid())), "(o)", failure_);
  bool ended = false;
  if (found != nullptr) {
    const gchar* path = nullptr;
    g_variant_get(found, "(&o)", &path);
    GVariant* reply = Call(bus, kLogind, path, "org.freedesktop.login1.Session", "Terminate", nullptr, nullptr, failure_);
    if (reply != nullptr) {
      ended = true;
      g_variant_unref(reply);
    }
    g_variant_unref(found);
  }
  g_object_unref(bus);
  return ended;
}

std::string LinuxPowerService::FailureReason() const { return Utf8ToGbk(failure_); }

void LinuxPowerService::KeepSystemAwake(bool awake) {
  if (!awake) {
    if (inhibitorFd_ >= 0) close(inhibitorFd_);
    inhibitorFd_ = -1;
    return;
  }
  if (inhibitorFd_ >= 0) return;
  std::string ignored;
  GDBusConnection* bus = Bus(G_BUS_TYPE_SYSTEM, ignored);
  if (bus == nullptr) return;  // without logind there is no sleep timer of its own to hold off
  GUnixFDList* fds = nullptr;
  GError* error = nullptr;
  const std::string why = GbkToUtf8("等待定时的电源操作");
  // Only sleep and the idle action are held off, as on Windows; the screen may still blank.
  GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
      bus, kLogind, kLogindPath, kManager, "Inhibit",
      g_variant_new("(ssss)", "sleep:idle", "Tolvane", why.c_str(), "block"), G_VARIANT_TYPE("(h)"),
      G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &fds, nullptr, &error);
  if (reply != nullptr) {
    gint32 index = -1;
    g_variant_get(reply, "(h)", &index);
    if (fds != nullptr) inhibitorFd_ = g_unix_fd_list_get(fds, index, nullptr);
    g_variant_unref(reply);
  } else {
    g_error_free(error);
  }
  if (fds != nullptr) g_object_unref(fds);
  g_object_unref(bus);
}

}  // namespace tolvane
