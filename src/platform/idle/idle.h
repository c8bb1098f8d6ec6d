#pragma once
// Keyboard-and-mouse idle time.
#include <cstdint>

namespace tolvane {

// Whole seconds from the last input to now, both tick counts in milliseconds since
// system start; the difference is taken modulo 2^32 so a wrap does no harm.
std::int32_t IdleSecondsBetween(std::uint32_t nowTicks, std::uint32_t lastInputTicks);

class IdleService {
 public:
  virtual ~IdleService() = default;
  virtual std::int32_t IdleSeconds() = 0;
  // False when the system offers no way to learn the idle time; the idle mode
  // cannot be chosen then.
  virtual bool Available() { return true; }
};

// Where a Linux desktop tells the idle time. On X11 the XScreenSaver extension
// sees all input; on Wayland it would see only X clients, so the compositor is
// asked over D-Bus (GNOME's idle monitor first, then the freedesktop screen saver
// that KDE answers). An X11 server without the extension falls back to D-Bus too.
enum class IdleSource { None, XScreenSaver, MutterIdleMonitor, FreedesktopScreenSaver };
struct IdleSourceProbe {
  bool wayland = false;
  bool xScreenSaver = false;  // the extension answers on the display
  bool mutter = false;        // org.gnome.Mutter.IdleMonitor answers
  bool screenSaver = false;   // org.freedesktop.ScreenSaver answers GetSessionIdleTime
};
IdleSource ChooseIdleSource(const IdleSourceProbe& probe);

}  // namespace tolvane
