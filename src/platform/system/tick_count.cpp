#include "platform/system/tick_count.h"

namespace tolvane {

std::uint64_t TickWidener::Now() {
  std::uint64_t latest = latest_.load();
  for (;;) {
    // Read after the latest count was loaded, never before: a reading that waited (its
    // thread pre-empted, or the system suspended) while another thread moved the count on
    // would be behind it, and would read as almost a whole wrap ahead. A failed exchange
    // means the count moved, so the clock is read again.
    const std::uint32_t now = read_();
    std::uint64_t widened = now;
    if (latest != kUnread) {
      const auto elapsed = static_cast<std::uint32_t>(now - static_cast<std::uint32_t>(latest));
      if (elapsed == 0) return latest;
      widened = latest + elapsed;
    }
    if (latest_.compare_exchange_weak(latest, widened)) return widened;
  }
}

}  // namespace tolvane
