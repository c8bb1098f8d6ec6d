#include "ui/number_entry.h"

#include "platform/datetime/datetime.h"

namespace tolvane::ui {

bool AcceptTypedCharacter(unsigned int code) {
  return code < 32 || (code >= '0' && code <= '9') || code == '-';
}

std::string NormaliseWholeNumber(std::string_view text) {
  std::string result = LongToText(TextToLong(text));
  return result == "0" ? std::string() : result;
}

std::string SpinWholeNumber(std::string_view text, SpinRange range, int direction) {
  const std::int64_t current = TextToLong(text);
  // Compared before adding, so a huge typed number cannot overflow.
  if (direction > 0) {
    return LongToText(current >= range.low - 1 && current < range.high ? current + 1 : range.low);
  }
  return LongToText(current > range.low && current <= range.high + 1 ? current - 1 : range.high);
}

}  // namespace tolvane::ui
