#pragma once
// How a Linux desktop carries out an action code. No system calls here, so the
// rule is tested on any system; power_linux.cpp makes the calls.
#include <cstdint>
#include <string_view>

#include "platform/power/power.h"

namespace tolvane {

// Shutting down, restarting, standby and hibernation are calls of logind's
// manager whose one argument says whether the user may be asked (for
// authentication): a forced action never stops to ask. Log off ends the caller's
// session, through the desktop's session manager where one answers (its mode 2
// ignores the applications that object, mode 1 lets them object without asking
// the user to confirm) and otherwise by logind ending the session.
struct LogindRequest {
  enum class Kind { None, Manager, LogOff } kind = Kind::None;
  std::string_view method;   // for Manager: PowerOff, Reboot, Suspend or Hibernate
  bool interactive = false;  // for Manager
  std::uint32_t logoutMode = 0;  // for LogOff through the session manager
  bool operator==(const LogindRequest&) const = default;
};

LogindRequest MapLogindAction(std::int32_t code, bool force);

}  // namespace tolvane
