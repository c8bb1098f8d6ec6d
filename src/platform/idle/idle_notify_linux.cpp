// The idle time from a Wayland compositor's idle notifications (KDE, wlroots): a
// connection of our own asks to be told after one second without input. The
// compositor sends a notice at every pause and every return, schedule or not, so
// the connection is read from the main loop whenever it has something; left unread,
// the compositor would drop it once its buffer for us is full.
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <wayland-client.h>

#include <cstring>

#include "ext-idle-notify-v1-client-protocol.h"
#include "platform/idle/idle.h"
#include "platform/idle/idle_sources_linux.h"

namespace tolvane {
namespace {

constexpr std::uint32_t kIdleNoticeMs = 1000;  // the tick asks only whether input came in the last second

std::uint32_t NowTicks() { return static_cast<std::uint32_t>(g_get_monotonic_time() / 1000); }

class IdleNotify final : public LinuxIdleSource {
 public:
  explicit IdleNotify(wl_display* display) : display_(display) {}
  ~IdleNotify() override {
    if (watch_ != 0) g_source_remove(watch_);
    if (notification_ != nullptr) ext_idle_notification_v1_destroy(notification_);
    if (notifier_ != nullptr) ext_idle_notifier_v1_destroy(notifier_);
    if (seat_ != nullptr) wl_seat_destroy(seat_);
    wl_display_disconnect(display_);
  }

  bool Connect() {
    static const wl_registry_listener registryListener = {Global, [](void*, wl_registry*, std::uint32_t) {}};
    static const ext_idle_notification_v1_listener noticeListener = {Idled, Resumed};
    wl_registry* registry = wl_display_get_registry(display_);
    wl_registry_add_listener(registry, &registryListener, this);
    const bool listed = wl_display_roundtrip(display_) >= 0;
    wl_registry_destroy(registry);
    if (!listed || seat_ == nullptr || notifier_ == nullptr) return false;
    notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, kIdleNoticeMs, seat_);
    ext_idle_notification_v1_add_listener(notification_, &noticeListener, this);
    if (wl_display_roundtrip(display_) < 0) return false;
    watch_ = g_unix_fd_add(wl_display_get_fd(display_), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                           Readable, this);
    return true;
  }

  std::int32_t IdleSeconds() override {
    Read();  // a notice that came since the main loop last looked
    if (!alive_) return 0x7fffffff;
    // A short input between two ticks, idled again before the later one, is input still.
    if (resumedSinceAsked_) {
      resumedSinceAsked_ = false;
      return 0;
    }
    return IdleSecondsSinceIdled(idled_, NowTicks(), idledTicks_, kIdleNoticeMs);
  }
  bool Alive() const override { return alive_; }

 private:
  // Whatever the compositor has sent by now, without waiting for more. Any error
  // of the connection ends the source: it is not read again.
  void Read() {
    if (!alive_) return;
    while (wl_display_prepare_read(display_) != 0) {
      if (wl_display_dispatch_pending(display_) < 0) return Lose();
    }
    pollfd ready{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&ready, 1, 0) > 0) {
      if (wl_display_read_events(display_) < 0) return Lose();
    } else {
      wl_display_cancel_read(display_);
    }
    if (wl_display_dispatch_pending(display_) < 0) Lose();
  }

  // The main loop's watch goes at its next call.
  void Lose() { alive_ = false; }

  static gboolean Readable(gint, GIOCondition, gpointer data) {
    auto* self = static_cast<IdleNotify*>(data);
    self->Read();
    if (self->alive_) return G_SOURCE_CONTINUE;
    self->watch_ = 0;
    return G_SOURCE_REMOVE;
  }

  static void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto* self = static_cast<IdleNotify*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat_ == nullptr) {
      self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && self->notifier_ == nullptr) {
      self->notifier_ =
          static_cast<ext_idle_notifier_v1*>(wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    }
  }
  static void Idled(void* data, ext_idle_notification_v1*) {
    auto* self = static_cast<IdleNotify*>(data);
    self->idled_ = true;
    self->idledTicks_ = NowTicks();
  }
  static void Resumed(void* data, ext_idle_notification_v1*) {
    auto* self = static_cast<IdleNotify*>(data);
    self->idled_ = false;
    self->resumedSinceAsked_ = true;
  }

  wl_display* display_;
  wl_seat* seat_ = nullptr;
  ext_idle_notifier_v1* notifier_ = nullptr;
  ext_idle_notification_v1* notification_ = nullptr;
  guint watch_ = 0;
  bool alive_ = true;
  bool idled_ = false;
  bool resumedSinceAsked_ = false;
  std::uint32_t idledTicks_ = 0;
};

}  // namespace

std::unique_ptr<LinuxIdleSource> OpenIdleNotify() {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return nullptr;
  auto source = std::make_unique<IdleNotify>(display);
  if (!source->Connect()) return nullptr;
  return source;
}

}  // namespace tolvane
