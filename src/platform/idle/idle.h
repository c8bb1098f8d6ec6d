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
};

}  // namespace tolvane
