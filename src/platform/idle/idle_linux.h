#pragma once
// The idle query on a Linux desktop: the XScreenSaver extension on X11, the
// compositor's idle monitor over D-Bus on Wayland.
#include <cstdint>

#include "platform/idle/idle.h"

typedef struct _XDisplay Display;
typedef struct _GDBusConnection GDBusConnection;

namespace tolvane {

class LinuxIdleService final : public IdleService {
 public:
  LinuxIdleService();
  ~LinuxIdleService() override;
  std::int32_t IdleSeconds() override;
  bool Available() override { return source_ != IdleSource::None; }

 private:
  IdleSource source_ = IdleSource::None;
  Display* display_ = nullptr;
  GDBusConnection* session_ = nullptr;
};

}  // namespace tolvane
