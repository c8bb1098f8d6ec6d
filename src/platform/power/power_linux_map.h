#pragma once
// How a Linux desktop carries out an action code, and which lock holds automatic
// sleep off. No system calls here, so the rules are tested on any system;
// power_linux.cpp makes the calls.
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

// Keeping the computer awake holds off what the desktop does on its own when the
// user is away (automatic suspend, the idle action) and nothing the user asks for:
// standby from the menu, the lid or the power key still suspend. The desktop's own
// inhibitors are asked first, as its power settings heed them: GNOME's session
// manager, then the desktop portal (KDE, and GNOME inside a sandbox). Without
// either, logind's idle lock; never its sleep lock, which would refuse the user's
// own standby.
enum class AwakeInhibitor { SessionManager, Portal, Logind };
inline constexpr AwakeInhibitor kAwakeInhibitors[] = {AwakeInhibitor::SessionManager, AwakeInhibitor::Portal,
                                                      AwakeInhibitor::Logind};
// The flags both the session manager and the portal take: 4 suspend, 8 idle
// (1 logout and 2 user switching are left alone).
inline constexpr std::uint32_t kInhibitSuspend = 4, kInhibitIdle = 8;
inline constexpr std::uint32_t kAwakeInhibitFlags = kInhibitSuspend | kInhibitIdle;
inline constexpr std::string_view kLogindAwakeWhat = "idle", kLogindAwakeMode = "block";

}  // namespace tolvane
