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
  if (probe.wayland && probe.idleNotify) return IdleSource::WaylandIdleNotify;
  if (probe.screenSaver) return IdleSource::FreedesktopScreenSaver;
  return IdleSource::None;
}

void IdleReadings::Take(const IdleReading& reading) {
  // Held to some thirty years, so that no answer, however wrong, overflows the sums.
  const auto held = [](std::uint64_t ms) { return static_cast<std::int64_t>(ms < (1ull << 40) ? ms : 1ull << 40); };
  const std::int64_t betweenMs = (reading.fromUs - last_.untilUs) / 1000;
  const bool inputBetween = any_ && held(reading.idleMs) + held(unitMs_) < held(last_.idleMs) + betweenMs;
  inputSeen_ = inputSeen_ || reading.idleMs < 1000 || inputBetween;
  last_ = reading;
  any_ = true;
}

std::int32_t IdleReadings::IdleSeconds() {
  if (inputSeen_) {
    inputSeen_ = false;
    return 0;
  }
  const std::uint64_t seconds = last_.idleMs / 1000;
  return static_cast<std::int32_t>(seconds > 0x7fffffff ? 0x7fffffff : seconds);
}

std::int32_t IdleSecondsSinceIdled(bool idled, std::uint32_t nowTicks, std::uint32_t idledTicks,
                                   std::uint32_t timeoutMs) {
  if (!idled) return 0;
  // Idled can only be told once the timeout has passed: never less than it.
  const std::int32_t seconds = IdleSecondsBetween(nowTicks, idledTicks - timeoutMs);
  const auto least = static_cast<std::int32_t>(timeoutMs / 1000);
  return seconds > least ? seconds : least;
}

}  // namespace tolvane
