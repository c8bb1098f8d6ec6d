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
  // False when the system offers no way to learn the idle time, from start-up or
  // from the moment its source is lost; the idle mode cannot be chosen then, and
  // IdleSeconds() means nothing.
  virtual bool Available() { return true; }
};

// Where a Linux desktop tells the idle time. On X11 the XScreenSaver extension
// sees all input; on Wayland it would see only X clients, so the compositor is
// asked: GNOME's idle monitor over D-Bus, else the compositor's idle notifications
// (KDE, wlroots), else the freedesktop screen saver over D-Bus. An X11 server
// without the extension falls back to D-Bus too.
enum class IdleSource { None, XScreenSaver, MutterIdleMonitor, WaylandIdleNotify, FreedesktopScreenSaver };
struct IdleSourceProbe {
  bool wayland = false;
  bool xScreenSaver = false;  // the extension answers on the display
  bool mutter = false;        // org.gnome.Mutter.IdleMonitor answers
  bool screenSaver = false;   // org.freedesktop.ScreenSaver answers GetSessionIdleTime
  bool idleNotify = false;    // the Wayland compositor offers ext_idle_notifier_v1
};
IdleSource ChooseIdleSource(const IdleSourceProbe& probe);

// The tick asks only whether input came in the last second, so a source that is read
// now and then must not lose an input between two readings: a tick that comes late,
// or an answer that failed, would hide a short one and let the action come while the
// user works. Two readings tell of an input between them when the later idle time is
// shorter than the earlier one plus the time between the two, by more than a reading's
// unit (both may be cut short by one). A reading is taken at some moment between
// `fromUs` and `untilUs` (a question and its answer), on the caller's monotonic clock.
struct IdleReading {
  std::uint64_t idleMs = 0;
  std::int64_t fromUs = 0, untilUs = 0;
};
class IdleReadings {
 public:
  explicit IdleReadings(std::uint64_t unitMs) : unitMs_(unitMs) {}
  void Take(const IdleReading& reading);  // in the order taken
  // 0 when a reading since the last call showed input (an idle time under a second,
  // or an input since the reading before), else the newest reading's whole seconds.
  std::int32_t IdleSeconds();

 private:
  std::uint64_t unitMs_;
  IdleReading last_;
  bool any_ = false, inputSeen_ = false;
};

// Idle notifications tell only that no input came for their timeout ("idled") and
// that input came again ("resumed"). The idle seconds from that state: 0 until
// idled, then the whole seconds since the last input, which was the timeout before.
std::int32_t IdleSecondsSinceIdled(bool idled, std::uint32_t nowTicks, std::uint32_t idledTicks,
                                   std::uint32_t timeoutMs);

}  // namespace tolvane
