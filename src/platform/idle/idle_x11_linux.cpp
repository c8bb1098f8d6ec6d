// The idle time on X11: the XScreenSaver extension, which sees every input the
// server gets. A local request to the X server, answered at once; a tick that comes
// late still sees a short input between two readings (IdleReadings).
#include <chrono>

// Before Xlib, whose None is a macro.
#include "platform/idle/idle.h"
#include "platform/idle/idle_sources_linux.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace tolvane {
namespace {

class XScreenSaverIdle final : public LinuxIdleSource {
 public:
  explicit XScreenSaverIdle(Display* display) : display_(display) {}
  ~XScreenSaverIdle() override { XCloseDisplay(display_); }

  std::int32_t IdleSeconds() override {
    if (!alive_) return 0x7fffffff;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    alive_ = info != nullptr && XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), info) != 0;
    const unsigned long idleMs = alive_ ? info->idle : 0;
    if (info != nullptr) XFree(info);
    if (!alive_) return 0x7fffffff;
    const std::int64_t nowUs =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    readings_.Take({idleMs, nowUs, nowUs});
    return readings_.IdleSeconds();
  }
  bool Alive() const override { return alive_; }

 private:
  Display* display_;
  bool alive_ = true;
  IdleReadings readings_{1};
};

}  // namespace

std::unique_ptr<LinuxIdleSource> OpenXScreenSaverIdle() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  int event = 0, error = 0;
  if (!XScreenSaverQueryExtension(display, &event, &error)) {
    XCloseDisplay(display);
    return nullptr;
  }
  return std::make_unique<XScreenSaverIdle>(display);
}

}  // namespace tolvane
