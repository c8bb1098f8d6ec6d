#include "platform/idle/idle_linux.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <gio/gio.h>
#include <poll.h>
#include <wayland-client.h>
#undef None  // Xlib's macro would hide IdleSource::None

#include <cstdlib>
#include <cstring>
#include <optional>

#include "ext-idle-notify-v1-client-protocol.h"

namespace tolvane {
namespace {

constexpr int kCallTimeoutMs = 1000;

// One idle-time query of the session bus; the reply's single number.
std::optional<std::uint64_t> AskIdleTime(GDBusConnection* bus, const char* name, const char* path, const char* method,
                                         const char* replyType) {
  GVariant* reply = g_dbus_connection_call_sync(bus, name, path, name, method, nullptr, G_VARIANT_TYPE(replyType),
                                                G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
  if (reply == nullptr) return std::nullopt;
  std::uint64_t value = 0;
  if (replyType[1] == 't') {
    guint64 wide = 0;
    g_variant_get(reply, "(t)", &wide);
    value = wide;
  } else {
    guint32 narrow = 0;
    g_variant_get(reply, "(u)", &narrow);
    value = narrow;
  }
  g_variant_unref(reply);
  return value;
}

std::optional<std::uint64_t> AskMutter(GDBusConnection* bus) {  // milliseconds
  return AskIdleTime(bus, "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core", "GetIdletime", "(t)");
}

std::optional<std::uint64_t> AskScreenSaver(GDBusConnection* bus) {  // seconds, as the freedesktop interface has it
  return AskIdleTime(bus, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "GetSessionIdleTime", "(u)");
}

constexpr std::uint32_t kIdleNoticeMs = 1000;  // the tick asks only whether input came in the last second

std::uint32_t NowTicks() { return static_cast<std::uint32_t>(g_get_monotonic_time() / 1000); }

bool IsWaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  if (type != nullptr && std::strcmp(type, "wayland") == 0) return true;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return wayland != nullptr && *wayland != '\0';
}

}  // namespace

struct IdleNotifyListeners {
  static void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto* self = static_cast<LinuxIdleService*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat_ == nullptr) {
      self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && self->notifier_ == nullptr) {
      self->notifier_ =
          static_cast<ext_idle_notifier_v1*>(wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    }
  }
  static void GlobalRemoved(void*, wl_registry*, std::uint32_t) {}
  static void Idled(void* data, ext_idle_notification_v1*) {
    auto* self = static_cast<LinuxIdleService*>(data);
    self->idled_ = true;
    self->idledTicks_ = NowTicks();
  }
  static void Resumed(void* data, ext_idle_notification_v1*) { static_cast<LinuxIdleService*>(data)->idled_ = false; }
};

namespace {
const wl_registry_listener kRegistryListener = {IdleNotifyListeners::Global, IdleNotifyListeners::GlobalRemoved};
const ext_idle_notification_v1_listener kNoticeListener = {IdleNotifyListeners::Idled, IdleNotifyListeners::Resumed};
}  // namespace

bool LinuxIdleService::ConnectIdleNotify() {
  wayland_ = wl_display_connect(nullptr);
  if (wayland_ == nullptr) return false;
  wl_registry* registry = wl_display_get_registry(wayland_);
  wl_registry_add_listener(registry, &kRegistryListener, this);
  wl_display_roundtrip(wayland_);
  wl_registry_destroy(registry);
  if (seat_ == nullptr || notifier_ == nullptr) return false;
  notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, kIdleNoticeMs, seat_);
  ext_idle_notification_v1_add_listener(notification_, &kNoticeListener, this);
  wl_display_roundtrip(wayland_);
  return true;
}

void LinuxIdleService::ReadIdleNotices() {
  // Whatever the compositor has sent by now, without waiting for more.
  while (wl_display_prepare_read(wayland_) != 0) wl_display_dispatch_pending(wayland_);
  wl_display_flush(wayland_);
  pollfd ready{wl_display_get_fd(wayland_), POLLIN, 0};
  if (poll(&ready, 1, 0) > 0) {
    wl_display_read_events(wayland_);
  } else {
    wl_display_cancel_read(wayland_);
  }
  wl_display_dispatch_pending(wayland_);
}

LinuxIdleService::LinuxIdleService() {
  IdleSourceProbe probe;
  probe.wayland = IsWaylandSession();
  if (!probe.wayland) {
    display_ = XOpenDisplay(nullptr);
    int event = 0, error = 0;
    probe.xScreenSaver = display_ != nullptr && XScreenSaverQueryExtension(display_, &event, &error);
  }
  session_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!probe.xScreenSaver && session_ != nullptr) {
    probe.mutter = AskMutter(session_).has_value();
  }
  if (probe.wayland && !probe.mutter) probe.idleNotify = ConnectIdleNotify();
  if (!probe.xScreenSaver && !probe.mutter && !probe.idleNotify && session_ != nullptr) {
    probe.screenSaver = AskScreenSaver(session_).has_value();
  }
  source_ = ChooseIdleSource(probe);
}

LinuxIdleService::~LinuxIdleService() {
  if (display_ != nullptr) XCloseDisplay(display_);
  if (session_ != nullptr) g_object_unref(session_);
  if (notification_ != nullptr) ext_idle_notification_v1_destroy(notification_);
  if (notifier_ != nullptr) ext_idle_notifier_v1_destroy(notifier_);
  if (seat_ != nullptr) wl_seat_destroy(seat_);
  if (wayland_ != nullptr) wl_display_disconnect(wayland_);
}

std::int32_t LinuxIdleService::IdleSeconds() {
  std::optional<std::uint64_t> ms;
  switch (source_) {
    case IdleSource::XScreenSaver: {
      XScreenSaverInfo* info = XScreenSaverAllocInfo();
      if (info != nullptr && XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), info)) ms = info->idle;
      if (info != nullptr) XFree(info);
      break;
    }
    case IdleSource::MutterIdleMonitor: ms = AskMutter(session_); break;
    case IdleSource::WaylandIdleNotify:
      ReadIdleNotices();
      return IdleSecondsSinceIdled(idled_, NowTicks(), idledTicks_, kIdleNoticeMs);
    case IdleSource::FreedesktopScreenSaver:
      if (auto seconds = AskScreenSaver(session_)) ms = *seconds * 1000;
      break;
    case IdleSource::None: break;
  }
  // A failed query reads as no input since the query began working, like a
  // failed query on Windows: the deadline is not pushed on.
  if (!ms) return 0x7fffffff;
  return static_cast<std::int32_t>(*ms / 1000 > 0x7fffffff ? 0x7fffffff : *ms / 1000);
}

}  // namespace tolvane
