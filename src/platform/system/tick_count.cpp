#include "platform/system/tick_count.h"

namespace tolvane {

namespace {
// Readings up to this far behind the latest count are late, not a wrap ahead.
constexpr std::uint32_t kLateReadingMs = 60 * 1000;
}  // namespace

std::uint64_t TickWidener::Widen(std::uint32_t now) {
  std::uint64_t latest = latest_.load();
  for (;;) {
    const auto low = static_cast<std::uint32_t>(latest);
    if (static_cast<std::uint32_t>(low - now) <= kLateReadingMs) return latest;
    const std::uint64_t widened = latest + static_cast<std::uint32_t>(now - low);
    if (latest_.compare_exchange_weak(latest, widened)) return widened;
  }
}

}  // namespace tolvane
