#include "platform/datetime/datetime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/messages/fatal.h"

namespace tolvane {
namespace {

std::uint64_t Bits(double v) { return std::bit_cast<std::uint64_t>(v); }

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  const auto v = BuildDateTime(y, mo, d, h, mi, s);
  EXPECT_TRUE(v.has_value()) << y << "-" << mo << "-" << d << " " << h << ":" << mi << ":" << s;
  return v.value_or(std::nan(""));
}

// The calendar walked independently of the code under test.
bool Leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int MonthLength(int y, int m) {
  static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && Leap(y) ? 29 : lengths[m - 1];
}

struct SweepResult {
  long failures = 0;
  std::string first;
};

// Walks the days from January 1 of `firstYear` up to and including December 31
// of `lastYear`, whose first day has the number `firstDay`.
SweepResult SweepYears(int firstYear, int lastYear, double firstDay) {
  SweepResult result;
  auto fail = [&](const std::string& what) {
    if (result.failures++ == 0) result.first = what;
  };
  struct Time {
    int h, mi, s;
  };

  // One of each text shape, the last second of the day among them.
  const Time fixed[] = {{0, 0, 0}, {8, 0, 0}, {23, 59, 0}, {0, 0, 9}, {23, 59, 59}};
  double expectedDay = firstDay;
  long n = static_cast<long>(firstDay);
  for (int y = firstYear; y <= lastYear; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= MonthLength(y, m); ++d, ++n, expectedDay += 1) {
        const auto day = BuildDateTime(y, m, d, 0, 0, 0);
        if (!day || *day != expectedDay) fail("day number of " + std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d));
        // Through text and back, at a fixed time taking turns from day to day and
        // at a time that moves through all the seconds of the day over the years.
        const int varying = static_cast<int>((n * 7919) % 86400 + 86400) % 86400;
        const Time times[] = {fixed[(n % 5 + 5) % 5], {varying / 3600, varying / 60 % 60, varying % 60}};
        for (const Time& t : times) {
          const auto v = BuildDateTime(y, m, d, t.h, t.mi, t.s);
          // The first and last day hold only their midnight inside the valid range.
          if (!v || *v < MinDateTime || *v > MaxDateTime) continue;
          const std::string text = DateTimeToText(*v);
          if (Bits(TextToDateTime(text)) != Bits(*v)) fail("round trip of " + text);
        }
        // On midnight's turn, the text must also be the calendar's own name of the day.
        if (n % 5 == 0) {
          char dateText[32];
          std::snprintf(dateText, sizeof dateText, "%d年%d月%d日", y, m, d);
          if (DateTimeToText(expectedDay) != dateText) fail(std::string("text of ") + dateText);
        }
      }
    }
  }
  return result;
}

// Every day of the valid range: day numbers are consecutive, the date text is the
// calendar's own, and whole-second times survive text and back bit for bit (the
// target time lives as text between ticks). Spread over threads to stay quick in
// instrumented builds.
TEST(DateTimeCalendar, EveryDayIsNumberedAndRoundTripsThroughText) {
  const int threads = static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
  std::vector<SweepResult> results(static_cast<std::size_t>(threads));
  std::vector<std::thread> workers;
  double firstDay = MinDateTime;
  int year = 100;
  const int yearsEach = (9999 - 100 + 1 + threads - 1) / threads;
  for (int i = 0; i < threads && year <= 9999; ++i) {
    const int last = std::min(9999, year + yearsEach - 1);
    workers.emplace_back([&results, i, year, last, firstDay] { results[static_cast<std::size_t>(i)] = SweepYears(year, last, firstDay); });
    for (; year <= last; ++year) firstDay += Leap(year) ? 366 : 365;
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(firstDay, MaxDateTime + 1);
  for (const SweepResult& r : results) EXPECT_EQ(r.failures, 0) << "first: " << r.first;
}

TEST(DateTimeCalendar, AnchorsAndNegativeDays) {
  EXPECT_EQ(At(1899, 12, 30), 0.0);
  EXPECT_EQ(At(1900, 1, 1), 2.0);
  EXPECT_EQ(At(100, 1, 1), MinDateTime);
  EXPECT_EQ(At(9999, 12, 31), MaxDateTime);
  // Before day 0 the fraction still counts forward from that day's midnight.
  EXPECT_EQ(At(1899, 12, 29, 6), -1.25);
  EXPECT_EQ(SplitDateTime(-1.25), (DateTimeParts{1899, 12, 29, 6, 0, 0}));
  EXPECT_EQ(At(1899, 12, 30, 18), 0.75);
  // The fraction is seconds times the one-second constant, not seconds / 86400.
  EXPECT_EQ(Bits(At(2012, 3, 5, 8, 5, 9)), Bits(At(2012, 3, 5) + (8 * 3600 + 5 * 60 + 9) * kSecondInDays));
}

TEST(DateTimeCalendar, BuildRejectsComponentsOutOfRange) {
  EXPECT_FALSE(BuildDateTime(10000, 1, 1, 0, 0, 0));
  EXPECT_FALSE(BuildDateTime(2012, 0, 1, 0, 0, 0));
  EXPECT_FALSE(BuildDateTime(2012, 13, 1, 0, 0, 0));
  EXPECT_FALSE(BuildDateTime(2012, 4, 31, 0, 0, 0));
  EXPECT_FALSE(BuildDateTime(2011, 2, 29, 0, 0, 0));
  EXPECT_FALSE(BuildDateTime(1900, 2, 29, 0, 0, 0));
  EXPECT_TRUE(BuildDateTime(2000, 2, 29, 0, 0, 0));
  EXPECT_FALSE(BuildDateTime(2012, 3, 0, 0, 0, 0));
  EXPECT_FALSE(BuildDateTime(2012, 3, 5, 24, 0, 0));
  EXPECT_FALSE(BuildDateTime(2012, 3, 5, 0, 60, 0));
  EXPECT_FALSE(BuildDateTime(2012, 3, 5, 0, 0, 60));
  // Extreme components stay defined (no overflow in the day count).
  const auto low = BuildDateTime(std::numeric_limits<std::int32_t>::min(), 1, 1, std::numeric_limits<std::int32_t>::min(), 0, 0);
  ASSERT_TRUE(low);
  EXPECT_EQ(SplitDateTime(*low), SplitDateTime(MinDateTime));
}

TEST(DateTimeText, ShapesOfTheTimePart) {
  EXPECT_EQ(DateTimeToText(At(2012, 3, 5)), "2012年3月5日");
  EXPECT_EQ(DateTimeToText(At(2012, 3, 5, 8)), "2012年3月5日8时");
  EXPECT_EQ(DateTimeToText(At(2012, 3, 5, 8, 5)), "2012年3月5日8时5分");
  EXPECT_EQ(DateTimeToText(At(2012, 3, 5, 8, 0, 9)), "2012年3月5日8时0分9秒");
  EXPECT_EQ(DateTimeToText(At(2012, 3, 5, 0, 0, 9)), "2012年3月5日0时0分9秒");
}

TEST(DateTimeText, ValuesOutsideTheRangeAreClampedBeforeShowing) {
  EXPECT_EQ(DateTimeToText(MinDateTime), "100年1月1日");
  EXPECT_EQ(DateTimeToText(-1e300), "100年1月1日");
  EXPECT_EQ(DateTimeToText(std::nan("")), "100年1月1日");
  EXPECT_EQ(DateTimeToText(At(9999, 12, 31, 23, 59, 59)), "9999年12月31日");
  EXPECT_EQ(DateTimeToText(std::numeric_limits<double>::infinity()), "9999年12月31日");
  EXPECT_EQ(YearOf(1e300), 9999);
  EXPECT_EQ(MonthOf(-1e300), 1);
}

TEST(DateTimeText, ReadingRoundsToTheNearestSecond) {
  const DateTime midnight = At(2012, 3, 6);
  const DateTime justBefore = midnight - 0.4 * kSecondInDays;
  EXPECT_EQ(SplitDateTime(justBefore), (DateTimeParts{2012, 3, 6, 0, 0, 0}));
  EXPECT_EQ(DateOnly(justBefore), midnight);
  EXPECT_EQ(DateTimeToText(justBefore), "2012年3月6日");
  EXPECT_EQ(SplitDateTime(midnight - 0.6 * kSecondInDays), (DateTimeParts{2012, 3, 5, 23, 59, 59}));
  EXPECT_EQ(SecondOf(At(2012, 3, 5, 8, 5, 9) + 0.49 * kSecondInDays), 9);
  EXPECT_EQ(SecondOf(At(2012, 3, 5, 8, 5, 9) - 0.49 * kSecondInDays), 9);
}

TEST(DateTimeText, ComponentsAndDateOnly) {
  const DateTime v = At(2012, 3, 5, 8, 5, 9);
  EXPECT_EQ(YearOf(v), 2012);
  EXPECT_EQ(MonthOf(v), 3);
  EXPECT_EQ(HourOf(v), 8);
  EXPECT_EQ(MinuteOf(v), 5);
  EXPECT_EQ(SecondOf(v), 9);
  EXPECT_EQ(DateOnly(v), At(2012, 3, 5));
  EXPECT_EQ(DateOnly(At(1899, 12, 29, 6)), -1.0);
  // A duration picker holds a whole date-time; only its time of day counts.
  EXPECT_EQ(DurationSeconds(At(2012, 3, 5, 1, 2, 3)), 3723);
  EXPECT_EQ(DurationSeconds(At(1899, 12, 30, 23, 59, 59)), 86399);
  EXPECT_EQ(DurationSeconds(At(1899, 12, 29)), 0);
}

struct Accepted {
  const char* text;
  DateTimeParts parts;
};

TEST(DateTimeParser, AcceptsTheKnownForms) {
  const Accepted cases[] = {
      {"2012年3月5日", {2012, 3, 5, 0, 0, 0}},
      {"2012-3-5 8:05:09", {2012, 3, 5, 8, 5, 9}},
      {"2012/03/05 08:05:09", {2012, 3, 5, 8, 5, 9}},
      {"2012.3.5.8.5.9", {2012, 3, 5, 8, 5, 9}},
      {"2012:3:5:8:5:9", {2012, 3, 5, 8, 5, 9}},
      {"20120305", {2012, 3, 5, 0, 0, 0}},
      {"20120305080509", {2012, 3, 5, 8, 5, 9}},
      {"２０１２年３月５日８时", {2012, 3, 5, 8, 0, 0}},
      {"2012-3-5　8:05", {2012, 3, 5, 8, 5, 0}},  // full-width space after the day
      {"2012年3月5日8时5分3秒", {2012, 3, 5, 8, 5, 3}},
      {"2012年3月5日8时5分3秒 and then anything", {2012, 3, 5, 8, 5, 3}},
      {"2012年3月5日8时5分", {2012, 3, 5, 8, 5, 0}},
      {"2012年3月5日8时5", {2012, 3, 5, 8, 5, 0}},
      {"2012年2月29日", {2012, 2, 29, 0, 0, 0}},
      {"2000年2月29日", {2000, 2, 29, 0, 0, 0}},
      {"1900年1月1日00时00分00秒", {1900, 1, 1, 0, 0, 0}},
      {"100年1月1日", {100, 1, 1, 0, 0, 0}},
      {"2012年3月5日8时5分3\xC3", {2012, 3, 5, 8, 5, 3}},  // a cut-off 秒 leaves a lone lead byte
  };
  for (const Accepted& c : cases) {
    const DateTime v = TextToDateTime(std::string_view(c.text));
    EXPECT_EQ(Bits(v), Bits(At(c.parts.year, c.parts.month, c.parts.day, c.parts.hour, c.parts.minute, c.parts.second)))
        << c.text;
  }
  EXPECT_EQ(TextToDateTime(std::string_view("1900年1月1日00时00分00秒")), 2.0);
  // Past the end of the range the value is built as it is; reading clamps it later.
  EXPECT_GT(TextToDateTime(std::string_view("9999年12月31日23时59分59秒")), MaxDateTime);
  EXPECT_LT(TextToDateTime(std::string_view("100年1月1日8时")), MinDateTime);
  EXPECT_EQ(DateTimeToText(TextToDateTime(std::string_view("100年1月1日8时"))), "100年1月1日");
}

TEST(DateTimeParser, RejectsToMinDateTime) {
  const char* const cases[] = {
      "",
      "2012年3月5日 8时",  // the space is a separator only right after the day's digits
      "2012年3月5日8时5分3x",
      "2012年3月5日8时5分3 秒",
      "2012年2月30日",
      "2011年2月29日",
      "1900年2月29日",
      "12年3月5日",
      "99年12月31日",
      "2012年13月1日",
      "2012年0月1日",
      "2012年3月0日",
      "2012年3月5日24时",
      "2012年3月5日8时60分",
      "2012年3月5日8时5分60秒",
      "abc",
      "20120305080509x",
      "2012--3-5",
  };
  for (const char* text : cases) {
    EXPECT_EQ(Bits(TextToDateTime(std::string_view(text))), Bits(MinDateTime)) << text;
  }
}

TEST(DateTimeParser, StaysInsideItsInput) {
  // Views cut out of longer buffers: a parser reading past the end would meet the
  // bytes after the cut and fail.
  const std::string a = "2012年3月5日x";
  EXPECT_EQ(TextToDateTime(std::string_view(a.data(), a.size() - 1)), At(2012, 3, 5));
  const std::string b = "2012年3月5日8时5分3x";
  EXPECT_EQ(TextToDateTime(std::string_view(b.data(), b.size() - 1)), At(2012, 3, 5, 8, 5, 3));
  // A cut in the middle of 年 leaves a lone lead byte, which is dropped.
  const std::string c = "2012年";
  EXPECT_EQ(TextToDateTime(std::string_view(c.data(), c.size() - 1)), MinDateTime);
  // The program's texts end at their first zero byte.
  const std::string d("2012年3月5日\0garbage", 21);
  EXPECT_EQ(TextToDateTime(std::string_view(d)), At(2012, 3, 5));
}

TEST(DateTimeArithmetic, AddSeconds) {
  const DateTime v = At(2012, 3, 5, 8, 5, 9);
  EXPECT_EQ(SplitDateTime(AddSeconds(v, 86400)), SplitDateTime(At(2012, 3, 6, 8, 5, 9)));
  EXPECT_EQ(SplitDateTime(AddSeconds(v, -3600)), SplitDateTime(At(2012, 3, 5, 7, 5, 9)));
  EXPECT_EQ(SplitDateTime(AddSeconds(At(2012, 3, 1), -1)), SplitDateTime(At(2012, 2, 29, 23, 59, 59)));
  // Before day 0 the arithmetic goes through the linear form, across day 0 too.
  EXPECT_EQ(SplitDateTime(AddSeconds(At(1899, 12, 28, 6), 86400)), (DateTimeParts{1899, 12, 29, 6, 0, 0}));
  EXPECT_EQ(SplitDateTime(AddSeconds(At(1899, 12, 29, 18), 86400)), (DateTimeParts{1899, 12, 30, 18, 0, 0}));
  EXPECT_EQ(SplitDateTime(AddSeconds(0.25, -86400)), (DateTimeParts{1899, 12, 29, 6, 0, 0}));
  // Zero seconds return the value itself, bit for bit, even outside the range.
  for (double odd : {1e300, -1e300, std::nan("7"), -0.0, MaxDateTime + 5}) {
    EXPECT_EQ(Bits(AddSeconds(odd, 0)), Bits(odd));
  }
  // Other counts limit the value first but do not limit the result.
  EXPECT_GT(AddSeconds(MaxDateTime, 86400), MaxDateTime);
  EXPECT_EQ(AddSeconds(1e300, 86400), AddSeconds(MaxDateTime, 86400));
  EXPECT_LT(AddSeconds(MinDateTime, std::numeric_limits<std::int32_t>::min()), MinDateTime);
}

TEST(DateTimeArithmetic, SecondsBetweenRoundsNegativeSpansUp) {
  const DateTime now = At(2012, 3, 5, 8, 5, 9);
  const DateTime later = At(2012, 3, 5, 8, 6, 9);
  EXPECT_EQ(SecondsBetween(now, now), 0);
  EXPECT_EQ(SecondsBetween(later, now), 60);
  EXPECT_EQ(SecondsBetween(now, later), -59);
  EXPECT_EQ(SecondsBetween(now, At(2012, 3, 5, 8, 5, 10)), 0);
  EXPECT_EQ(SecondsBetween(At(2012, 3, 6, 8, 5, 9), now), 86400);
  EXPECT_EQ(SecondsBetween(At(1899, 12, 30, 6), At(1899, 12, 29, 6)), 86400);
  // Exactly equal values give 0 before any limiting.
  EXPECT_EQ(SecondsBetween(1e300, 1e300), 0);
  EXPECT_EQ(SecondsBetween(1e300, MaxDateTime), 0);
}

TEST(DateTimeArithmetic, SpansBeyondThirtyTwoBitsSaturate) {
  EXPECT_EQ(SecondsBetween(MaxDateTime, MinDateTime), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(SecondsBetween(MinDateTime, MaxDateTime), std::numeric_limits<std::int32_t>::min());

  EXPECT_EQ(SaturateToInt32(std::nan("")), 0);
  EXPECT_EQ(SaturateToInt32(2147483647.9), 2147483647);
  EXPECT_EQ(SaturateToInt32(2147483648.0), 2147483647);
  EXPECT_EQ(SaturateToInt32(1e300), 2147483647);
  EXPECT_EQ(SaturateToInt32(std::numeric_limits<double>::infinity()), 2147483647);
  EXPECT_EQ(SaturateToInt32(-2147483648.9), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(SaturateToInt32(-2147483649.0), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(SaturateToInt32(-std::numeric_limits<double>::infinity()), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(SaturateToInt32(-0.9), 0);
  EXPECT_EQ(SaturateToInt32(-59.5), -59);

  EXPECT_EQ(SaturateToInt64(std::nan("")), 0);
  EXPECT_EQ(SaturateToInt64(9223372036854775808.0), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(SaturateToInt64(-9223372036854775808.0), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(SaturateToInt64(-1e300), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(SaturateToInt64(9007199254740993.0), 9007199254740992);
  EXPECT_EQ(SaturateToInt64(-3.7), -3);
}

TEST(NumberText, FoldFullWidth) {
  EXPECT_EQ(FoldFullWidth("２０１２ＡＺａｚ！～"), "2012AZaz!~");
  EXPECT_EQ(FoldFullWidth("\xA1\xA1|\xA1\xAB|\xA1\xEE|\xA1\xEF"), " |~|*|*");
  // Two-byte characters are walked whole: the trail byte A3 of C4 A3 starts nothing,
  // and 年 stays as it is.
  EXPECT_EQ(FoldFullWidth("\xC4\xA3\xB0\xB0年"), "\xC4\xA3\xB0\xB0年");
  EXPECT_EQ(FoldFullWidth("\xA3\xA0\xA3\xFF"), "\xA3\xA0\xA3\xFF");
  EXPECT_EQ(FoldFullWidth("ab\xA3"), "ab");
  EXPECT_EQ(FoldFullWidth(std::string_view("ab\0cd", 5)), "ab");
  EXPECT_EQ(FoldFullWidth(std::string_view("a\xA3\0\xB1", 4)), "a");
}

TEST(NumberText, TextToLong) {
  EXPECT_EQ(TextToLong(" 0"), 0);
  EXPECT_EQ(TextToLong("１０"), 10);
  EXPECT_EQ(TextToLong("12abc"), 12);
  EXPECT_EQ(TextToLong("abc"), 0);
  EXPECT_EQ(TextToLong(" -7"), -7);
  EXPECT_EQ(TextToLong("\t\n\v\f\r+42"), 42);
  EXPECT_EQ(TextToLong("　－５"), -5);  // full-width space and minus fold first
  EXPECT_EQ(TextToLong("-"), 0);
  EXPECT_EQ(TextToLong("--5"), 0);
  EXPECT_EQ(TextToLong(""), 0);
  EXPECT_EQ(TextToLong("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  // Overlong numbers wrap like the 64-bit accumulator they are read into.
  EXPECT_EQ(TextToLong("9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(TextToLong("18446744073709551617"), 1);
  const std::string s = "123";
  EXPECT_EQ(TextToLong(std::string_view(s.data(), 2)), 12);
}

TEST(NumberText, NumbersToText) {
  EXPECT_EQ(IntegerToText(0), "0");
  EXPECT_EQ(IntegerToText(-42), "-42");
  EXPECT_EQ(IntegerToText(std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(LongToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(RealToText(2.0), "2");
  EXPECT_EQ(RealToText(0.1), "0.1");
  EXPECT_EQ(RealToText(0.5), "0.5");
  EXPECT_EQ(RealToText(3600.0), "3600");
  EXPECT_EQ(RealToText(1.0 / 3), "0.3333333333333");
  EXPECT_EQ(RealToText(123456789012.5), "123456789012.5");
  EXPECT_EQ(RealToText(1e13), "1e+13");
  EXPECT_EQ(RealToText(0.0001), "0.0001");
  EXPECT_EQ(RealToText(0.00001), "1e-05");
}

struct FatalSeen {
  std::string report;
};
void ThrowFatal(const std::string& report) { throw FatalSeen{report}; }

class Division : public ::testing::Test {
 protected:
  void SetUp() override { SetFatalErrorHandler(&ThrowFatal); }
  void TearDown() override { SetFatalErrorHandler(nullptr); }

  template <typename F>
  std::string ReportOf(F f) {
    try {
      f();
    } catch (const FatalSeen& seen) {
      return seen.report;
    }
    return "no report";
  }
};

TEST_F(Division, TruncatesTowardZero) {
  EXPECT_EQ(WholeQuotient(7200, 3600), 2);
  EXPECT_EQ(WholeQuotient(-90, 60), -1);
  EXPECT_EQ(WholeQuotient(59, 60), 0);
  EXPECT_EQ(Remainder(3700, 3600), 100);
  EXPECT_EQ(Remainder(-70, 60), -10);
  EXPECT_EQ(Remainder(70, -60), 10);
  EXPECT_EQ(Remainder(5.5, 2), 1.5);
}

TEST_F(Division, ZeroDivisorIsAFatalReport) {
  EXPECT_EQ(ReportOf([] { WholeQuotient(1, 0); }), FatalReportText("不能整除于零", 0));
  EXPECT_EQ(ReportOf([] { Remainder(1, -0.0); }), FatalReportText("不能求余数于零", 0));
}

class FixedClock : public Clock {
 public:
  explicit FixedClock(DateTimeParts now) : now_(now) {}
  DateTimeParts LocalNow() const override { return now_; }

 private:
  DateTimeParts now_;
};

TEST(DateTimeClock, CurrentDateTimeBuildsTheClockReading) {
  EXPECT_EQ(CurrentDateTime(FixedClock({2012, 3, 5, 8, 5, 9})), At(2012, 3, 5, 8, 5, 9));
  // A clock reading that is no date still gives a value every operation can read.
  EXPECT_EQ(CurrentDateTime(FixedClock({2012, 2, 30, 0, 0, 0})), MinDateTime);
}

}  // namespace
}  // namespace tolvane
