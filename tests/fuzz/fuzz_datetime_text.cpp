// Date texts and typed numbers come from edit boxes, the settings file and the
// program's own hidden target text: any bytes must parse without reading past
// them, and whatever parses must be a whole second that survives text and back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/datetime/datetime.h"

using namespace tolvane;

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// clang (the libFuzzer build) cannot compile the unit characters to GBK; there the
// date texts are not the program's own and only the memory checks apply.
const bool kGbkTexts = std::string_view("年") == "\xC4\xEA";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string folded = FoldFullWidth(text);
  Check(folded.size() <= size);
  Check(folded.find('\0') == std::string::npos);
  Check(FoldFullWidth(folded) == folded);  // folding twice changes nothing more

  const DateTime v = TextToDateTime(text);
  Check(SameBits(TextToDateTime(folded), v));
  if (kGbkTexts && !SameBits(v, MinDateTime)) {
    // A parsed value is a second of a day from 100-01-01 to 9999-12-31; the
    // times of day on those two days lie outside the range and read clamped.
    Check(v > MinDateTime - 1 && v < MaxDateTime + 1);
    if (v < MinDateTime) {
      Check(DateTimeToText(v) == "100年1月1日");
    } else if (v > MaxDateTime) {
      Check(DateTimeToText(v) == "9999年12月31日");
    } else {
      const DateTimeParts p = SplitDateTime(v);
      const auto rebuilt = BuildDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second);
      Check(rebuilt.has_value() && SameBits(*rebuilt, v));  // whole seconds
      Check(SameBits(TextToDateTime(DateTimeToText(v)), v));
    }
  }

  const std::int64_t number = TextToLong(text);
  Check(TextToLong(folded) == number);
  Check(TextToLong(LongToText(number)) == number);
  return 0;
}
