#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/power/power_linux_map.h"
#include "platform/power/power_win32_map.h"

namespace tolvane {
namespace {

using Kind = PowerRequest::Kind;

PowerRequest Exit(std::uint32_t flags) { return {Kind::ExitWindows, flags, false, false}; }
PowerRequest PowerState(bool suspend, bool force) { return {Kind::SetPowerState, 0, suspend, force}; }

TEST(MapPowerAction, EachCodeWithAndWithoutForceOnNt) {
  EXPECT_EQ(MapPowerAction(1, false, true), Exit(8));
  EXPECT_EQ(MapPowerAction(1, true, true), Exit(12));
  EXPECT_EQ(MapPowerAction(2, false, true), Exit(2));
  EXPECT_EQ(MapPowerAction(2, true, true), Exit(6));
  EXPECT_EQ(MapPowerAction(3, false, true), Exit(0));
  EXPECT_EQ(MapPowerAction(3, true, true), Exit(4));
  EXPECT_EQ(MapPowerAction(4, true, true), PowerState(true, true));
  EXPECT_EQ(MapPowerAction(4, false, true), PowerState(true, false));
  EXPECT_EQ(MapPowerAction(5, false, true), PowerState(false, false));
  EXPECT_EQ(MapPowerAction(5, true, true), PowerState(false, true));
}

TEST(MapPowerAction, OutsideNtOnlyShutDownChanges) {
  EXPECT_EQ(MapPowerAction(1, false, false), Exit(1));
  EXPECT_EQ(MapPowerAction(1, true, false), Exit(5));
  EXPECT_EQ(MapPowerAction(2, true, false), Exit(6));
}

TEST(MapPowerAction, CodesOutsideOneToFiveMapToNothing) {
  for (std::int32_t code : {0, 6, -1, -5, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(MapPowerAction(code, true, true), PowerRequest{}) << code;
  }
}

TEST(MapLogindAction, ForceMeansTheUserIsNeverAskedAndLogOffEndsTheSession) {
  using LKind = LogindRequest::Kind;
  const struct {
    std::int32_t code;
    bool force;
    LogindRequest expected;
  } cases[] = {
      {1, false, {LKind::Manager, "PowerOff", true}}, {1, true, {LKind::Manager, "PowerOff", false}},
      {2, false, {LKind::Manager, "Reboot", true}},   {2, true, {LKind::Manager, "Reboot", false}},
      {3, false, {LKind::TerminateSession}},          {3, true, {LKind::TerminateSession}},
      {4, false, {LKind::Manager, "Suspend", true}},  {4, true, {LKind::Manager, "Suspend", false}},
      {5, false, {LKind::Manager, "Hibernate", true}}, {5, true, {LKind::Manager, "Hibernate", false}},
      {0, true, {}}, {6, false, {}}, {-1, true, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(MapLogindAction(c.code, c.force), c.expected) << c.code << " " << c.force;
}

// Each desktop as it names itself and the session-manager names it has on the bus:
// the call an unforced shut down, restart and log off make (none: logind's), and that
// a forced one, standby and hibernation never go to the session manager.
TEST(SessionManagerCall, EachDesktopsOwnCallForUnforcedActionsOnly) {
  const SessionNamesOwned gnome{true, false, false}, kde{false, true, false}, xfce{false, false, true},
      lxqt{false, false, false, true}, none{};
  const struct {
    const char* desktop;
    SessionNamesOwned owned;
    const char* calls[3];  // shut down, restart, log off: "name path interface method arguments"
  } cases[] = {
      {"GNOME", gnome,
       {"org.gnome.SessionManager /org/gnome/SessionManager org.gnome.SessionManager Shutdown ()",
        "org.gnome.SessionManager /org/gnome/SessionManager org.gnome.SessionManager Reboot ()",
        "org.gnome.SessionManager /org/gnome/SessionManager org.gnome.SessionManager Logout (1,)"}},
      {"ubuntu:GNOME", gnome, {"Shutdown ()", "Reboot ()", "Logout (1,)"}},
      {"Budgie:GNOME", gnome, {"Shutdown ()", "Reboot ()", "Logout (1,)"}},
      {"MATE", gnome, {"RequestShutdown ()", "RequestReboot ()", "Logout (1,)"}},
      {"X-Cinnamon", gnome, {"RequestShutdown ()", "RequestReboot ()", "Logout (1,)"}},
      {"KDE", kde,  // Plasma 5.27 and 6 alike
       {"org.kde.Shutdown /Shutdown org.kde.Shutdown logoutAndShutdown ()",
        "org.kde.Shutdown /Shutdown org.kde.Shutdown logoutAndReboot ()", "org.kde.Shutdown /Shutdown org.kde.Shutdown logout ()"}},
      {"XFCE", xfce,
       {"org.xfce.SessionManager /org/xfce/SessionManager org.xfce.Session.Manager Shutdown (true,)",
        "org.xfce.SessionManager /org/xfce/SessionManager org.xfce.Session.Manager Restart (true,)",
        "org.xfce.SessionManager /org/xfce/SessionManager org.xfce.Session.Manager Logout (false, true)"}},
      {"LXQt", lxqt,  // methods that never answer
       {"org.lxqt.session /LXQtSession org.lxqt.session powerOff ()",
        "org.lxqt.session /LXQtSession org.lxqt.session reboot ()", "org.lxqt.session /LXQtSession org.lxqt.session logout ()"}},
      {"LXQt", gnome, {}},      // without lxqt-session: logind, never another desktop's
      {"", lxqt, {}},
      {"", none, {}},           // a bare window manager
      {"GNOME", none, {}},      // the desktop's name, but no session manager runs
      {"KDE", gnome, {"Shutdown ()", "Reboot ()", "Logout (1,)"}},  // KDE's not running: the one that is
      {"", kde, {}},            // KDE's helper starts on demand: only where the desktop is KDE
      {"sway", xfce, {"Shutdown (true,)", "Restart (true,)", "Logout (false, true)"}},
      {"", gnome, {"Shutdown ()", "Reboot ()", "Logout (1,)"}},
  };
  for (const auto& c : cases) {
    const SessionManager manager = ChooseSessionManager(c.desktop, c.owned);
    for (std::int32_t code = 1; code <= 5; ++code) {
      const std::string where = std::string(c.desktop) + " action " + std::to_string(code);
      EXPECT_EQ(MapSessionManagerCall(manager, code, true), std::nullopt) << where;
      const auto call = MapSessionManagerCall(manager, code, false);
      const char* expected = code <= 3 ? c.calls[code - 1] : nullptr;
      if (expected == nullptr) {
        EXPECT_EQ(call, std::nullopt) << where;
        continue;
      }
      ASSERT_TRUE(call.has_value()) << where;
      std::string text = std::string(call->name) + " " + std::string(call->path) + " " + std::string(call->interface) +
                         " " + std::string(call->method) + " " + std::string(call->arguments);
      EXPECT_TRUE(text.size() >= std::string(expected).size() &&
                  text.compare(text.size() - std::string(expected).size(), std::string::npos, expected) == 0)
          << where << ": " << text;
      EXPECT_EQ(call->mayStart, manager == SessionManager::Kde) << where;
      EXPECT_EQ(call->noReply, manager == SessionManager::Lxqt) << where;
    }
  }
}

// Xfce's power manager is asked to hold off its sleep only where that sleep (minutes,
// on mains or on battery; 14 or unset: never) would come before the action.
TEST(XfceSleepComesFirst, OnlyASleepDueBeforeTheAction) {
  using M = std::optional<std::uint32_t>;
  const struct {
    M mains, battery;
    double secondsAhead;
    bool asked;
  } cases[] = {
      {{}, {}, 86400, false}, {14, 14, 86400, false}, {30, {}, 1800, true}, {30, {}, 1799, false},
      {{}, 10, 3600, true},   {60, 10, 900, true},    {60, 20, 900, false}, {0, 14, 60, true},
      {15, 14, 600, false},
  };
  for (const auto& c : cases) {
    const M minutes[2] = {c.mains, c.battery};
    EXPECT_EQ(XfceSleepComesFirst(minutes, c.secondsAhead), c.asked)
        << c.mains.value_or(99) << " " << c.battery.value_or(99) << " " << c.secondsAhead;
  }
  EXPECT_TRUE(DesktopNamed("XFCE", "XFCE"));
  EXPECT_TRUE(DesktopNamed("ubuntu:xfce", "XFCE"));
  EXPECT_FALSE(DesktopNamed("XFCE4", "XFCE"));
  EXPECT_FALSE(DesktopNamed("", "XFCE"));
}

TEST(ChooseSuspendCall, KernelCallOnlyBeforeVista) {
  EXPECT_EQ(ChooseSuspendCall(5), SuspendCall::SetSystemPowerState);
  EXPECT_EQ(ChooseSuspendCall(6), SuspendCall::SetSuspendState);
}

// Records every system call a request makes.
class RecordingSystem : public PowerSystemCalls {
 public:
  bool ntFamily = true, privilegeGranted = true, accept = true, suspendStateAvailable = true;
  std::uint32_t majorVersion = 10;
  std::vector<std::string> calls;

  bool IsNtFamily() override { return Log("IsNtFamily"), ntFamily; }
  std::uint32_t MajorVersion() override { return majorVersion; }
  bool EnableShutdownPrivilege() override { return Log("EnableShutdownPrivilege"), privilegeGranted; }
  bool EndSession(std::uint32_t flags) override { return Log("ExitWindowsEx " + std::to_string(flags)), accept; }
  bool SetSystemPowerState(bool suspend, bool force) override {
    return Log("SetSystemPowerState " + std::to_string(suspend) + std::to_string(force)), accept;
  }
  std::optional<bool> SetSuspendState(bool hibernate, bool force) override {
    if (!suspendStateAvailable) return std::nullopt;
    return Log("SetSuspendState " + std::to_string(hibernate) + std::to_string(force)), accept;
  }

 private:
  void Log(std::string call) { calls.push_back(std::move(call)); }
};

using Calls = std::vector<std::string>;

TEST(RunPowerAction, InvalidCodeTouchesNothing) {
  RecordingSystem system;
  for (std::int32_t code : {0, 6, -1}) EXPECT_FALSE(RunPowerAction(system, code, true));
  EXPECT_TRUE(system.calls.empty());
}

TEST(RunPowerAction, NoRequestWithoutThePrivilege) {
  for (std::int32_t code = 1; code <= 5; ++code) {
    RecordingSystem system;
    system.privilegeGranted = false;
    EXPECT_FALSE(RunPowerAction(system, code, false));
    EXPECT_EQ(system.calls, Calls{"EnableShutdownPrivilege"}) << code;
  }
}

TEST(RunPowerAction, EndsSessionWithMappedFlagsAndReportsTheAnswer) {
  RecordingSystem system;
  EXPECT_TRUE(RunPowerAction(system, 1, true));
  EXPECT_EQ(system.calls, (Calls{"EnableShutdownPrivilege", "IsNtFamily", "ExitWindowsEx 12"}));

  RecordingSystem old;
  old.ntFamily = false;
  old.accept = false;
  EXPECT_FALSE(RunPowerAction(old, 1, false));
  EXPECT_EQ(old.calls.back(), "ExitWindowsEx 1");
}

TEST(RunPowerAction, SuspendUsesThePowerProfileCallFromNt6) {
  RecordingSystem system;
  EXPECT_TRUE(RunPowerAction(system, 4, true));   // standby: not hibernate
  EXPECT_TRUE(RunPowerAction(system, 5, false));  // hibernate
  EXPECT_EQ(system.calls, (Calls{"EnableShutdownPrivilege", "SetSuspendState 01", "EnableShutdownPrivilege",
                                 "SetSuspendState 10"}));

  // A refusal is final: the deprecated call is not tried behind it.
  RecordingSystem refusing;
  refusing.accept = false;
  EXPECT_FALSE(RunPowerAction(refusing, 4, false));
  EXPECT_EQ(refusing.calls.back(), "SetSuspendState 00");
}

TEST(RunPowerAction, SuspendUsesTheKernelCallBeforeNt6OrWhenTheOtherIsMissing) {
  RecordingSystem xp;
  xp.majorVersion = 5;
  EXPECT_TRUE(RunPowerAction(xp, 4, true));
  EXPECT_EQ(xp.calls, (Calls{"EnableShutdownPrivilege", "SetSystemPowerState 11"}));

  RecordingSystem missing;
  missing.suspendStateAvailable = false;
  EXPECT_TRUE(RunPowerAction(missing, 5, false));
  EXPECT_EQ(missing.calls.back(), "SetSystemPowerState 00");
}

}  // namespace
}  // namespace tolvane
