#include "platform/datetime/datetime.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>

#include "platform/messages/fatal.h"
#include "platform/text/gbk.h"

namespace tolvane {

namespace {

// BuildDateTime's day count of 1899-12-30, the day numbered 0.
constexpr std::int64_t kDayZero = 693959;

constexpr std::int32_t kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// Days since 0000-01-01 of the proleptic Gregorian calendar. 64-bit so that any
// 32-bit year the caller passes stays defined.
std::int64_t DayCount(std::int64_t year, std::int32_t month, std::int32_t day) {
  std::int64_t days = year * 365 + year / 4 - year / 100 + year / 400 + kDaysBeforeMonth[month - 1] + day;
  if (month <= 2 && IsLeapYear(static_cast<std::int32_t>(year))) --days;
  return days;
}

// The inverse of DayCount for counts from 0001-01-01 on.
void DateOfDayCount(std::int64_t count, DateTimeParts& parts) {
  constexpr std::int64_t k400 = 146097, k100 = 36524, k4 = 1461, k1 = 365;
  std::int64_t rest = count - 366;  // days since 0001-01-01
  if (rest < 0) rest = 0;
  std::int64_t year = 1 + (rest / k400) * 400;
  rest %= k400;
  std::int64_t n = rest / k100;
  if (n == 4) n = 3;  // the last day of a 400-year cycle
  year += n * 100;
  rest -= n * k100;
  year += (rest / k4) * 4;
  rest %= k4;
  n = rest / k1;
  if (n == 4) n = 3;  // the last day of a leap year
  year += n;
  rest -= n * k1;

  const auto y = static_cast<std::int32_t>(year);
  const int leap = IsLeapYear(y) ? 1 : 0;
  auto daysBefore = [leap](std::int32_t month) { return kDaysBeforeMonth[month - 1] + (month > 2 ? leap : 0); };
  std::int32_t month = 1;
  while (month < 12 && rest >= daysBefore(month + 1)) ++month;
  parts.year = y;
  parts.month = month;
  parts.day = static_cast<std::int32_t>(rest - daysBefore(month)) + 1;
}

// Negative values count their fraction forward from the day's midnight; the
// linear form makes them monotonic so that seconds can be added and subtracted.
double Linear(DateTime v) {
  if (v >= 0) return v;
  const double k = std::ceil(v);
  return k - (v - k);
}

DateTime FromLinear(double x) {
  if (x >= 0) return x;
  const double f = std::floor(x);
  return f + (f - x);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Folds full-width forms into out, which has room for cap bytes; stops when the
// text ends or out is full. Returns the bytes written.
std::size_t FoldInto(std::string_view text, char* out, std::size_t cap) {
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = in + text.size();
  char* const first = out;
  char* const last = out + cap;
  while (in != end && out != last) {
    const unsigned char lead = *in++;
    if (lead == 0) break;  // the program's texts end at their first zero byte
    if (!StartsFoldingPair(lead)) {
      *out++ = static_cast<char>(lead);
      continue;
    }
    if (in == end || *in == 0) break;  // a lone lead byte is dropped
    const unsigned char trail = *in++;
    if (lead == 0xA1 && trail == 0xAB) {
      *out++ = '~';
    } else if (lead == 0xA1 && trail == 0xA1) {
      *out++ = ' ';
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      *out++ = '*';
    } else if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      *out++ = static_cast<char>(trail & 0x7F);
    } else {
      if (last - out < 2) break;
      *out++ = static_cast<char>(lead);
      *out++ = static_cast<char>(trail);
    }
  }
  return static_cast<std::size_t>(out - first);
}

// Appends the decimal digits of a non-negative value.
char* PutNumber(char* at, std::int32_t value) {
  std::int32_t divisor = 1;
  while (value / divisor >= 10) divisor *= 10;
  for (; divisor > 0; divisor /= 10) *at++ = static_cast<char>('0' + value / divisor % 10);
  return at;
}

char* PutText(char* at, const char* text) {
  while (*text != '\0') *at++ = *text++;
  return at;
}

// The parser runs on every tick; raw pointers keep it cheap in unoptimised
// builds too, where string_view's members are not inlined.
struct Cursor {
  const char* at;
  const char* end;
};

// Reads at most maxDigits decimal digits; none gives 0.
std::int32_t ReadField(Cursor& c, int maxDigits) {
  std::int32_t value = 0;
  for (int n = 0; n < maxDigits && c.at != c.end && IsDigit(*c.at); ++n) value = value * 10 + (*c.at++ - '0');
  return value;
}

// unit: a unit character (年, 月, ...) as a zero-terminated literal, two bytes in
// GBK. Returns its length when the text has it here, else 0.
std::ptrdiff_t AtUnit(const Cursor& c, const char* unit) {
  std::ptrdiff_t n = 0;
  for (; unit[n] != '\0'; ++n) {
    if (c.at + n == c.end || c.at[n] != unit[n]) return 0;
  }
  return n;
}

// Skips one of the field's separators when the text has one here.
void SkipSeparator(Cursor& c, const char* unit, bool spaceToo = false) {
  if (c.at == c.end) return;
  const char ch = *c.at;
  if (ch == '/' || ch == '-' || ch == ':' || ch == '.' || (spaceToo && ch == ' ')) {
    ++c.at;
  } else {
    c.at += AtUnit(c, unit);
  }
}

bool InRange(std::int32_t value, std::int32_t low, std::int32_t high) { return value >= low && value <= high; }

}  // namespace

std::int32_t SaturateToInt32(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
  if (x <= -2147483649.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(x);
}

std::int64_t SaturateToInt64(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
  if (x < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(x);
}

bool IsLeapYear(std::int32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

std::int32_t DaysInMonth(std::int32_t year, std::int32_t month) {
  static constexpr std::int32_t kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kLengths[month - 1];
}

DateTime LimitDateTime(DateTime v) {
  // NaN is no point in time; it reads as the earliest one rather than poisoning
  // every component taken from it.
  if (std::isnan(v)) return MinDateTime;
  if (v > MaxDateTime) return MaxDateTime;
  if (v < MinDateTime) return MinDateTime;
  return v;
}

std::optional<DateTime> BuildDateTime(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                                      std::int32_t minute, std::int32_t second) {
  if (year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
      second > 59) {
    return std::nullopt;
  }
  const std::int64_t days = DayCount(year, month, day) - kDayZero;
  const std::int64_t seconds = std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;
  const double fraction = static_cast<double>(seconds) * kSecondInDays;
  const auto whole = static_cast<double>(days);
  return days >= 0 ? whole + fraction : whole - fraction;
}

DateTimeParts SplitDateTime(DateTime v) {
  v = LimitDateTime(v);
  const double w = v > 0 ? v + kHalfSecondInDays : v - kHalfSecondInDays;
  DateTimeParts parts;
  DateOfDayCount(std::int64_t{SaturateToInt32(std::trunc(w))} + kDayZero, parts);
  const double magnitude = std::fabs(w);
  std::int32_t seconds = SaturateToInt32((magnitude - std::floor(magnitude)) * 86400);
  if (seconds > 86399) seconds = 86399;
  parts.hour = seconds / 3600;
  parts.minute = seconds / 60 % 60;
  parts.second = seconds % 60;
  return parts;
}

DateTime CurrentDateTime(const Clock& clock) {
  const DateTimeParts now = clock.LocalNow();
  const auto value = BuildDateTime(now.year, now.month, now.day, now.hour, now.minute, now.second);
  return value ? *value : MinDateTime;
}

std::string DateTimeToText(DateTime v) {
  // Shown every second and parsed back on every tick: built in place, not by
  // concatenation. Every component is non-negative after splitting.
  const DateTimeParts p = SplitDateTime(v);
  char buffer[64];
  char* at = PutText(PutNumber(buffer, p.year), "年");
  at = PutText(PutNumber(at, p.month), "月");
  at = PutText(PutNumber(at, p.day), "日");
  if (p.second != 0 || p.minute != 0 || p.hour != 0) at = PutText(PutNumber(at, p.hour), "时");
  if (p.second != 0 || p.minute != 0) at = PutText(PutNumber(at, p.minute), "分");
  if (p.second != 0) at = PutText(PutNumber(at, p.second), "秒");
  return std::string(buffer, static_cast<std::size_t>(at - buffer));
}

std::string FoldFullWidth(std::string_view text) {
  std::string out(text.size(), '\0');  // folding never lengthens a text
  out.resize(FoldInto(text, out.data(), out.size()));
  return out;
}

DateTime TextToDateTime(std::string_view original) {
  // The fields and their separators take at most 26 bytes, so the folded start
  // of the text decides the parse; the check for the text's end never reaches
  // the buffer's end.
  char buffer[32];
  const std::size_t size = FoldInto(original, buffer, sizeof buffer);
  if (size == 0) return MinDateTime;

  Cursor c{buffer, buffer + size};
  const std::int32_t year = ReadField(c, 4);
  SkipSeparator(c, "年");
  const std::int32_t month = ReadField(c, 2);
  SkipSeparator(c, "月");
  const std::int32_t day = ReadField(c, 2);
  SkipSeparator(c, "日", true);
  const std::int32_t hour = ReadField(c, 2);
  SkipSeparator(c, "时");
  const std::int32_t minute = ReadField(c, 2);
  SkipSeparator(c, "分");
  const std::int32_t second = ReadField(c, 2);
  if (c.at != c.end && AtUnit(c, "秒") == 0) return MinDateTime;

  // Every field must already be in range: nothing is carried over or clamped.
  if (!InRange(year, 100, 9999) || !InRange(month, 1, 12) || !InRange(day, 1, DaysInMonth(year, month)) ||
      !InRange(hour, 0, 23) || !InRange(minute, 0, 59) || !InRange(second, 0, 59)) {
    return MinDateTime;
  }
  const auto value = BuildDateTime(year, month, day, hour, minute, second);
  return value ? *value : MinDateTime;
}

DateTime AddSeconds(DateTime v, std::int32_t seconds) {
  if (seconds == 0) return v;
  v = LimitDateTime(v);
  const double span = static_cast<double>(seconds < 0 ? -std::int64_t{seconds} : std::int64_t{seconds}) * kSecondInDays;
  return FromLinear(seconds < 0 ? Linear(v) - span : Linear(v) + span);
}

double SecondsBetween(DateTime a, DateTime b) {
  if (a == b) return 0;
  const double days = Linear(LimitDateTime(a)) - Linear(LimitDateTime(b));
  // The half second is added in days to a count of seconds; kept as it is, since
  // the countdown's behaviour for negative spans depends on it.
  return SaturateToInt32(days * 86400 + kHalfSecondInDays);
}

DateTime DateOnly(DateTime v) {
  const DateTimeParts p = SplitDateTime(v);
  const auto value = BuildDateTime(p.year, p.month, p.day, 0, 0, 0);
  return value ? *value : MinDateTime;
}

std::int32_t YearOf(DateTime v) { return SplitDateTime(v).year; }
std::int32_t MonthOf(DateTime v) { return SplitDateTime(v).month; }
std::int32_t HourOf(DateTime v) { return SplitDateTime(v).hour; }
std::int32_t MinuteOf(DateTime v) { return SplitDateTime(v).minute; }
std::int32_t SecondOf(DateTime v) { return SplitDateTime(v).second; }

std::int32_t DurationSeconds(DateTime pickerValue) {
  const DateTimeParts p = SplitDateTime(pickerValue);
  return p.hour * 3600 + p.minute * 60 + p.second;
}

std::int64_t TextToLong(std::string_view original) {
  const std::string folded = FoldFullWidth(original);
  std::size_t at = 0;
  while (at < folded.size() && (folded[at] == ' ' || (folded[at] >= '\t' && folded[at] <= '\r'))) ++at;
  bool negative = false;
  if (at < folded.size() && (folded[at] == '+' || folded[at] == '-')) negative = folded[at++] == '-';
  // Unsigned, so that an overlong number wraps instead of being undefined.
  std::uint64_t value = 0;
  for (; at < folded.size() && IsDigit(folded[at]); ++at) {
    value = value * 10 + static_cast<std::uint64_t>(folded[at] - '0');
  }
  if (negative) value = 0 - value;
  return static_cast<std::int64_t>(value);
}

std::string IntegerToText(std::int32_t i) { return std::to_string(i); }

std::string LongToText(std::int64_t i) { return std::to_string(i); }

std::string RealToText(double x) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, "%.13g", x);
  return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

double WholeQuotient(double a, double b) {
  if (b == 0) ReportFatalError("不能整除于零");
  return std::trunc(a / b);
}

double Remainder(double a, double b) {
  if (b == 0) ReportFatalError("不能求余数于零");
  return std::fmod(a, b);
}

}  // namespace tolvane
