#include "platform/idle/idle_linux.h"

#include <gio/gio.h>

#include <cstdlib>
#include <cstring>

#include "platform/idle/idle_sources_linux.h"

namespace tolvane {
namespace {

bool IsWaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  if (type != nullptr && std::strcmp(type, "wayland") == 0) return true;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return wayland != nullptr && *wayland != '\0';
}

}  // namespace

LinuxIdleService::LinuxIdleService() {
  // Sources are probed in the order of preference and only as far as needed.
  IdleSourceProbe probe;
  probe.wayland = IsWaylandSession();
  std::unique_ptr<LinuxIdleSource> x11, mutter, notify, screenSaver;
  if (!probe.wayland) x11 = OpenXScreenSaverIdle();
  probe.xScreenSaver = x11 != nullptr;
  GDBusConnection* session = probe.xScreenSaver ? nullptr : g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (session != nullptr) mutter = OpenMutterIdleMonitor(session);
  probe.mutter = mutter != nullptr;
  if (probe.wayland && !probe.mutter) notify = OpenIdleNotify();
  probe.idleNotify = notify != nullptr;
  if (!x11 && !mutter && !notify && session != nullptr) screenSaver = OpenScreenSaverIdle(session);
  probe.screenSaver = screenSaver != nullptr;
  if (session != nullptr) g_object_unref(session);  // the D-Bus sources hold their own reference
  switch (ChooseIdleSource(probe)) {
    case IdleSource::XScreenSaver: source_ = std::move(x11); break;
    case IdleSource::MutterIdleMonitor: source_ = std::move(mutter); break;
    case IdleSource::WaylandIdleNotify: source_ = std::move(notify); break;
    case IdleSource::FreedesktopScreenSaver: source_ = std::move(screenSaver); break;
    case IdleSource::None: break;
  }
}

LinuxIdleService::~LinuxIdleService() = default;

std::int32_t LinuxIdleService::IdleSeconds() {
  // Without a source nothing is known; the tick looks at Available() and never
  // takes this for input.
  if (!Available()) return 0x7fffffff;
  return source_->IdleSeconds();
}

bool LinuxIdleService::Available() { return source_ != nullptr && source_->Alive(); }

}  // namespace tolvane
