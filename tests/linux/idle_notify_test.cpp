// The Linux idle query through a Wayland compositor's idle notifications, against a
// small compositor of the test's own: a seat and the idle notifier, whose notices the
// test sends.
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <wayland-server.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ext-idle-notify-v1-server-protocol.h"
#include "platform/idle/idle_linux.h"

namespace tolvane {
namespace {

enum Notice : char { kIdled = 'i', kResumed = 'r', kDrop = 'd', kStop = 's' };

class IdleCompositor {
 public:
  explicit IdleCompositor(bool offersNotifier) {
    char folder[] = "/tmp/tolvane-idle-XXXXXX";
    runtime_ = mkdtemp(folder);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    setenv("WAYLAND_DISPLAY", "tolvane-idle", 1);
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);  // no GNOME to ask first
    display_ = wl_display_create();
    wl_display_add_socket(display_, "tolvane-idle");
    wl_global_create(display_, &wl_seat_interface, 1, this, [](wl_client* client, void*, std::uint32_t version,
                                                               std::uint32_t id) {
      // The program only names the seat; it asks nothing of it.
      wl_resource_create(client, &wl_seat_interface, static_cast<int>(version), id);
    });
    if (offersNotifier) wl_global_create(display_, &ext_idle_notifier_v1_interface, 1, this, BindNotifier);
    if (pipe(wake_) != 0) ADD_FAILURE() << "no pipe";
    wl_event_loop_add_fd(wl_display_get_event_loop(display_), wake_[0], WL_EVENT_READABLE, Woken, this);
    thread_ = std::thread([this] { wl_display_run(display_); });
  }

  ~IdleCompositor() {
    Tell(kStop);
    thread_.join();
    wl_display_destroy_clients(display_);
    wl_display_destroy(display_);
    close(wake_[0]);
    close(wake_[1]);
    rmdir(runtime_.c_str());
  }

  // Sends a notice to every idle notification and returns once it is on its way.
  void Tell(Notice notice) {
    const int before = handled_;
    if (write(wake_[1], &notice, 1) != 1) ADD_FAILURE() << "no notice sent";
    while (handled_ == before) std::this_thread::yield();
  }

  std::vector<std::uint32_t> timeouts;  // as asked for by the program

 private:
  static void BindNotifier(wl_client* client, void* self, std::uint32_t version, std::uint32_t id) {
    static const struct ext_idle_notifier_v1_interface implementation = {
        [](wl_client*, wl_resource* notifier) { wl_resource_destroy(notifier); },
        [](wl_client* client, wl_resource* notifier, std::uint32_t id, std::uint32_t timeout, wl_resource*) {
          auto* compositor = static_cast<IdleCompositor*>(wl_resource_get_user_data(notifier));
          static const struct ext_idle_notification_v1_interface notice = {
              [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }};
          wl_resource* resource = wl_resource_create(client, &ext_idle_notification_v1_interface, 1, id);
          wl_resource_set_implementation(resource, &notice, compositor, [](wl_resource* gone) {
            auto* owner = static_cast<IdleCompositor*>(wl_resource_get_user_data(gone));
            std::erase(owner->notifications_, gone);
          });
          compositor->notifications_.push_back(resource);
          compositor->timeouts.push_back(timeout);
        }};
    wl_resource* resource = wl_resource_create(client, &ext_idle_notifier_v1_interface, static_cast<int>(version), id);
    wl_resource_set_implementation(resource, &implementation, self, nullptr);
  }

  static int Woken(int fd, std::uint32_t, void* data) {
    auto* self = static_cast<IdleCompositor*>(data);
    char notice = 0;
    if (read(fd, &notice, 1) == 1) {
      for (wl_resource* resource : self->notifications_) {
        if (notice == kIdled) ext_idle_notification_v1_send_idled(resource);
        if (notice == kResumed) ext_idle_notification_v1_send_resumed(resource);
      }
      if (notice == kDrop) {
        // As a compositor that gives up on a client: every connection with a notification goes.
        std::vector<wl_client*> clients;
        for (wl_resource* resource : self->notifications_) clients.push_back(wl_resource_get_client(resource));
        for (wl_client* client : clients) wl_client_destroy(client);
      }
      if (notice == kStop) wl_display_terminate(self->display_);
      wl_display_flush_clients(self->display_);
    }
    ++self->handled_;
    return 0;
  }

  std::string runtime_;
  wl_display* display_ = nullptr;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::vector<wl_resource*> notifications_;
  std::atomic<int> handled_ = 0;
};

TEST(LinuxIdleNotify, TheCompositorsNoticesTellWhetherInputCameInTheLastSecond) {
  IdleCompositor compositor(true);
  LinuxIdleService idle;
  ASSERT_TRUE(idle.Available());
  EXPECT_EQ(compositor.timeouts, std::vector<std::uint32_t>{1000});
  EXPECT_EQ(idle.IdleSeconds(), 0);  // input until the compositor says otherwise
  compositor.Tell(kIdled);
  EXPECT_GE(idle.IdleSeconds(), 1);
  EXPECT_GE(idle.IdleSeconds(), 1);  // asked again: still idle
  compositor.Tell(kResumed);
  EXPECT_EQ(idle.IdleSeconds(), 0);
  // Several notices between two ticks: the last one holds.
  compositor.Tell(kIdled);
  compositor.Tell(kResumed);
  EXPECT_EQ(idle.IdleSeconds(), 0);
  compositor.Tell(kIdled);
  EXPECT_GE(idle.IdleSeconds(), 1);
}

// The window's main loop, as far as it has something to do now.
void RunMainLoopOnce() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

TEST(LinuxIdleNotify, HoursOfPausesWithoutAScheduleKeepTheConnection) {
  IdleCompositor compositor(true);
  LinuxIdleService idle;
  ASSERT_TRUE(idle.Available());
  // Every pause of the user sends two notices, read or not; nobody asks for the
  // idle time meanwhile.
  for (int pause = 0; pause < 5000; ++pause) {
    compositor.Tell(kIdled);
    compositor.Tell(kResumed);
    RunMainLoopOnce();
  }
  EXPECT_TRUE(idle.Available());
  compositor.Tell(kIdled);
  EXPECT_GE(idle.IdleSeconds(), 1);
  compositor.Tell(kResumed);
  EXPECT_EQ(idle.IdleSeconds(), 0);
}

TEST(LinuxIdleNotify, ADroppedConnectionIsNoIdleSourceRatherThanInput) {
  IdleCompositor compositor(true);
  LinuxIdleService idle;
  ASSERT_TRUE(idle.Available());
  compositor.Tell(kDrop);
  RunMainLoopOnce();  // no schedule asks: the main loop alone finds it gone
  EXPECT_FALSE(idle.Available());
  EXPECT_NE(idle.IdleSeconds(), 0);
}

TEST(LinuxIdleNotify, ACompositorWithoutTheNotifierLeavesTheIdleModeGreyed) {
  IdleCompositor compositor(false);
  LinuxIdleService idle;
  EXPECT_FALSE(idle.Available());
}

}  // namespace
}  // namespace tolvane
