// The Linux power service against a private bus, on which a peer of the test's own
// plays logind (the system bus is the same bus here); the desktops' session managers
// are run for real in the end-to-end tests.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bus_peer.h"
#include "platform/power/power_linux.h"

namespace tolvane {
namespace {

using testing::BusPeer;
using testing::MainLoopUntil;
using Calls = std::vector<std::string>;

constexpr char kAutoSession[] = "/org/freedesktop/login1/session/_32";
constexpr char kLoginSession[] = "/org/freedesktop/login1/session/c1";

const std::vector<BusPeer::Object> kObjects = {
    {"/org/freedesktop/login1",
     "<interface name='org.freedesktop.login1.Manager'>"
     "<method name='GetSession'><arg type='s'/><arg direction='out' type='o'/></method>"
     "<method name='GetSessionByPID'><arg type='u'/><arg direction='out' type='o'/></method></interface>"},
    {kAutoSession, "<interface name='org.freedesktop.login1.Session'><method name='Terminate'/></interface>"},
    {kLoginSession, "<interface name='org.freedesktop.login1.Session'><method name='Terminate'/></interface>"},
};

class LinuxPowerOverDBus : public ::testing::Test {
 protected:
  void SetUp() override {
    bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus_);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", g_test_dbus_get_bus_address(bus_), 1);
    unsetenv("XDG_SESSION_ID");
  }
  void TearDown() override {
    MainLoopUntil([] { return !g_main_context_pending(nullptr); });
    g_test_dbus_down(bus_);
    g_object_unref(bus_);
  }

  // Asks for the action and waits for the answer.
  PowerAnswer Ask(LinuxPowerService& power, std::int32_t code, bool force) {
    std::optional<PowerAnswer> answer;
    power.RequestPowerAction(code, force, [&](const PowerAnswer& given) { answer = given; });
    EXPECT_TRUE(MainLoopUntil([&] { return answer.has_value(); }));
    return answer.value_or(PowerAnswer{});
  }

  GTestDBus* bus_ = nullptr;
};

// A forced log off ends logind's "auto" session: GNOME's programs have neither a session
// of their own nor XDG_SESSION_ID. A logind that does not know "auto" is asked as before.
TEST_F(LinuxPowerOverDBus, ForcedLogOffEndsTheAutoSessionElseTheLoginsOwn) {
  const struct {
    bool autoKnown;
    const char* sessionId;
    Calls expected;
    bool accepted;
  } rows[] = {
      {true, nullptr, {"/org/freedesktop/login1 GetSession ('auto',)", std::string(kAutoSession) + " Terminate ()"}, true},
      {false, "c1",
       {"/org/freedesktop/login1 GetSession ('auto',)", "/org/freedesktop/login1 GetSession ('c1',)",
        std::string(kLoginSession) + " Terminate ()"},
       true},
      {false, nullptr,  // nor a session of our process
       {"/org/freedesktop/login1 GetSession ('auto',)",
        "/org/freedesktop/login1 GetSessionByPID (" + std::to_string(getpid()) + ",)"},
       false},
  };
  for (const auto& row : rows) {
    if (row.sessionId != nullptr) setenv("XDG_SESSION_ID", row.sessionId, 1);
    BusPeer logind({"org.freedesktop.login1"}, kObjects,
                   [&](const std::string&, const std::string& method, GVariant* arguments, GDBusMethodInvocation* call) {
                     const gchar* id = nullptr;
                     if (method == "GetSession") g_variant_get(arguments, "(&s)", &id);
                     if (method == "Terminate") {
                       g_dbus_method_invocation_return_value(call, nullptr);
                     } else if (method == "GetSession" && std::string(id) == "auto" && row.autoKnown) {
                       g_dbus_method_invocation_return_value(call, g_variant_new("(o)", kAutoSession));
                     } else if (method == "GetSession" && std::string(id) == "c1") {
                       g_dbus_method_invocation_return_value(call, g_variant_new("(o)", kLoginSession));
                     } else {
                       g_dbus_method_invocation_return_dbus_error(call, "org.freedesktop.login1.NoSessionForPID",
                                                                  "Caller does not belong to any known session.");
                     }
                   });
    LinuxPowerService power;
    const PowerAnswer answer = Ask(power, kLogOff, true);
    EXPECT_EQ(answer.accepted, row.accepted);
    EXPECT_EQ(answer.reason, row.accepted ? "" : "Caller does not belong to any known session.");
    EXPECT_EQ(logind.Calls(), row.expected);
    unsetenv("XDG_SESSION_ID");
  }
}

}  // namespace
}  // namespace tolvane
