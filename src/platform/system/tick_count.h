#pragma once
// Milliseconds since the system started, as a 64-bit count. Windows XP and Server 2003
// have only the 32-bit GetTickCount, which wraps every 49.7 days.
#include <atomic>
#include <cstdint>

namespace tolvane {

// Widens a 32-bit tick count into one 64-bit count that never goes back, from any
// thread. The count starts at the first reading and carries every wrap after it, as
// long as it is asked at least once every 49 days.
class TickWidener {
 public:
  using Reader = std::uint32_t (*)();
  constexpr explicit TickWidener(Reader read) : read_(read) {}
  TickWidener(const TickWidener&) = delete;
  TickWidener& operator=(const TickWidener&) = delete;

  std::uint64_t Now();

 private:
  static constexpr std::uint64_t kUnread = ~std::uint64_t{0};
  Reader read_;
  std::atomic<std::uint64_t> latest_{kUnread};
};

// GetTickCount64 where the system has it, otherwise GetTickCount widened (Windows only).
std::uint64_t TickCount64();

}  // namespace tolvane
