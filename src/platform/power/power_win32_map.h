#pragma once
// How Windows carries out an action code: the exit flags or the suspend call, and
// the order of the system calls. No system calls here, so the rules are tested on
// any system; power_win32.cpp makes the calls.
#include <cstdint>
#include <optional>

#include "platform/power/power.h"

namespace tolvane {

// ExitWindowsEx flags.
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

// Which system call puts the machine to sleep or into hibernation. The old
// kernel call is deprecated from NT 6.0 (Vista) on in favour of the power-profile
// call, so it is used only before that.
enum class SuspendCall { SetSystemPowerState, SetSuspendState };
SuspendCall ChooseSuspendCall(std::uint32_t majorVersion);

// The system calls a power request is made of, so the order of the steps and
// what is skipped on failure can be tested without Windows.
class PowerSystemCalls {
 public:
  virtual ~PowerSystemCalls() = default;
  virtual bool IsNtFamily() = 0;
  virtual std::uint32_t MajorVersion() = 0;
  virtual bool EnableShutdownPrivilege() = 0;
  virtual bool EndSession(std::uint32_t exitFlags) = 0;  // log off, shut down or restart
  virtual bool SetSystemPowerState(bool suspend, bool force) = 0;
  // nullopt when the system does not offer the call at all.
  virtual std::optional<bool> SetSuspendState(bool hibernate, bool force) = 0;
};

// Validates the code, enables the privilege, then issues the one request; true
// when the system accepted it. Nothing is called for a code outside 1..5, and no
// request is made without the privilege.
bool RunPowerAction(PowerSystemCalls& system, std::int32_t code, bool force);

}  // namespace tolvane
