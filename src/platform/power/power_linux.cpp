#include "platform/power/power_linux.h"

#include <gio/gio.h>
#include <unistd.h>

#include <iterator>

#include "platform/text/text_linux.h"

namespace tolvane {

// One power request on its way: whom to tell, and what was asked.
struct LinuxPowerService::Request {
  LinuxPowerService* service;
  PowerAnswered answered;
  std::int32_t code;
  bool force;
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

bool IsCancelled(const GError* error) { return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED); }

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
// cancelled because the service is gone (and the program with it).
void Settle(Request* request, GVariant* reply, GError* error) {
  if (reply != nullptr) {
    g_variant_unref(reply);
    Answer(request, true, {});
  } else if (IsCancelled(error)) {
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

void LinuxPowerService::KeepSystemAwake(bool awake) { keepAwake_->KeepSystemAwake(awake); }

void LinuxPowerService::RequestPowerAction(std::int32_t code, bool force, PowerAnswered answered) {
  auto* request = new Request{this, std::move(answered), code, force};
  if (!IsPowerActionCode(code)) return Answer(request, false, "Invalid action");
  // Our own lock must not stand in the way of the action it was keeping for.
  KeepSystemAwake(false);
  if (!force && code <= kLogOff && session_ != nullptr) return FindSessionManager(request);
  AskLogind(request);
}

// Asks the session bus which session managers run (never starting one), then lets
// the desktop's own carry the action out.
void LinuxPowerService::FindSessionManager(Request* request) {
  static constexpr std::string_view kNames[] = {kGnomeSessionName, kKdeSessionName, kXfceSessionName};
  struct Lookup {
    Request* request;
    std::size_t waiting = std::size(kNames);
    bool owned[std::size(kNames)] = {};
    bool cancelled = false;
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
            lookup->cancelled = lookup->cancelled || IsCancelled(error);
            g_error_free(error);  // a name the bus cannot tell of counts as not there
          }
          if (--lookup->waiting > 0) return;
          Request* request = lookup->request;
          const SessionNamesOwned owned{lookup->owned[0], lookup->owned[1], lookup->owned[2]};
          const bool cancelled = lookup->cancelled;
          delete lookup;
          if (cancelled) {
            delete request;  // the service is gone
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
  g_dbus_connection_call(
      session_, name.c_str(), path.c_str(), interface.c_str(), method.c_str(), arguments, nullptr,
      call->mayStart ? G_DBUS_CALL_FLAGS_NONE : G_DBUS_CALL_FLAGS_NO_AUTO_START, kNoLimit, cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* request = static_cast<Request*>(data);
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (reply == nullptr && IsAbsent(error)) {
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
  // The caller's own session: by its id when the login set one, else by our process.
  const char* id = g_getenv("XDG_SESSION_ID");
  const bool byId = id != nullptr && *id != '\0';
  g_dbus_connection_call(
      system_, kLogind, kLogindPath, kManager, byId ? "GetSession" : "GetSessionByPID",
      byId ? g_variant_new("(s)", id) : g_variant_new("(u)", static_cast<guint32>(getpid())), G_VARIANT_TYPE("(o)"),
      G_DBUS_CALL_FLAGS_NONE, kUsualLimit, cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* request = static_cast<Request*>(data);
        GError* error = nullptr;
        GVariant* found = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (found == nullptr) return Settle(request, nullptr, error);
        const gchar* path = nullptr;
        g_variant_get(found, "(&o)", &path);
        g_dbus_connection_call(G_DBUS_CONNECTION(source), kLogind, path, "org.freedesktop.login1.Session", "Terminate",
                               nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, kNoLimit, request->service->cancellable_,
                               Settled, request);
        g_variant_unref(found);
      },
      request);
}

}  // namespace tolvane
