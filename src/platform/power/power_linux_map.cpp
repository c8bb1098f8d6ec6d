#include "platform/power/power_linux_map.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace tolvane {

LogindRequest MapLogindAction(std::int32_t code, bool force) {
  LogindRequest request;
  static constexpr std::string_view kMethods[] = {"PowerOff", "Reboot", "", "Suspend", "Hibernate"};
  if (code == kLogOff) {
    request.kind = LogindRequest::Kind::TerminateSession;
  } else if (IsPowerActionCode(code)) {
    request.kind = LogindRequest::Kind::Manager;
    request.method = kMethods[code - kShutDown];
    request.interactive = !force;
  }
  return request;
}

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y)); });
}

}  // namespace

bool DesktopNamed(std::string_view currentDesktop, std::string_view name) {
  while (!currentDesktop.empty()) {
    const std::size_t colon = currentDesktop.find(':');
    if (SameName(currentDesktop.substr(0, colon), name)) return true;
    currentDesktop = colon == std::string_view::npos ? std::string_view() : currentDesktop.substr(colon + 1);
  }
  return false;
}

bool XfceSleepComesFirst(const std::optional<std::uint32_t> (&minutes)[2], double secondsAhead) {
  return std::any_of(std::begin(minutes), std::end(minutes), [secondsAhead](std::optional<std::uint32_t> m) {
    return m && *m != kXfceNeverSleeps && *m * 60.0 <= secondsAhead;
  });
}

SessionManager ChooseSessionManager(std::string_view currentDesktop, SessionNamesOwned owned) {
  // The desktop's own names first, in the order it lists them ("ubuntu:GNOME").
  while (!currentDesktop.empty()) {
    const std::size_t colon = currentDesktop.find(':');
    const std::string_view desktop = currentDesktop.substr(0, colon);
    currentDesktop = colon == std::string_view::npos ? std::string_view() : currentDesktop.substr(colon + 1);
    if (SameName(desktop, "KDE") && owned.kde) return SessionManager::Kde;
    if (SameName(desktop, "XFCE") && owned.xfce) return SessionManager::Xfce;
    if ((SameName(desktop, "MATE") || SameName(desktop, "X-Cinnamon")) && owned.gnome) return SessionManager::MateOrCinnamon;
    if ((SameName(desktop, "GNOME") || SameName(desktop, "Budgie")) && owned.gnome) return SessionManager::Gnome;
    // LXQt's ends its modules and programs in order, then makes logind's call itself.
    if (SameName(desktop, "LXQt")) return owned.lxqt ? SessionManager::Lxqt : SessionManager::None;
  }
  // A desktop by another name: a session manager found on the bus all the same. KDE's
  // is left out here, as its shutdown helper would be started on demand.
  if (owned.gnome) return SessionManager::Gnome;
  if (owned.xfce) return SessionManager::Xfce;
  return SessionManager::None;
}

std::optional<SessionManagerCall> MapSessionManagerCall(SessionManager manager, std::int32_t code, bool force) {
  if (force || code < kShutDown || code > kLogOff || manager == SessionManager::None) return std::nullopt;
  const std::size_t action = static_cast<std::size_t>(code - kShutDown);  // shut down, restart, log off
  struct Road {
    std::string_view name, path, interface;
    std::string_view methods[3];
    std::string_view signatures[3];
    std::string_view arguments[3];
    bool mayStart, noReply = false;
  };
  // GNOME's Shutdown and Reboot have no form without its dialog, which goes on by itself
  // after a minute; its Logout mode 1 shows none unless a program objects.
  static constexpr Road kGnome{"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
                               {"Shutdown", "Reboot", "Logout"}, {"()", "()", "(u)"}, {"()", "()", "(1,)"}, false};
  static constexpr Road kMate{"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
                              {"RequestShutdown", "RequestReboot", "Logout"}, {"()", "()", "(u)"}, {"()", "()", "(1,)"},
                              false};
  static constexpr Road kKde{"org.kde.Shutdown", "/Shutdown", "org.kde.Shutdown",
                             {"logoutAndShutdown", "logoutAndReboot", "logout"}, {"()", "()", "()"}, {"()", "()", "()"},
                             true};
  // Xfce: allow_save true for every action; Logout's show_dialog false.
  static constexpr Road kXfce{"org.xfce.SessionManager", "/org/xfce/SessionManager", "org.xfce.Session.Manager",
                              {"Shutdown", "Restart", "Logout"}, {"(b)", "(b)", "(bb)"},
                              {"(true,)", "(true,)", "(false, true)"}, false};
  // LXQt: none of the three answers, and none asks the programs or the user.
  static constexpr Road kLxqt{"org.lxqt.session", "/LXQtSession", "org.lxqt.session",
                              {"powerOff", "reboot", "logout"}, {"()", "()", "()"}, {"()", "()", "()"}, false, true};
  const Road* road = &kGnome;
  switch (manager) {
    case SessionManager::MateOrCinnamon: road = &kMate; break;
    case SessionManager::Kde: road = &kKde; break;
    case SessionManager::Xfce: road = &kXfce; break;
    case SessionManager::Lxqt: road = &kLxqt; break;
    default: break;
  }
  return SessionManagerCall{road->name,    road->path, road->interface, road->methods[action], road->signatures[action],
                            road->arguments[action], road->mayStart, road->noReply};
}

}  // namespace tolvane
