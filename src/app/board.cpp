// The countdown board: its texts while running and the blink while paused.
#include <cmath>

#include "app/program.h"
#include "ui/control_names.h"

namespace tolvane {

using namespace ui::names;

std::string FormatRemaining(std::int64_t seconds) {
  double s = static_cast<double>(seconds);
  const std::int32_t days = SaturateToInt32(WholeQuotient(s, 86400.0));
  s = static_cast<double>(SaturateToInt64(Remainder(s, 86400.0)));
  const std::int32_t hours = SaturateToInt32(WholeQuotient(s, 3600.0));
  s = Remainder(s, 3600.0);
  const std::int32_t minutes = SaturateToInt32(WholeQuotient(s, 60.0));
  s = Remainder(s, 60.0);
  return IntegerToText(days) + "天" + IntegerToText(hours) + "小时" + IntegerToText(minutes) + "分" +
         LongToText(SaturateToInt64(s)) + "秒";
}

void Program::BlinkPausedBoard() {
  std::int64_t count = 0;
  AddToCounter(时钟3, count);
  host_.SetCaption(标签2, std::fabs(Remainder(static_cast<double>(count), 2.0)) <= 1e-7 ? "计时暂停中..." : "");
}

void Program::AddToCounter(std::string_view control, std::int64_t& newCount) {
  newCount = static_cast<std::int64_t>(static_cast<std::uint64_t>(TextToLong(host_.Tag(control))) + 1u);
  host_.SetTag(control, LongToText(newCount));
}

}  // namespace tolvane
