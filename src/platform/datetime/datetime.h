#pragma once
// Date-time values, their text forms and the number conversions used beside them.
//
// A date-time value is a double: the whole part counts days from 1899-12-30, the
// fraction is the time of day. Every operation here is a pure function except
// CurrentDateTime, which reads a Clock.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

using DateTime = double;

inline constexpr DateTime MinDateTime = -657434.0;  // 100-01-01 00:00:00
inline constexpr DateTime MaxDateTime = 2958465.0;  // 9999-12-31 00:00:00
// The double nearest 1/86400: one second in days, applied by multiplication.
inline constexpr double kSecondInDays = 1.1574074074074073e-05;
// Half a second in days, used to round to the nearest second.
inline constexpr double kHalfSecondInDays = 5.787037037037037e-06;

struct DateTimeParts {
  std::int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const DateTimeParts&) const = default;
};

// The local wall clock at one-second resolution: the system's own on Windows
// and Linux (clock_win32.h, clock_linux.h), virtual time in the tests' headless host.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTimeParts LocalNow() const = 0;
};

DateTime CurrentDateTime(const Clock& clock);
DateTime LimitDateTime(DateTime v);  // NaN reads as MinDateTime
std::optional<DateTime> BuildDateTime(std::int32_t year, std::int32_t month, std::int32_t day,
                                      std::int32_t hour, std::int32_t minute, std::int32_t second);
DateTimeParts SplitDateTime(DateTime v);
std::string DateTimeToText(DateTime v);
DateTime TextToDateTime(std::string_view text);
inline DateTime TextToDateTime(DateTime v) { return v; }
DateTime AddSeconds(DateTime v, std::int32_t seconds);
double SecondsBetween(DateTime a, DateTime b);
DateTime DateOnly(DateTime v);
std::int32_t YearOf(DateTime v);
std::int32_t MonthOf(DateTime v);
std::int32_t HourOf(DateTime v);
std::int32_t MinuteOf(DateTime v);
std::int32_t SecondOf(DateTime v);
bool IsLeapYear(std::int32_t year);
std::int32_t DaysInMonth(std::int32_t year, std::int32_t month);

std::string FoldFullWidth(std::string_view text);
std::int64_t TextToLong(std::string_view text);
std::string IntegerToText(std::int32_t i);
std::string LongToText(std::int64_t i);
std::string RealToText(double x);
double WholeQuotient(double a, double b);  // zero divisor: fatal report "不能整除于零"
double Remainder(double a, double b);      // zero divisor: fatal report "不能求余数于零"

// A double taken "as a 32-bit integer" (truncated toward zero). Values outside the
// range saturate instead of being undefined; NaN gives 0.
std::int32_t SaturateToInt32(double x);
std::int64_t SaturateToInt64(double x);

// Seconds of a duration picker's value: HourOf * 3600 + MinuteOf * 60 + SecondOf.
std::int32_t DurationSeconds(DateTime pickerValue);

}  // namespace tolvane
