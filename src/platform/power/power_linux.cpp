#include "platform/power/power_linux.h"

#include <gio/gio.h>
#include <unistd.h>

#include <iterator>

#include "platform/text/text_linux.h"

namespace tolvane {

// One power request on its way: whom to tell, and what was asked. It holds the
// service's cancellable of its own, so that an answer arriving after the service is
// gone can still tell that it was the service's own cancel, without touching it.
struct LinuxPowerService::Request {
  Request(LinuxPowerService* service, PowerAnswered answered, std::int32_t code, bool force)
      : service(service), answered(std::move(answered)), code(code), force(force),
        cancellable(G_CANCELLABLE(g_object_ref(service->cancellable_))) {}
  ~Request() { g_object_unref(cancellable); }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  LinuxPowerService* service;  // only while Gone() is false
  PowerAnswered answered;
  std::int32_t code;
  bool force;
  GCancellable* cancellable;
  bool askedAutoSession = false;  // log off: logind's "auto" session was asked already
};

namespace {

constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kLogindPath[] = "/org/freedesktop/login1";
constexpr char kManager[] = "org.freedesktop.login1.Manager";
// A request waits as long as the answer takes: polkit may be asking the user to
// authenticate, a session manager answers only once the programs have had their say,
// and a limit would report a failure while the action may still follow. The look-ups
// keep the bus's usual limit.
constexpr int kNoLimit = G_MAXINT;
constexpr int kUsualLimit = -1;

using Request = LinuxPowerService::Request;

std::string TakeMessage(GError* error) {
  g_dbus_error_strip_remote_error(error);
  std::string text = error->message;
  g_error_free(error);
  return text;
}

// The service went (and the program with it): its calls were cancelled. A peer may
// answer with a cancelled error of its own (GNOME's session manager does when the user
// cancels its dialog): that is a refusal like any other.
bool Gone(const Request* request) { return g_cancellable_is_cancelled(request->cancellable); }

// Nobody owns the name: a desktop without that service, or one that has just left.
bool IsAbsent(const GError* error) {
  return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
}

void Answer(Request* request, bool accepted, const std::string& reasonUtf8) {
  PowerAnswered answered = std::move(request->answered);
  delete request;
  answered(PowerAnswer{accepted, Utf8ToGbk(reasonUtf8)});
}

// The end of a request's last call: accepted, refused with the peer's reason, or
// dropped because the service is gone.
void Settle(Request* request, GVariant* reply, GError* error) {
  if (reply != nullptr) {
    g_variant_unref(reply);
    Answer(request, true, {});
  } else if (Gone(request)) {
    g_error_free(error);
    delete request;
  } else {
    Answer(request, false, TakeMessage(error));
  }
}

void Settled(GObject* source, GAsyncResult* result, gpointer request) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  Settle(static_cast<Request*>(request), reply, error);
}

// A method that never answers: a call would wait for ever. The message goes out marked
// as wanting no answer, and the request is taken once it has left for the bus (the
// program may end right after).
void SendWithoutReply(GDBusConnection* bus, Request* request, GDBusMessage* message, GVariant* arguments) {
  g_dbus_message_set_body(message, arguments);
  g_variant_unref(arguments);
  g_dbus_message_set_flags(message, static_cast<GDBusMessageFlags>(G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED |
                                                                   G_DBUS_MESSAGE_FLAGS_NO_AUTO_START));
  GError* error = nullptr;
  const bool queued = g_dbus_connection_send_message(bus, message, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, &error);
  g_object_unref(message);
  if (!queued) return Settle(request, nullptr, error);
  g_dbus_connection_flush(
      bus, request->cancellable,
      [](GObject* source, GAsyncResult* result, gpointer request) {
        GError* error = nullptr;
        const bool sent = g_dbus_connection_flush_finish(G_DBUS_CONNECTION(source), result, &error);
        Settle(static_cast<Request*>(request), sent ? g_variant_ref_sink(g_variant_new("()")) : nullptr, error);
      },
      request);
}

}  // namespace

LinuxPowerService::LinuxPowerService() : cancellable_(g_cancellable_new()) {
  // The buses are connected once, at start-up; the rest of the program shares them.
  session_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  GError* error = nullptr;
  system_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
  if (system_ == nullptr) systemBusFailure_ = TakeMessage(error);
  keepAwake_ = std::make_unique<LinuxKeepAwake>(session_, system_);
}

LinuxPowerService::~LinuxPowerService() {
  g_cancellable_cancel(cancellable_);  // answers still on their way are dropped
  keepAwake_.reset();
  g_object_unref(cancellable_);
  if (session_ != nullptr) g_object_unref(session_);
  if (system_ != nullptr) g_object_unref(system_);
}

void LinuxPowerService::KeepSystemAwake(bool awake, double secondsAhead) {
  keepAwake_->KeepSystemAwake(awake, secondsAhead);
}

void LinuxPowerService::RequestPowerAction(std::int32_t code, bool force, PowerAnswered answered) {
  auto* request = new Request(this, std::move(answered), code, force);
  if (!IsPowerActionCode(code)) return Answer(request, false, "Invalid action");
  // Our own lock must not stand in the way of the action it was keeping for.
  keepAwake_->KeepSystemAwake(false);
  if (!force && code <= kLogOff && session_ != nullptr) return FindSessionManager(request);
  AskLogind(request);
}

// Asks the session bus which session managers run (never starting one), then lets
// the desktop's own carry the action out.
void LinuxPowerService::FindSessionManager(Request* request) {
  static constexpr std::string_view kNames[] = {kGnomeSessionName, kKdeSessionName, kXfceSessionName,
                                                kLxqtSessionName};
  struct Lookup {
    Request* request;
    std::size_t waiting = std::size(kNames);
    bool owned[std::size(kNames)] = {};
  };
  struct Question {
    Lookup* lookup;
    std::size_t index;
  };
  auto* lookup = new Lookup{request};
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    const std::string name(kNames[i]);
    g_dbus_connection_call(
        session_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, kUsualLimit, cancellable_,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          const Question question = *static_cast<Question*>(data);
          delete static_cast<Question*>(data);
          Lookup* lookup = question.lookup;
          GError* error = nullptr;
          if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error)) {
            gboolean owned = FALSE;
            g_variant_get(reply, "(b)", &owned);
            lookup->owned[question.index] = owned;
            g_variant_unref(reply);
          } else {
            g_error_free(error);  // a name the bus cannot tell of counts as not there
          }
          if (--lookup->waiting > 0) return;
          Request* request = lookup->request;
          const SessionNamesOwned owned{lookup->owned[0], lookup->owned[1], lookup->owned[2], lookup->owned[3]};
          delete lookup;
          if (Gone(request)) {
            delete request;
            return;
          }
          const char* desktop = g_getenv("XDG_CURRENT_DESKTOP");
          request->service->AskSessionManager(request, ChooseSessionManager(desktop != nullptr ? desktop : "", owned));
        },
        new Question{lookup, i});
  }
}

void LinuxPowerService::AskSessionManager(Request* request, SessionManager manager) {
  const auto call = MapSessionManagerCall(manager, request->code, request->force);
  if (!call) return AskLogind(request);
  const std::string name(call->name), path(call->path), interface(call->interface), method(call->method),
      signature(call->signature), text(call->arguments);
  GVariant* arguments = g_variant_parse(G_VARIANT_TYPE(signature.c_str()), text.c_str(), nullptr, nullptr, nullptr);
  if (call->noReply) {
    GDBusMessage* message = g_dbus_message_new_method_call(name.c_str(), path.c_str(), interface.c_str(), method.c_str());
    return SendWithoutReply(session_, request, message, arguments);
  }
  g_dbus_connection_call(
      session_, name.c_str(), path.c_str(), interface.c_str(), method.c_str(), arguments, nullptr,
      call->mayStart ? G_DBUS_CALL_FLAGS_NONE : G_DBUS_CALL_FLAGS_NO_AUTO_START, kNoLimit, cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* request = static_cast<Request*>(data);
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (reply == nullptr && !Gone(request) && IsAbsent(error)) {
          // Gone since it was found: nothing is left to ask the programs, as on a bare
          // window manager.
          g_error_free(error);
          request->service->AskLogind(request);
          return;
        }
        Settle(request, reply, error);
      },
      request);
  g_variant_unref(arguments);  // parsed, so not floating: the call took its own reference
}

void LinuxPowerService::AskLogind(Request* request) {
  const LogindRequest what = MapLogindAction(request->code, request->force);
  if (system_ == nullptr) return Answer(request, false, systemBusFailure_);
  if (what.kind == LogindRequest::Kind::TerminateSession) return TerminateSession(request);
  const std::string method(what.method);
  g_dbus_connection_call(system_, kLogind, kLogindPath, kManager, method.c_str(), g_variant_new("(b)", what.interactive),
                         nullptr,
                         what.interactive ? G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION : G_DBUS_CALL_FLAGS_NONE,
                         kNoLimit, cancellable_, Settled, request);
}

void LinuxPowerService::TerminateSession(Request* request) {
  // logind's "auto" is the caller's session, else the user's display session: a program
  // GNOME starts runs in a scope of the user's service manager, outside any session,
  // and without XDG_SESSION_ID, which gnome-session keeps from its children. A logind
  // older than "auto" is asked for the login's id, else for our process's session.
  const char* id = g_getenv("XDG_SESSION_ID");
  const bool byId = request->askedAutoSession && id != nullptr && *id != '\0';
  GVariant* arguments = !request->askedAutoSession ? g_variant_new("(s)", "auto")
                        : byId                     ? g_variant_new("(s)", id)
                                                   : g_variant_new("(u)", static_cast<guint32>(getpid()));
  g_dbus_connection_call(
      system_, kLogind, kLogindPath, kManager, request->askedAutoSession && !byId ? "GetSessionByPID" : "GetSession",
      arguments, G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, kUsualLimit, cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* request = static_cast<Request*>(data);
        GError* error = nullptr;
        GVariant* found = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (found == nullptr && !Gone(request) && !request->askedAutoSession) {
          g_error_free(error);
          request->askedAutoSession = true;
          return request->service->TerminateSession(request);
        }
        if (found == nullptr) return Settle(request, nullptr, error);
        const gchar* path = nullptr;
        g_variant_get(found, "(&o)", &path);
        g_dbus_connection_call(G_DBUS_CONNECTION(source), kLogind, path, "org.freedesktop.login1.Session", "Terminate",
                               nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, kNoLimit, request->cancellable, Settled,
                               request);
        g_variant_unref(found);
      },
      request);
}

}  // namespace tolvane
