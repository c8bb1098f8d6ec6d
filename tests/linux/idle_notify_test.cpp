// The Linux idle query through a Wayland compositor's idle notifications, against a
// small compositor of the test's own whose notices the test sends.
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "idle_compositor.h"
#include "platform/idle/idle_linux.h"

namespace tolvane {
namespace {

using testing::kDrop;
using testing::kIdled;
using testing::kResumed;
using testing::kStop;
using testing::Notice;

// The compositor on a thread of its own, its notices sent from the test.
class ThreadedCompositor {
 public:
  explicit ThreadedCompositor(bool offersNotifier) {
    char folder[] = "/tmp/tolvane-idle-XXXXXX";
    runtime_ = mkdtemp(folder);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    setenv("WAYLAND_DISPLAY", "tolvane-idle", 1);
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);  // no GNOME to ask first
    if (pipe(wake_) != 0) ADD_FAILURE() << "no pipe";
    compositor_ = std::make_unique<testing::IdleCompositor>("tolvane-idle", offersNotifier, wake_[0]);
    EXPECT_TRUE(compositor_->listening);
    thread_ = std::thread([this] { compositor_->Run(); });
  }

  ~ThreadedCompositor() {
    Tell(kStop);
    thread_.join();
    compositor_.reset();
    close(wake_[0]);
    close(wake_[1]);
    rmdir(runtime_.c_str());
  }

  // Sends a notice to every idle notification and returns once it is on its way.
  void Tell(Notice notice) {
    const int before = compositor_->handled;
    if (write(wake_[1], &notice, 1) != 1) ADD_FAILURE() << "no notice sent";
    while (compositor_->handled == before) std::this_thread::yield();
  }

  const std::vector<std::uint32_t>& timeouts() const { return compositor_->timeouts; }

 private:
  std::string runtime_;
  int wake_[2] = {-1, -1};
  std::unique_ptr<testing::IdleCompositor> compositor_;
  std::thread thread_;
};

TEST(LinuxIdleNotify, TheCompositorsNoticesTellWhetherInputCameInTheLastSecond) {
  ThreadedCompositor compositor(true);
  LinuxIdleService idle;
  ASSERT_TRUE(idle.Available());
  EXPECT_EQ(compositor.timeouts(), std::vector<std::uint32_t>{1000});
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
  // A short input between two ticks, idled again before the later one: input still.
  compositor.Tell(kResumed);
  compositor.Tell(kIdled);
  EXPECT_EQ(idle.IdleSeconds(), 0);
  EXPECT_GE(idle.IdleSeconds(), 1);
}

// The window's main loop, as far as it has something to do now.
void RunMainLoopOnce() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

TEST(LinuxIdleNotify, HoursOfPausesWithoutAScheduleKeepTheConnection) {
  ThreadedCompositor compositor(true);
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
  EXPECT_EQ(idle.IdleSeconds(), 0);  // the input since anyone last asked
  EXPECT_GE(idle.IdleSeconds(), 1);
  compositor.Tell(kResumed);
  EXPECT_EQ(idle.IdleSeconds(), 0);
}

TEST(LinuxIdleNotify, ADroppedConnectionIsNoIdleSourceRatherThanInput) {
  ThreadedCompositor compositor(true);
  LinuxIdleService idle;
  ASSERT_TRUE(idle.Available());
  compositor.Tell(kDrop);
  RunMainLoopOnce();  // no schedule asks: the main loop alone finds it gone
  EXPECT_FALSE(idle.Available());
  EXPECT_NE(idle.IdleSeconds(), 0);
}

TEST(LinuxIdleNotify, ACompositorWithoutTheNotifierLeavesTheIdleModeGreyed) {
  ThreadedCompositor compositor(false);
  LinuxIdleService idle;
  EXPECT_FALSE(idle.Available());
}

}  // namespace
}  // namespace tolvane
