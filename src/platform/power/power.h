#pragma once
// Power actions: 1 shut down, 2 restart, 3 log off, 4 standby, 5 hibernate.
#include <cstdint>
#include <string>

namespace tolvane {

inline constexpr std::uint32_t kEwxLogoff = 0, kEwxShutdown = 1, kEwxReboot = 2, kEwxForce = 4, kEwxPowerOff = 8;

// The system request one action code stands for; kind None for codes outside 1..5.
struct PowerRequest {
  enum class Kind { None, ExitWindows, SetPowerState } kind = Kind::None;
  std::uint32_t exitFlags = 0;  // for ExitWindows
  bool suspend = false;         // for SetPowerState: true standby, false hibernate
  bool force = false;           // for SetPowerState
  bool operator==(const PowerRequest&) const = default;
};

PowerRequest MapPowerAction(std::int32_t code, bool force, bool ntFamily);

class PowerService {
 public:
  virtual ~PowerService() = default;
  // Enables the shutdown privilege and issues the request; true when the system
  // accepted it. On false, FailureReason() tells the user why (GBK text).
  virtual bool RequestPowerAction(std::int32_t code, bool force) = 0;
  virtual std::string FailureReason() const = 0;
  // While a schedule runs the computer must not fall asleep on its own idle timer.
  virtual void KeepSystemAwake(bool awake) = 0;
};

}  // namespace tolvane
