#pragma once
// The power action the program runs at the target: shut down, restart, log off,
// standby or hibernate, optionally forced. Each system maps the action codes onto
// its own requests beside its own code (power_win32_map.h, power_linux_map.h).
#include <cstdint>
#include <string>

namespace tolvane {

// The action codes, as the program's radio boxes choose them.
inline constexpr std::int32_t kShutDown = 1, kRestart = 2, kLogOff = 3, kStandby = 4, kHibernate = 5;
inline constexpr bool IsPowerActionCode(std::int32_t code) { return code >= kShutDown && code <= kHibernate; }

class PowerService {
 public:
  virtual ~PowerService() = default;
  // Asks the system for the action, with whatever right it takes to ask; true when
  // the system accepted it. Forced, the action does not wait for programs that
  // object, and the user is not asked. On false, FailureReason() tells the user
  // why (GBK text).
  virtual bool RequestPowerAction(std::int32_t code, bool force) = 0;
  virtual std::string FailureReason() const = 0;
  // While a schedule runs the computer must not fall asleep on its own idle timer.
  virtual void KeepSystemAwake(bool awake) = 0;
};

}  // namespace tolvane
