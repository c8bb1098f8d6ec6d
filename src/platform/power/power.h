#pragma once
// The power action the program runs at the target: shut down, restart, log off,
// standby or hibernate, optionally forced. Each system maps the action codes onto
// its own requests beside its own code (power_win32_map.h, power_linux_map.h).
#include <cstdint>
#include <functional>
#include <string>

namespace tolvane {

// The action codes, as the program's radio boxes choose them.
inline constexpr std::int32_t kShutDown = 1, kRestart = 2, kLogOff = 3, kStandby = 4, kHibernate = 5;
inline constexpr bool IsPowerActionCode(std::int32_t code) { return code >= kShutDown && code <= kHibernate; }

// The system's answer to a power request: accepted, or refused with the system's
// reason (GBK text, possibly empty).
struct PowerAnswer {
  bool accepted = false;
  std::string reason;
};
using PowerAnswered = std::function<void(const PowerAnswer&)>;

class PowerService {
 public:
  virtual ~PowerService() = default;
  // Asks the system for the action, with whatever right it takes to ask. Forced,
  // the action does not wait for programs that object, and the user is not asked.
  // `answered` runs once, on the window's thread: before this returns where the
  // system answers at once (Windows), or from the main loop when it answers later
  // (logind, which may first have the user authenticate for as long as they take).
  // It never runs after the service is gone.
  virtual void RequestPowerAction(std::int32_t code, bool force, PowerAnswered answered) = 0;
  // While a schedule runs the computer must not fall asleep on its own idle timer;
  // the user's own standby stays theirs. `secondsAhead`: the time left until the action,
  // for a desktop whose hold would cost more than automatic sleep (Xfce's: the screen
  // lock), asked only when its sleep would come first.
  virtual void KeepSystemAwake(bool awake, double secondsAhead = 0) = 0;
};

}  // namespace tolvane
