// The idle time asked over the session bus: GNOME's idle monitor, or the
// freedesktop screen saver. Asked without waiting: each tick takes the newest reply
// and sends the next question, so a slow peer never holds the window up. A busy
// shell may be slow or fail an answer for a moment: the source ends only when the
// peer leaves the bus, or when its answers have failed for a stretch. Until then the
// last reply stands, and an input between two replies still counts as input however
// many answers failed between them (IdleReadings): a missing answer can make the
// action later, never earlier.
#include <gio/gio.h>

#include <memory>
#include <string>

#include "platform/idle/idle.h"
#include "platform/idle/idle_sources_linux.h"

namespace tolvane {
namespace {

constexpr int kProbeLimitMs = 1000;  // start-up only
constexpr int kCallLimitMs = 3000;   // an answer this late counts as failed
// Failed answers for this long in a row end the source.
constexpr gint64 kFailingLimitUs = 10 * G_USEC_PER_SEC;
// Questions asked further apart than this were not asked in a row (no idle schedule
// ran, or it was paused): failures before the gap do not count on after it.
constexpr gint64 kAskGapUs = 2 * G_USEC_PER_SEC;
// Unanswered questions at once: about one a tick for as long as the call limit.
constexpr int kMaxUnanswered = 3;

struct IdleQuery {
  const char* name;  // also the interface
  const char* path;
  const char* method;
  const char* replyType;     // "(t)" or "(u)"
  std::uint64_t msPerUnit;  // the reply's unit in milliseconds
};

std::uint64_t ReplyMs(const IdleQuery& query, GVariant* reply) {
  if (query.replyType[1] == 't') {
    guint64 wide = 0;
    g_variant_get(reply, "(t)", &wide);
    return wide * query.msPerUnit;
  }
  guint32 narrow = 0;
  g_variant_get(reply, "(u)", &narrow);
  return static_cast<std::uint64_t>(narrow) * query.msPerUnit;
}

// What the replies have told; shared with the questions in flight, which may be
// answered after the source is gone.
struct Replies {
  explicit Replies(const IdleQuery& query) : query(&query), readings(query.msPerUnit) {}
  const IdleQuery* query;
  IdleReadings readings;
  bool alive = true;
  std::uint64_t asked = 0;     // questions are numbered in the order asked
  std::uint64_t answered = 0;  // the newest question answered: replies to older ones are stale
  int unanswered = 0;
  gint64 lastAskedUs = 0;
  gint64 failingSinceUs = -1;  // when the first question of the present run of failures was asked

  void Adopt(std::uint64_t question, gint64 askedUs, GVariant* reply) {
    --unanswered;
    if (question < answered) return;  // a newer question was answered already
    if (reply != nullptr) {
      answered = question;
      readings.Take({ReplyMs(*query, reply), askedUs, g_get_monotonic_time()});
      failingSinceUs = -1;
      return;
    }
    if (failingSinceUs < 0) failingSinceUs = askedUs;
    if (g_get_monotonic_time() - failingSinceUs >= kFailingLimitUs) alive = false;
  }
};

// One question in flight: whose it is, its number, when it was asked.
struct Question {
  std::weak_ptr<Replies> replies;
  std::uint64_t number;
  gint64 askedUs;
};

class AskedIdleTime : public LinuxIdleSource {
 public:
  AskedIdleTime(GDBusConnection* bus, const IdleQuery& query, const IdleReading& first)
      : bus_(G_DBUS_CONNECTION(g_object_ref(bus))), replies_(std::make_shared<Replies>(query)),
        cancel_(g_cancellable_new()) {
    replies_->readings.Take(first);
    watch_ = g_bus_watch_name_on_connection(bus_, query.name, G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr, PeerLeft,
                                            new std::weak_ptr<Replies>(replies_), DropWeak);
  }
  ~AskedIdleTime() override {
    g_bus_unwatch_name(watch_);
    g_cancellable_cancel(cancel_);
    g_object_unref(cancel_);
    g_object_unref(bus_);
  }

  std::int32_t IdleSeconds() override {
    if (!replies_->alive) return 0x7fffffff;
    if (replies_->unanswered < kMaxUnanswered) Ask();
    return replies_->readings.IdleSeconds();
  }
  bool Alive() const override { return replies_->alive; }

 private:
  void Ask() {
    Replies& replies = *replies_;
    const gint64 now = g_get_monotonic_time();
    if (now - replies.lastAskedUs > kAskGapUs) replies.failingSinceUs = -1;
    replies.lastAskedUs = now;
    ++replies.unanswered;
    const IdleQuery& query = *replies.query;
    g_dbus_connection_call(bus_, query.name, query.path, query.name, query.method, nullptr,
                           G_VARIANT_TYPE(query.replyType), G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallLimitMs, cancel_,
                           Answered, new Question{replies_, ++replies.asked, now});
  }

  static void Answered(GObject* bus, GAsyncResult* result, gpointer data) {
    const std::unique_ptr<Question> question(static_cast<Question*>(data));
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
    // A source already gone cancelled its questions: nothing of it is touched.
    if (const std::shared_ptr<Replies> replies = question->replies.lock()) {
      replies->Adopt(question->number, question->askedUs, reply);
    }
    if (reply != nullptr) g_variant_unref(reply);
  }

  static void PeerLeft(GDBusConnection*, const gchar*, gpointer data) {
    if (auto replies = static_cast<std::weak_ptr<Replies>*>(data)->lock()) replies->alive = false;
  }
  static void DropWeak(gpointer data) { delete static_cast<std::weak_ptr<Replies>*>(data); }

  GDBusConnection* bus_;
  std::shared_ptr<Replies> replies_;
  GCancellable* cancel_;
  guint watch_ = 0;
};

// Only a peer that already runs is asked: the bus would otherwise start a screen saver
// or monitor the desktop did not start, just to be asked the time.
std::unique_ptr<LinuxIdleSource> Open(GDBusConnection* bus, const IdleQuery& query) {
  const gint64 askedUs = g_get_monotonic_time();
  GVariant* reply = g_dbus_connection_call_sync(bus, query.name, query.path, query.name, query.method, nullptr,
                                                G_VARIANT_TYPE(query.replyType), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                                kProbeLimitMs, nullptr, nullptr);
  if (reply == nullptr) return nullptr;
  const IdleReading first{ReplyMs(query, reply), askedUs, g_get_monotonic_time()};
  g_variant_unref(reply);
  return std::make_unique<AskedIdleTime>(bus, query, first);
}

// GNOME's idle monitor answers in milliseconds.
const IdleQuery kMutterIdleMonitor{"org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                                   "GetIdletime", "(t)", 1};
// The freedesktop screen saver answers in seconds (GNOME's old one and those after it:
// MATE's, Cinnamon's, Xfce's), but KDE's screen locker in milliseconds.
const IdleQuery kScreenSaver{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "GetSessionIdleTime",
                             "(u)", 1000};
const IdleQuery kKdeScreenLocker{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "GetSessionIdleTime",
                                 "(u)", 1};

// The unique name that owns `name`, or "" when none does.
std::string OwnerOf(GDBusConnection* bus, const char* name) {
  GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "GetNameOwner", g_variant_new("(s)", name),
                                                G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, kProbeLimitMs,
                                                nullptr, nullptr);
  if (reply == nullptr) return {};
  const gchar* owner = nullptr;
  g_variant_get(reply, "(&s)", &owner);
  std::string unique = owner;
  g_variant_unref(reply);
  return unique;
}

// KDE's screen locker owns its own screen saver name on the same connection as the
// freedesktop one; no other screen saver owns that name.
bool ScreenSaverIsKdes(GDBusConnection* bus) {
  const std::string owner = OwnerOf(bus, "org.freedesktop.ScreenSaver");
  return !owner.empty() && owner == OwnerOf(bus, "org.kde.screensaver");
}

}  // namespace

std::unique_ptr<LinuxIdleSource> OpenMutterIdleMonitor(GDBusConnection* bus) { return Open(bus, kMutterIdleMonitor); }

std::unique_ptr<LinuxIdleSource> OpenScreenSaverIdle(GDBusConnection* bus) {
  return Open(bus, ScreenSaverIsKdes(bus) ? kKdeScreenLocker : kScreenSaver);
}

}  // namespace tolvane
