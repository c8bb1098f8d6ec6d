#include "platform/power/keep_awake_linux.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>

#include "platform/power/power_linux_map.h"
#include "platform/text/text_linux.h"

namespace tolvane {

namespace {

constexpr char kSessionManager[] = "org.gnome.SessionManager";
constexpr char kSessionManagerPath[] = "/org/gnome/SessionManager";
constexpr char kPowerManagement[] = "org.freedesktop.PowerManagement";
constexpr char kPowerManagementPath[] = "/org/freedesktop/PowerManagement/Inhibit";
constexpr char kPowerManagementInterface[] = "org.freedesktop.PowerManagement.Inhibit";
constexpr char kPortal[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kLogindPath[] = "/org/freedesktop/login1";
constexpr char kLogindManager[] = "org.freedesktop.login1.Manager";
constexpr char kApplication[] = "Tolvane";

// One call of Inhibit on its way: who asked, which inhibitor, and which one to ask
// first next time (the same, but for logind's lock standing in for Xfce's).
struct Attempt {
  LinuxKeepAwake* owner;
  std::size_t index, remembered;
};

std::size_t IndexOf(AwakeInhibitor kind) {
  return static_cast<std::size_t>(std::find(std::begin(kAwakeInhibitors), std::end(kAwakeInhibitors), kind) -
                                  std::begin(kAwakeInhibitors));
}

}  // namespace

LinuxKeepAwake::LinuxKeepAwake(GDBusConnection* session, GDBusConnection* system)
    : session_(session != nullptr ? G_DBUS_CONNECTION(g_object_ref(session)) : nullptr),
      system_(system != nullptr ? G_DBUS_CONNECTION(g_object_ref(system)) : nullptr),
      cancellable_(g_cancellable_new()) {}

LinuxKeepAwake::~LinuxKeepAwake() {
  // Answers still on their way are dropped; the desktop drops our inhibitors with our
  // bus connection even if the release below never leaves.
  g_cancellable_cancel(cancellable_);
  KeepSystemAwake(false);
  g_object_unref(cancellable_);
  if (session_ != nullptr) g_object_unref(session_);
  if (system_ != nullptr) g_object_unref(system_);
}

void LinuxKeepAwake::KeepSystemAwake(bool awake, double secondsAhead) {
  wanted_ = awake;
  secondsAhead_ = secondsAhead;
  if (!awake) {
    Release(lock_);
    return;
  }
  // Held already, or asked for and not answered yet: that answer will be adopted.
  if (lock_.held || asking_) return;
  TryInhibitor(firstInhibitor_);
}

// Asks for the inhibitor kAwakeInhibitors[index], or the next one whose bus is there.
// A desktop without it has the next one asked.
void LinuxKeepAwake::TryInhibitor(std::size_t index) {
  auto busFor = [this](AwakeInhibitor kind) { return kind == AwakeInhibitor::Logind ? system_ : session_; };
  while (index < std::size(kAwakeInhibitors) && busFor(kAwakeInhibitors[index]) == nullptr) ++index;
  if (index >= std::size(kAwakeInhibitors)) return;  // nothing here puts the computer to sleep on its own
  const char* desktop = g_getenv("XDG_CURRENT_DESKTOP");
  if (kAwakeInhibitors[index] == AwakeInhibitor::PowerManagement && DesktopNamed(desktop ? desktop : "", "XFCE")) {
    return AskXfceFirst(index);
  }
  Ask(index, index);
}

// Reads when Xfce's power manager would put the computer to sleep, then asks it or,
// where its sleep comes after the action, logind (power_linux_map.h says why).
void LinuxKeepAwake::AskXfceFirst(std::size_t index) {
  struct Reading {
    LinuxKeepAwake* owner;
    std::size_t index;
    std::optional<std::uint32_t> minutes[std::size(kXfceSleepSettings)];
    std::size_t waiting = std::size(kXfceSleepSettings);
    bool cancelled = false;
  };
  struct Setting {
    Reading* reading;
    std::size_t which;
  };
  asking_ = true;
  auto* reading = new Reading{this, index};
  for (std::size_t i = 0; i < std::size(kXfceSleepSettings); ++i) {
    const std::string property(kXfceSleepSettings[i]);
    g_dbus_connection_call(
        session_, "org.xfce.Xfconf", "/org/xfce/Xfconf", "org.xfce.Xfconf", "GetProperty",
        g_variant_new("(ss)", "xfce4-power-manager", property.c_str()), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, -1, cancellable_,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          const std::unique_ptr<Setting> setting(static_cast<Setting*>(data));
          Reading* reading = setting->reading;
          GError* error = nullptr;
          if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error)) {
            GVariant* value = nullptr;
            g_variant_get(reply, "(v)", &value);
            // As the settings dialog stores it, or as typed with xfconf-query.
            if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) {
              reading->minutes[setting->which] = g_variant_get_uint32(value);
            } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32) && g_variant_get_int32(value) >= 0) {
              reading->minutes[setting->which] = static_cast<std::uint32_t>(g_variant_get_int32(value));
            }
            g_variant_unref(value);
            g_variant_unref(reply);
          } else {
            // Not set: the power manager's default, never.
            reading->cancelled = reading->cancelled || g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
            g_error_free(error);
          }
          if (--reading->waiting > 0) return;
          const std::unique_ptr<Reading> done(reading);
          if (done->cancelled) return;  // the owner is gone
          LinuxKeepAwake& self = *done->owner;
          self.asking_ = false;
          if (!self.wanted_) return;
          if (XfceSleepComesFirst(done->minutes, self.secondsAhead_)) return self.Ask(done->index, done->index);
          const std::size_t logind = IndexOf(AwakeInhibitor::Logind);
          if (self.system_ != nullptr) self.Ask(logind, done->index);
        },
        new Setting{reading, i});
  }
}

void LinuxKeepAwake::Ask(std::size_t index, std::size_t remembered) {
  const AwakeInhibitor kind = kAwakeInhibitors[index];
  const std::string why = GbkToUtf8("等待定时的电源操作");
  const char *name = kLogind, *path = kLogindPath, *interface = kLogindManager, *replyType = "(h)";
  GVariant* arguments = nullptr;
  GDBusCallFlags flags = G_DBUS_CALL_FLAGS_NO_AUTO_START;
  switch (kind) {
    case AwakeInhibitor::SessionManager:
      name = interface = kSessionManager;
      path = kSessionManagerPath;
      replyType = "(u)";
      arguments = g_variant_new("(susu)", kApplication, 0u, why.c_str(), kInhibitSuspend);
      break;
    case AwakeInhibitor::PowerManagement:
      name = kPowerManagement;
      path = kPowerManagementPath;
      interface = kPowerManagementInterface;
      replyType = "(u)";
      arguments = g_variant_new("(ss)", kApplication, why.c_str());
      break;
    case AwakeInhibitor::Portal: {
      name = kPortal;
      path = kPortalPath;
      interface = "org.freedesktop.portal.Inhibit";
      replyType = "(o)";
      GVariantBuilder options;
      g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
      g_variant_builder_add(&options, "{sv}", "reason", g_variant_new_string(why.c_str()));
      arguments = g_variant_new("(sua{sv})", "", kInhibitSuspend, &options);
      flags = G_DBUS_CALL_FLAGS_NONE;  // the portal is started on demand
      break;
    }
    case AwakeInhibitor::Logind: {
      const std::string what(kLogindAwakeWhat), mode(kLogindAwakeMode);
      arguments = g_variant_new("(ssss)", what.c_str(), kApplication, why.c_str(), mode.c_str());
      break;
    }
  }
  asking_ = true;
  g_dbus_connection_call_with_unix_fd_list(
      kind == AwakeInhibitor::Logind ? system_ : session_, name, path, interface, "Inhibit", arguments,
      G_VARIANT_TYPE(replyType), flags, -1, nullptr, cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        const std::unique_ptr<Attempt> attempt(static_cast<Attempt*>(data));
        GUnixFDList* fds = nullptr;
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_with_unix_fd_list_finish(G_DBUS_CONNECTION(source), &fds, result, &error);
        if (reply == nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
          g_error_free(error);  // the owner is gone
          return;
        }
        LinuxKeepAwake& self = *attempt->owner;
        self.asking_ = false;
        if (reply == nullptr) {
          g_error_free(error);
          if (self.wanted_) self.TryInhibitor(attempt->index + 1);
          return;
        }
        Lock lock;
        lock.kind = kAwakeInhibitors[attempt->index];
        lock.held = true;
        if (lock.kind == AwakeInhibitor::SessionManager || lock.kind == AwakeInhibitor::PowerManagement) {
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
        if (self.wanted_ && !self.lock_.held) {
          self.lock_ = std::move(lock);
          self.firstInhibitor_ = attempt->remembered;  // this desktop's inhibitor, asked first from now on
        } else {
          self.Release(lock);  // the schedule ended before the answer came
        }
      },
      new Attempt{this, index, remembered});
}

void LinuxKeepAwake::Release(Lock& lock) {
  if (!lock.held) return;
  switch (lock.kind) {
    case AwakeInhibitor::SessionManager:
      g_dbus_connection_call(session_, kSessionManager, kSessionManagerPath, kSessionManager, "Uninhibit",
                             g_variant_new("(u)", lock.cookie), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
                             nullptr, nullptr);
      break;
    case AwakeInhibitor::PowerManagement:
      g_dbus_connection_call(session_, kPowerManagement, kPowerManagementPath, kPowerManagementInterface, "UnInhibit",
                             g_variant_new("(u)", lock.cookie), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
                             nullptr, nullptr);
      break;
    case AwakeInhibitor::Portal:
      g_dbus_connection_call(session_, kPortal, lock.handle.c_str(), "org.freedesktop.portal.Request", "Close", nullptr,
                             nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, nullptr, nullptr);
      break;
    case AwakeInhibitor::Logind:
      close(lock.fd);
      break;
  }
  lock = Lock{};
}

}  // namespace tolvane
