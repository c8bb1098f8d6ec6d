// The Linux idle query over the session bus, against a private bus and a peer of
// the test's own that plays GNOME's idle monitor or the freedesktop screen saver.
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "bus_peer.h"
#include "platform/idle/idle_linux.h"

namespace tolvane {
namespace {

using testing::BusPeer;
using testing::MainLoopUntil;

struct PeerKind {
  const char* name;
  const char* path;
  const char* method;
  const char* type;  // of the one number it answers
  std::uint64_t msPerUnit;
  const char* alsoOwns = nullptr;  // another name of the same connection
};

const PeerKind kMutter{"org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core", "GetIdletime", "t", 1};
const PeerKind kScreenSaver{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "GetSessionIdleTime", "u",
                            1000};
// KDE's screen locker (Plasma on Wayland before its compositor had idle notifications):
// milliseconds, from the connection that also owns KDE's own screen saver name.
const PeerKind kKdeScreenLocker{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "GetSessionIdleTime",
                                "u", 1, "org.kde.screensaver"};

std::vector<std::string> NamesOf(const PeerKind& kind) {
  if (kind.alsoOwns == nullptr) return {kind.name};
  return {kind.name, kind.alsoOwns};
}

// The peer answers on a thread and main context of its own, as another process would.
class IdlePeer {
 public:
  IdlePeer(const PeerKind& kind, std::uint64_t idleMs)
      : kind_(kind), idleMs_(idleMs), setUs_(g_get_monotonic_time()),
        peer_(NamesOf(kind),
              {{kind.path, std::string("<interface name='") + kind.name + "'><method name='" + kind.method +
                               "'><arg direction='out' type='" + kind.type + "'/></method></interface>"}},
              [this](auto&, auto&, GVariant*, GDBusMethodInvocation* call) { Asked(call); }) {}

  // The idle time grows from `ms` as time goes, as a real peer's does.
  void SetIdleMs(std::uint64_t ms) {
    idleMs_ = ms;
    setUs_ = g_get_monotonic_time();
  }
  void HoldQuestions() { holding_ = true; }  // asked, it never answers
  void FailQuestions(int count) { failing_ = count; }  // the next `count` (-1: all) fail, as a busy shell's
  int Failed() const { return failed_; }
  // Leaves the bus, as a desktop shell that ends.
  void Leave() { peer_.Leave(); }

 private:
  void Asked(GDBusMethodInvocation* invocation) {
    if (holding_) {
      g_object_unref(invocation);  // no answer, ever
      return;
    }
    if (failing_ != 0) {
      failing_ -= failing_ > 0 ? 1 : 0;
      ++failed_;
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed", "busy");
      return;
    }
    const std::uint64_t units = (idleMs_ + (g_get_monotonic_time() - setUs_) / 1000) / kind_.msPerUnit;
    g_dbus_method_invocation_return_value(invocation, kind_.type[0] == 't'
                                                          ? g_variant_new("(t)", static_cast<guint64>(units))
                                                          : g_variant_new("(u)", static_cast<guint32>(units)));
  }

  const PeerKind& kind_;
  std::atomic<std::uint64_t> idleMs_;
  std::atomic<gint64> setUs_;
  std::atomic<bool> holding_ = false;
  std::atomic<int> failing_ = 0, failed_ = 0;
  BusPeer peer_;
};

// A Wayland session without GNOME's compositor or idle notifications: only the
// session bus can tell.
void PretendWaylandWithoutIdleNotifications() {
  setenv("XDG_SESSION_TYPE", "wayland", 1);
  setenv("WAYLAND_DISPLAY", "/nonexistent/wayland-0", 1);
}

class LinuxIdleOverDBus : public ::testing::TestWithParam<const PeerKind*> {
 protected:
  void SetUp() override {
    PretendWaylandWithoutIdleNotifications();
    bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus_);
  }
  void TearDown() override {
    MainLoopUntil([] { return !g_main_context_pending(nullptr); });  // cancelled questions end
    g_test_dbus_down(bus_);
    g_object_unref(bus_);
  }
  GTestDBus* bus_ = nullptr;
};

TEST_P(LinuxIdleOverDBus, AnswersFromTheLastReplyAndALeavingPeerEndsTheSource) {
  IdlePeer peer(*GetParam(), 7000);
  {
    LinuxIdleService idle;
    ASSERT_TRUE(idle.Available());
    EXPECT_EQ(idle.IdleSeconds(), 7);  // the start-up probe's reply
    peer.SetIdleMs(0);                 // input
    EXPECT_TRUE(MainLoopUntil([&] { return idle.IdleSeconds() == 0; }));
    // A peer that stops answering holds nothing up: the last reply stands.
    peer.HoldQuestions();
    for (int tick = 0; tick < 3; ++tick) EXPECT_EQ(idle.IdleSeconds(), 0);
    // Gone from the bus: no idle source, with no schedule asking.
    peer.Leave();
    EXPECT_TRUE(MainLoopUntil([&] { return !idle.Available(); }));
    EXPECT_NE(idle.IdleSeconds(), 0);
  }
}

TEST_P(LinuxIdleOverDBus, FailedAnswersEndTheSourceOnlyAfterAStretch) {
  IdlePeer peer(*GetParam(), 5000);
  LinuxIdleService idle;
  // A busy moment hides a short input: the next answer, after it, still tells of it.
  peer.FailQuestions(1);
  peer.SetIdleMs(1500);
  EXPECT_TRUE(MainLoopUntil([&] { return idle.IdleSeconds() == 0; }));
  peer.SetIdleMs(9000);
  EXPECT_TRUE(MainLoopUntil([&] { return idle.IdleSeconds() == 9; }));
  // Failing for good: the last reply stands while the failures are few, and the source ends later.
  peer.FailQuestions(-1);
  EXPECT_TRUE(MainLoopUntil([&] { return idle.IdleSeconds() != 9 || peer.Failed() > 50; }));
  EXPECT_TRUE(idle.Available());
  EXPECT_TRUE(MainLoopUntil([&] { return idle.IdleSeconds() != 9 && !idle.Available(); }, 15));
}

INSTANTIATE_TEST_SUITE_P(Peers, LinuxIdleOverDBus, ::testing::Values(&kMutter, &kScreenSaver, &kKdeScreenLocker));

// A desktop that runs neither peer but has them installed, as the bus may start on
// demand: the probe must not start them (each would leave a mark) and finds no source.
TEST(LinuxIdleOverDBusProbe, StartsNoPeerThatIsNotRunning) {
  PretendWaylandWithoutIdleNotifications();
  gchar* dir = g_dir_make_tmp("tolvane-idle-XXXXXX", nullptr);
  ASSERT_NE(dir, nullptr);
  const std::string marks = std::string(dir) + "/started";
  const auto serviceFile = [&](const PeerKind* kind) { return std::string(dir) + "/" + kind->name + ".service"; };
  for (const PeerKind* kind : {&kMutter, &kScreenSaver}) {
    const std::string service = std::string("[D-BUS Service]\nName=") + kind->name + "\nExec=/bin/sh -c 'echo " +
                                kind->name + " >> " + marks + "'\n";
    ASSERT_TRUE(g_file_set_contents(serviceFile(kind).c_str(), service.c_str(), -1, nullptr));
  }
  GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
  g_test_dbus_add_service_dir(bus, dir);
  g_test_dbus_up(bus);
  {
    LinuxIdleService idle;
    EXPECT_FALSE(idle.Available());
  }
  gchar* started = nullptr;
  EXPECT_FALSE(g_file_get_contents(marks.c_str(), &started, nullptr, nullptr)) << "started: " << started;
  g_free(started);
  g_test_dbus_down(bus);
  g_object_unref(bus);
  for (const PeerKind* kind : {&kMutter, &kScreenSaver}) g_remove(serviceFile(kind).c_str());
  g_remove(marks.c_str());
  g_rmdir(dir);
  g_free(dir);
}

}  // namespace
}  // namespace tolvane
