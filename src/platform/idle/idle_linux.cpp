#include "platform/idle/idle_linux.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <gio/gio.h>
#undef None  // Xlib's macro would hide IdleSource::None

#include <cstdlib>
#include <cstring>
#include <optional>

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

bool IsWaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  if (type != nullptr && std::strcmp(type, "wayland") == 0) return true;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return wayland != nullptr && *wayland != '\0';
}

}  // namespace

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
    probe.screenSaver = !probe.mutter && AskScreenSaver(session_).has_value();
  }
  source_ = ChooseIdleSource(probe);
}

LinuxIdleService::~LinuxIdleService() {
  if (display_ != nullptr) XCloseDisplay(display_);
  if (session_ != nullptr) g_object_unref(session_);
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
