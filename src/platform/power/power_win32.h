#pragma once
// The power service on Windows.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/power/power_win32_map.h"

namespace tolvane {

class Win32PowerService final : public PowerService, private PowerSystemCalls {
 public:
  // Windows answers at once: `answered` runs before this returns.
  void RequestPowerAction(std::int32_t code, bool force, PowerAnswered answered) override;
  void KeepSystemAwake(bool awake, double) override;

  // The request itself: true when the system accepted it; on false,
  // FailureReason() tells the user why (GBK text).
  bool RequestPowerAction(std::int32_t code, bool force);
  std::string FailureReason() const;

  // Enables SeShutdownPrivilege for this process; true when it is now enabled
  // (always on a system outside the NT family, which has no privileges).
  bool EnableShutdownPrivilege() override;

 private:
  bool IsNtFamily() override;
  std::uint32_t MajorVersion() override;
  bool EndSession(std::uint32_t exitFlags) override;
  bool SetSystemPowerState(bool suspend, bool force) override;
  std::optional<bool> SetSuspendState(bool hibernate, bool force) override;

  std::uint32_t lastError_ = 0;  // system error code of the last failed request
};

}  // namespace tolvane
