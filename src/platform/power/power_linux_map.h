#pragma once
// How a Linux desktop carries out an action code, which session manager asks the
// programs first, and which lock holds automatic sleep off. No system calls here, so
// the rules are tested on any system; power_linux.cpp and keep_awake_linux.cpp make
// the calls.
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/power/power.h"

namespace tolvane {

// logind's part. Shutting down, restarting, standby and hibernation are calls of its
// manager whose one argument says whether the user may be asked (for authentication):
// a forced action never stops to ask. Log off ends the caller's session outright.
struct LogindRequest {
  enum class Kind { None, Manager, TerminateSession } kind = Kind::None;
  std::string_view method;   // for Manager: PowerOff, Reboot, Suspend or Hibernate
  bool interactive = false;  // for Manager
  bool operator==(const LogindRequest&) const = default;
};

LogindRequest MapLogindAction(std::int32_t code, bool force);

// The desktop's session manager, which lets every program save its work or object
// before the session ends, as Windows does for an unforced action. The one that runs is
// told by the desktop's name (XDG_CURRENT_DESKTOP) and by which of these names have an
// owner on the session bus; a name is asked about, never started.
enum class SessionManager { None, Gnome, MateOrCinnamon, Kde, Xfce, Lxqt };
inline constexpr std::string_view kGnomeSessionName = "org.gnome.SessionManager";
inline constexpr std::string_view kKdeSessionName = "org.kde.ksmserver";
inline constexpr std::string_view kXfceSessionName = "org.xfce.SessionManager";
inline constexpr std::string_view kLxqtSessionName = "org.lxqt.session";
struct SessionNamesOwned {
  bool gnome = false, kde = false, xfce = false, lxqt = false;
};
SessionManager ChooseSessionManager(std::string_view currentDesktop, SessionNamesOwned owned);

// One call of a session manager: `arguments` is the call's arguments in GVariant text
// of the type `signature`.
struct SessionManagerCall {
  std::string_view name, path, interface, method, signature, arguments;
  bool mayStart = false;  // the name is started on demand (KDE's shutdown helper)
  // The method never answers (LXQt's): sent without waiting, and taken once it is sent.
  bool noReply = false;
  bool operator==(const SessionManagerCall&) const = default;
};

// The session manager's call for an unforced shut down, restart or log off, always its
// form without a confirmation dialog where it has one. Nothing for a forced action,
// standby or hibernation: those go to logind.
std::optional<SessionManagerCall> MapSessionManagerCall(SessionManager manager, std::int32_t code, bool force);

// Keeping the computer awake holds off only what the desktop does on its own when the
// user is away, automatic suspend: the screen still blanks and locks as usual, and
// what the user asks for (standby from the menu, the lid, the power key) still
// suspends. Each desktop's own inhibitor is asked, as its power settings heed it:
// GNOME's session manager (also MATE's, Cinnamon's and Budgie's), the freedesktop power
// management name (KDE's and Xfce's power managers), the desktop portal (a sandbox, or
// a desktop with only a portal); without any of them, logind's idle lock, which its
// own idle action heeds. Never logind's sleep lock, which would refuse the user's own
// standby.
enum class AwakeInhibitor { SessionManager, PowerManagement, Portal, Logind };
inline constexpr AwakeInhibitor kAwakeInhibitors[] = {AwakeInhibitor::SessionManager, AwakeInhibitor::PowerManagement,
                                                      AwakeInhibitor::Portal, AwakeInhibitor::Logind};
// The flag the session manager and the portal take for suspend (1 logout, 2 user
// switching and 8 idle are left alone: idle would keep the screen from locking).
inline constexpr std::uint32_t kInhibitSuspend = 4;
inline constexpr std::string_view kLogindAwakeWhat = "idle", kLogindAwakeMode = "block";

// Xfce's power manager takes its inhibitor as a full one: while it is held the screen
// neither blanks nor locks, and nothing else holds its inactivity sleep off. So it is
// asked only where that sleep would come before the action, and logind's idle lock
// serves otherwise. Its settings give the sleep in minutes of inactivity, on mains and
// on battery (which one applies is not asked, so either counts); 14, or none, is never.
inline constexpr std::string_view kXfceSleepSettings[] = {"/xfce4-power-manager/inactivity-on-ac",
                                                          "/xfce4-power-manager/inactivity-on-battery"};
inline constexpr std::uint32_t kXfceNeverSleeps = 14;
bool XfceSleepComesFirst(const std::optional<std::uint32_t> (&minutes)[2], double secondsAhead);

// Whether the desktop's own names (XDG_CURRENT_DESKTOP, "ubuntu:GNOME") include `name`.
bool DesktopNamed(std::string_view currentDesktop, std::string_view name);

}  // namespace tolvane
