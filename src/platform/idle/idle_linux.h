#pragma once
// The idle query on a Linux desktop: the XScreenSaver extension on X11, the
// compositor's idle monitor over D-Bus or its idle notifications on Wayland.
#include <cstdint>

#include "platform/idle/idle.h"

typedef struct _XDisplay Display;
typedef struct _GDBusConnection GDBusConnection;
struct wl_display;
struct wl_seat;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;

namespace tolvane {

class LinuxIdleService final : public IdleService {
 public:
  LinuxIdleService();
  ~LinuxIdleService() override;
  std::int32_t IdleSeconds() override;
  bool Available() override { return source_ != IdleSource::None; }

 private:
  // The compositor's idle notifications: a connection of our own, asked for the
  // notice of one second without input.
  bool ConnectIdleNotify();
  void ReadIdleNotices();
  friend struct IdleNotifyListeners;

  IdleSource source_ = IdleSource::None;
  Display* display_ = nullptr;
  GDBusConnection* session_ = nullptr;
  wl_display* wayland_ = nullptr;
  wl_seat* seat_ = nullptr;
  ext_idle_notifier_v1* notifier_ = nullptr;
  ext_idle_notification_v1* notification_ = nullptr;
  bool idled_ = false;
  std::uint32_t idledTicks_ = 0;
};

}  // namespace tolvane
