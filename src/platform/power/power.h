#pragma once
// Power actions: 1 shut down, 2 restart, 3 log off, 4 standby, 5 hibernate.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// Which system call puts the machine to sleep or into hibernation. The old
// kernel call is deprecated from NT 6.0 (Vista) on in favour of the power-profile
// call, so it is used only before that.
enum class SuspendCall { SetSystemPowerState, SetSuspendState };
SuspendCall ChooseSuspendCall(std::uint32_t majorVersion);

// The system calls a power request is made of, so the order of the steps and
// what is skipped on failure do not depend on Windows.
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

// The request one action code stands for on a Linux desktop. Shutting down,
// restarting, standby and hibernation are calls of logind's manager whose one
// argument says whether the user may be asked (for authentication): a forced
// action never stops to ask. Log off ends the caller's session, through the
// desktop's session manager where one answers (its mode 2 ignores the
// applications that object, mode 1 lets them object without asking the user to
// confirm) and otherwise by logind ending the session.
struct LogindRequest {
  enum class Kind { None, Manager, LogOff } kind = Kind::None;
  std::string_view method;   // for Manager: PowerOff, Reboot, Suspend or Hibernate
  bool interactive = false;  // for Manager
  std::uint32_t logoutMode = 0;  // for LogOff through the session manager
  bool operator==(const LogindRequest&) const = default;
};

LogindRequest MapLogindAction(std::int32_t code, bool force);

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
