#include "platform/idle/idle.h"

namespace tolvane {

std::int32_t IdleSecondsBetween(std::uint32_t nowTicks, std::uint32_t lastInputTicks) {
  // Unsigned subtraction is the modulo-2^32 difference, so an input just before the
  // tick counter wrapped still reads as a few milliseconds ago. Converting a value
  // above INT32_MAX to int32_t is defined (modular) from C++20 on.
  const auto idleMs = static_cast<std::int32_t>(nowTicks - lastInputTicks);
  return idleMs / 1000;  // truncates toward zero, also for a negative difference
}

IdleSource ChooseIdleSource(const IdleSourceProbe& probe) {
  if (!probe.wayland && probe.xScreenSaver) return IdleSource::XScreenSaver;
  if (probe.mutter) return IdleSource::MutterIdleMonitor;
  if (probe.screenSaver) return IdleSource::FreedesktopScreenSaver;
  return IdleSource::None;
}

}  // namespace tolvane
