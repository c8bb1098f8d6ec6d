#pragma once
// Milliseconds since the system started, as a 64-bit count. Windows XP and Server 2003
// have only the 32-bit GetTickCount, which wraps every 49.7 days.
#include <atomic>
#include <cstdint>

namespace tolvane {

// Widens successive 32-bit tick counts into one 64-bit count that never goes back,
// from any thread. Readings must come at least every 49 days; a reading a little
// behind the latest one (another thread read the clock just before, and stored after)
// gives the latest count rather than a jump of a whole wrap.
class TickWidener {
 public:
  std::uint64_t Widen(std::uint32_t now);

 private:
  std::atomic<std::uint64_t> latest_{0};
};

// GetTickCount64 where the system has it, otherwise GetTickCount widened (Windows only).
std::uint64_t TickCount64();

}  // namespace tolvane
