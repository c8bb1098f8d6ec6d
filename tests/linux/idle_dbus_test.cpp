// The Linux idle query over the session bus, against a private bus and a peer of
// the test's own that plays GNOME's idle monitor or the freedesktop screen saver.
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/idle/idle_linux.h"

namespace tolvane {
namespace {

struct PeerKind {
  const char* name;
  const char* path;
  const char* method;
  const char* type;  // of the one number it answers
  std::uint64_t msPerUnit;
};

const PeerKind kMutter{"org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core", "GetIdletime", "t", 1};
const PeerKind kScreenSaver{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "GetSessionIdleTime", "u",
                            1000};

// The peer answers on a thread and main context of its own, as another process would.
class IdlePeer {
 public:
  IdlePeer(const PeerKind& kind, std::uint64_t idleMs) : kind_(kind), idleMs_(idleMs) {
    thread_ = std::thread([this] { Serve(); });
    while (!owned_) std::this_thread::yield();
  }
  ~IdlePeer() { Leave(); }

  void SetIdleMs(std::uint64_t ms) { idleMs_ = ms; }
  void HoldQuestions() { holding_ = true; }  // asked, it never answers
  void FailQuestions(int count) { failing_ = count; }  // the next `count` (-1: all) fail, as a busy shell's
  int Failed() const { return failed_; }
  // Leaves the bus, as a desktop shell that ends.
  void Leave() {
    if (!thread_.joinable()) return;
    g_main_context_invoke(context_, [](gpointer loop) -> gboolean {
      g_main_loop_quit(static_cast<GMainLoop*>(loop));
      return G_SOURCE_REMOVE;
    }, loop_);
    thread_.join();
  }

 private:
  void Serve() {
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    loop_ = g_main_loop_new(context_, FALSE);
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        std::getenv("DBUS_SESSION_BUS_ADDRESS"),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    const std::string xml = std::string("<node><interface name='") + kind_.name + "'><method name='" + kind_.method +
                            "'><arg direction='out' type='" + kind_.type + "'/></method></interface></node>";
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml.c_str(), nullptr);
    static const GDBusInterfaceVTable vtable = {Asked, nullptr, nullptr, {}};
    g_dbus_connection_register_object(bus, kind_.path, node->interfaces[0], &vtable, this, nullptr, nullptr);
    GVariant* owned =
        g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "RequestName", g_variant_new("(su)", kind_.name, 0u), nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    EXPECT_NE(owned, nullptr);
    if (owned != nullptr) g_variant_unref(owned);
    owned_ = true;
    g_main_loop_run(loop_);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    g_dbus_node_info_unref(node);
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }

  static void Asked(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                    GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<IdlePeer*>(data);
    if (self->holding_) {
      g_object_unref(invocation);  // no answer, ever
      return;
    }
    if (self->failing_ != 0) {
      self->failing_ -= self->failing_ > 0 ? 1 : 0;
      ++self->failed_;
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed", "busy");
      return;
    }
    const std::uint64_t units = self->idleMs_ / self->kind_.msPerUnit;
    g_dbus_method_invocation_return_value(invocation, self->kind_.type[0] == 't'
                                                          ? g_variant_new("(t)", static_cast<guint64>(units))
                                                          : g_variant_new("(u)", static_cast<guint32>(units)));
  }

  const PeerKind& kind_;
  std::atomic<std::uint64_t> idleMs_;
  std::atomic<bool> holding_ = false;
  std::atomic<int> failing_ = 0, failed_ = 0;
  std::atomic<bool> owned_ = false;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::thread thread_;
};

// Runs the main loop until the condition holds, for at most ten seconds (or as told).
template <typename Condition>
bool MainLoopUntil(Condition condition, gint64 seconds = 10) {
  const gint64 deadline = g_get_monotonic_time() + seconds * G_USEC_PER_SEC;
  while (!condition()) {
    if (g_get_monotonic_time() > deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

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
  // A busy moment: the next answer is taken.
  peer.FailQuestions(1);
  peer.SetIdleMs(9000);
  EXPECT_TRUE(MainLoopUntil([&] { return idle.IdleSeconds() == 9; }));
  // Failing for good: the last reply stands while the failures are few, and the source ends later.
  peer.FailQuestions(-1);
  EXPECT_TRUE(MainLoopUntil([&] { return idle.IdleSeconds() != 9 || peer.Failed() > 50; }));
  EXPECT_TRUE(idle.Available());
  EXPECT_TRUE(MainLoopUntil([&] { return idle.IdleSeconds() != 9 && !idle.Available(); }, 15));
}

INSTANTIATE_TEST_SUITE_P(Peers, LinuxIdleOverDBus, ::testing::Values(&kMutter, &kScreenSaver));

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
