#pragma once
// The end of the desktop session, as Windows asks whether the logon may end:
// GNOME's session manager asks its registered clients, logind announces a
// shutdown to those holding a delay lock, and other desktops (and logind stopping
// the session, a terminal closing) send SIGTERM, SIGHUP or SIGINT. Every way the
// program's close request runs (the settings are saved) before the program goes.
// GNOME's question before its confirmation dialog only saves the settings: the user
// may still cancel the dialog, and the schedule goes on.
#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <functional>
#include <string>

namespace tolvane::gtk {

class SessionEnd {
 public:
  SessionEnd(std::function<void()> closeRequest, std::function<void()> saveSettings, std::function<void()> quit);
  ~SessionEnd();
  SessionEnd(const SessionEnd&) = delete;
  SessionEnd& operator=(const SessionEnd&) = delete;

 private:
  void Registered(GVariant* reply);
  void ClientSignal(const gchar* signal);
  void Respond();
  void InhibitorTaken(GVariant* reply, GUnixFDList* fds);
  void ShutdownAnnounced(bool starting);
  void CloseRequestOnce();
  void EndNow();

  std::function<void()> closeRequest_, saveSettings_, quit_;
  GCancellable* cancellable_ = nullptr;
  GDBusConnection* session_ = nullptr;
  GDBusConnection* system_ = nullptr;
  std::string clientPath_;  // our client object at the session manager, once registered
  guint clientSignals_ = 0;
  guint shutdownSignal_ = 0;
  guint unixSignals_[3] = {};  // SIGTERM, SIGHUP, SIGINT, taken from the main loop
  int delayLock_ = -1;
  bool closeRequested_ = false;  // the close request already ran for this ending
};

}  // namespace tolvane::gtk
