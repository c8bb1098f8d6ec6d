#pragma once
// The power service on a Linux desktop: systemd-logind over the system bus.
#include <cstdint>
#include <string>

#include "platform/power/power.h"

namespace tolvane {

class LinuxPowerService final : public PowerService {
 public:
  ~LinuxPowerService() override;
  bool RequestPowerAction(std::int32_t code, bool force) override;
  std::string FailureReason() const override;
  void KeepSystemAwake(bool awake) override;

 private:
  bool LogOff(std::uint32_t mode);

  std::string failure_;   // UTF-8 text of the last refusal
  int inhibitorFd_ = -1;  // logind keeps the lock while this stays open
};

}  // namespace tolvane
