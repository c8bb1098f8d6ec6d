#pragma once
// The places a Linux desktop tells the idle time, one class each behind one small
// interface; LinuxIdleService probes them at start-up and keeps the one it chose.
#include <cstdint>
#include <memory>

typedef struct _GDBusConnection GDBusConnection;

namespace tolvane {

class LinuxIdleSource {
 public:
  virtual ~LinuxIdleSource() = default;
  // Whole seconds since the last input. Never waits for a peer: a source that asks
  // over D-Bus answers from its last reply and asks again.
  virtual std::int32_t IdleSeconds() = 0;
  // False for good once the connection broke, the peer left, or its answers failed
  // for a stretch: the idle time is unknown then, which must not read as "the user
  // is active".
  virtual bool Alive() const = 0;
};

// Each opens its source and probes it once with a short limit; nothing when it
// does not answer.
std::unique_ptr<LinuxIdleSource> OpenXScreenSaverIdle();
std::unique_ptr<LinuxIdleSource> OpenMutterIdleMonitor(GDBusConnection* bus);
std::unique_ptr<LinuxIdleSource> OpenIdleNotify();
std::unique_ptr<LinuxIdleSource> OpenScreenSaverIdle(GDBusConnection* bus);

}  // namespace tolvane
