// The idle time on X11: the XScreenSaver extension, which sees every input the
// server gets. A local request to the X server, answered at once.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include "platform/idle/idle_sources_linux.h"

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
    return static_cast<std::int32_t>(idleMs / 1000 > 0x7fffffff ? 0x7fffffff : idleMs / 1000);
  }
  bool Alive() const override { return alive_; }

 private:
  Display* display_;
  bool alive_ = true;
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
