#pragma once
// The power service on a Linux desktop: systemd-logind over the system bus for the
// actions, the desktop's own inhibitors (or logind's) to keep the computer awake.
// Every call is asynchronous: logind may first have the user authenticate, and
// the window stays responsive until it answers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/power/power.h"
#include "platform/power/power_linux_map.h"

typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;

namespace tolvane {

class LinuxPowerService final : public PowerService {
 public:
  LinuxPowerService();
  ~LinuxPowerService() override;
  LinuxPowerService(const LinuxPowerService&) = delete;
  LinuxPowerService& operator=(const LinuxPowerService&) = delete;

  void RequestPowerAction(std::int32_t code, bool force, PowerAnswered answered) override;
  void KeepSystemAwake(bool awake) override;

  // What holds automatic sleep off: one of the inhibitors, while held.
  struct AwakeLock {
    AwakeInhibitor kind = AwakeInhibitor::Logind;
    bool held = false;
    std::uint32_t cookie = 0;  // the session manager's
    std::string handle;        // the portal's request object
    int fd = -1;               // logind keeps its lock while this stays open
  };
  struct Request;

 private:
  void LogOff(Request* request);
  void TerminateSession(Request* request);
  void TryInhibitor(std::size_t index);
  void InhibitorAnswered(std::size_t index, AwakeLock lock, bool taken);
  void Release(AwakeLock& lock);

  GDBusConnection* session_ = nullptr;
  GDBusConnection* system_ = nullptr;
  std::string systemBusFailure_;  // UTF-8: why there is no system bus
  GCancellable* cancellable_ = nullptr;  // cancelled only when the service goes

  bool awakeWanted_ = false;
  bool inhibiting_ = false;  // an inhibitor call has not been answered yet
  AwakeLock lock_;
  std::size_t firstInhibitor_ = 0;  // the first of kAwakeInhibitors that answered
};

}  // namespace tolvane
