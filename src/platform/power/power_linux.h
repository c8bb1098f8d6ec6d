#pragma once
// The power service on a Linux desktop. An unforced shut down, restart or log off goes
// through the desktop's session manager, so that programs may save their work or
// object; a forced one, standby and hibernation go to systemd-logind over the system
// bus, as does everything where no session manager runs. Keeping awake is
// LinuxKeepAwake's. Every call is asynchronous: logind may first have the user
// authenticate, a session manager answers when the session ends, and the window stays
// responsive until then.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/power/keep_awake_linux.h"
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
  void KeepSystemAwake(bool awake, double secondsAhead) override;

  struct Request;

 private:
  void FindSessionManager(Request* request);
  void AskSessionManager(Request* request, SessionManager manager);
  void AskLogind(Request* request);
  void TerminateSession(Request* request);

  GDBusConnection* session_ = nullptr;
  GDBusConnection* system_ = nullptr;
  std::string systemBusFailure_;  // UTF-8: why there is no system bus
  GCancellable* cancellable_ = nullptr;  // cancelled only when the service goes
  std::unique_ptr<LinuxKeepAwake> keepAwake_;
};

}  // namespace tolvane
