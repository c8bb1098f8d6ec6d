#include "platform/datetime/datetime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/messages/fatal.h"

namespace tolvane {
namespace {

constexpr auto kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr auto kInt32Min = std::numeric_limits<std::int32_t>::min();

std::uint64_t Bits(double v) { return std::bit_cast<std::uint64_t>(v); }

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  const auto v = BuildDateTime(y, mo, d, h, mi, s);
  EXPECT_TRUE(v.has_value()) << y << "-" << mo << "-" << d << " " << h << ":" << mi << ":" << s;
  return v.value_or(std::nan(""));
}

DateTime Parse(const char* text) { return TextToDateTime(std::string_view(text)); }

// The calendar walked independently of the code under test.
bool Leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int MonthLength(int y, int m) {
  static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && Leap(y) ? 29 : lengths[m - 1];
}

// Walks from January 1 of firstYear (numbered firstDay) to December 31 of
// lastYear; returns the number of faults and the first one.
std::pair<long, std::string> SweepYears(int firstYear, int lastYear, double firstDay) {
  std::pair<long, std::string> faults{0, ""};
  auto fail = [&](const std::string& what) {
    if (faults.first++ == 0) faults.second = what;
  };
  struct Time {
    int h, mi, s;
  };
  const Time fixed[] = {{0, 0, 0}, {8, 0, 0}, {23, 59, 0}, {0, 0, 9}, {23, 59, 59}};  // each text shape
  double expectedDay = firstDay;
  long n = static_cast<long>(firstDay);
  for (int y = firstYear; y <= lastYear; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= MonthLength(y, m); ++d, ++n, expectedDay += 1) {
        if (BuildDateTime(y, m, d, 0, 0, 0) != expectedDay)
          fail("day number of " + std::to_string(y) + "-" + std::to_string(m));
        // One round trip a day keeps the sweep quick under the sanitizers: even days
        // at a time that walks through every second of the day over the years, odd
        // days at the fixed times in turn.
        const int varying = static_cast<int>((n / 2 * 7919 % 86400 + 86400) % 86400);
        const Time t = n % 2 == 0 ? Time{varying / 3600, varying / 60 % 60, varying % 60} : fixed[(n / 2 % 5 + 5) % 5];
        const auto v = BuildDateTime(y, m, d, t.h, t.mi, t.s);
        if (!v || *v < MinDateTime || *v > MaxDateTime) continue;  // the first and last day's times
        const std::string text = DateTimeToText(*v);
        if (Bits(TextToDateTime(text)) != Bits(*v)) fail("round trip of " + text);
        if (t.h == 0 && t.mi == 0 && t.s == 0) {
          char dateText[32];
          std::snprintf(dateText, sizeof dateText, "%d年%d月%d日", y, m, d);
          if (text != dateText) fail(std::string("text of ") + dateText);
        }
      }
    }
  }
  return faults;
}

// Every day of the valid range is numbered consecutively, and whole-second values
// come back from their text bit for bit: the target time lives as text between
// ticks. Spread over threads to stay quick in instrumented builds.
TEST(DateTimeCalendar, EveryDayIsNumberedAndRoundTripsThroughText) {
  const unsigned threads = std::max(2u, std::thread::hardware_concurrency());
  std::vector<std::pair<long, std::string>> results(threads);
  std::vector<std::thread> workers;
  double firstDay = MinDateTime;
  const int yearsEach = static_cast<int>((9900 + threads - 1) / threads);
  for (int year = 100, i = 0; year <= 9999; ++i) {
    const int last = std::min(9999, year + yearsEach - 1);
    workers.emplace_back([&results, i, year, last, firstDay] { results[i] = SweepYears(year, last, firstDay); });
    for (; year <= last; ++year) firstDay += Leap(year) ? 366 : 365;
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(firstDay, MaxDateTime + 1);
  for (const auto& r : results) EXPECT_EQ(r.first, 0) << "first: " << r.second;
}

TEST(DateTimeCalendar, AnchorsNegativeDaysAndRejectedComponents) {
  EXPECT_EQ(At(1899, 12, 30), 0.0);
  EXPECT_EQ(At(1900, 1, 1), 2.0);
  // Before day 0 the fraction still counts forward from that day's midnight.
  EXPECT_EQ(At(1899, 12, 29, 6), -1.25);
  EXPECT_EQ(SplitDateTime(-1.25), (DateTimeParts{1899, 12, 29, 6, 0, 0}));
  EXPECT_EQ(At(1899, 12, 30, 18), 0.75);
  // The fraction is seconds times the one-second constant, not seconds / 86400.
  EXPECT_EQ(Bits(At(2012, 3, 5, 8, 5, 9)), Bits(At(2012, 3, 5) + (8 * 3600 + 5 * 60 + 9) * kSecondInDays));

  const DateTimeParts rejected[] = {{10000, 1, 1},       {2012, 0, 1},          {2012, 13, 1}, {2012, 4, 31},
                                    {2011, 2, 29},       {1900, 2, 29},         {2012, 3, 0},  {2012, 3, 5, 24},
                                    {2012, 3, 5, 0, 60}, {2012, 3, 5, 0, 0, 60}};
  for (const auto& p : rejected)
    EXPECT_FALSE(BuildDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second))
        << p.year << "-" << p.month << "-" << p.day;
  // Extreme components stay defined (no overflow in the day count) and read clamped.
  const auto low = BuildDateTime(kInt32Min, 1, 1, kInt32Min, 0, 0);
  ASSERT_TRUE(low);
  EXPECT_EQ(SplitDateTime(*low), SplitDateTime(MinDateTime));
}

TEST(DateTimeText, ShapesClampingAndRounding) {
  EXPECT_EQ(DateTimeToText(At(2012, 3, 5)), "2012年3月5日");
  EXPECT_EQ(DateTimeToText(At(2012, 3, 5, 8)), "2012年3月5日8时");
  EXPECT_EQ(DateTimeToText(At(2012, 3, 5, 8, 5)), "2012年3月5日8时5分");
  EXPECT_EQ(DateTimeToText(At(2012, 3, 5, 8, 0, 9)), "2012年3月5日8时0分9秒");
  EXPECT_EQ(DateTimeToText(At(2012, 3, 5, 0, 0, 9)), "2012年3月5日0时0分9秒");

  for (double low : {MinDateTime, -1e300, std::nan("")}) EXPECT_EQ(DateTimeToText(low), "100年1月1日");
  for (double high : {At(9999, 12, 31, 23, 59, 59), HUGE_VAL}) EXPECT_EQ(DateTimeToText(high), "9999年12月31日");

  // Reading rounds to the nearest second: 0.4 s before midnight is the next day.
  const DateTime midnight = At(2012, 3, 6);
  const DateTime justBefore = midnight - 0.4 * kSecondInDays;
  EXPECT_EQ(SplitDateTime(justBefore), (DateTimeParts{2012, 3, 6, 0, 0, 0}));
  EXPECT_EQ(DateOnly(justBefore), midnight);
  EXPECT_EQ(DateTimeToText(justBefore), "2012年3月6日");
  EXPECT_EQ(SplitDateTime(midnight - 0.6 * kSecondInDays), (DateTimeParts{2012, 3, 5, 23, 59, 59}));
  EXPECT_EQ(DateOnly(At(1899, 12, 29, 6)), -1.0);
}

TEST(DateTimeText, DurationCountsOnlyTheTimeOfDay) {
  EXPECT_EQ(DurationSeconds(At(2012, 3, 5, 1, 2, 3)), 3723);
  EXPECT_EQ(DurationSeconds(At(1899, 12, 30, 23, 59, 59)), 86399);
}

TEST(DateTimeParser, AcceptsTheKnownForms) {
  const std::pair<const char*, DateTimeParts> cases[] = {
      {"2012年3月5日", {2012, 3, 5}},
      {"2012-3-5 8:05:09", {2012, 3, 5, 8, 5, 9}},
      {"2012/03/05 08:05:09", {2012, 3, 5, 8, 5, 9}},
      {"2012.3.5.8.5.9", {2012, 3, 5, 8, 5, 9}},
      {"20120305080509", {2012, 3, 5, 8, 5, 9}},  // fields end at their widths
      {"２０１２年３月５日８时", {2012, 3, 5, 8}},
      {"2012-3-5　8:05", {2012, 3, 5, 8, 5}},  // a full-width space after the day
      {"2012年3月5日8时5分3秒 and anything", {2012, 3, 5, 8, 5, 3}},
      {"2012年3月5日8时5", {2012, 3, 5, 8, 5}},
      {"2000年2月29日", {2000, 2, 29}},
      {"1900年1月1日00时00分00秒", {1900, 1, 1}},
      {"2012年3月5日8时5分3\xC3", {2012, 3, 5, 8, 5, 3}},  // 秒 cut to a lone lead byte
  };
  for (const auto& [text, p] : cases) {
    EXPECT_EQ(Bits(Parse(text)), Bits(At(p.year, p.month, p.day, p.hour, p.minute, p.second))) << text;
  }
  EXPECT_EQ(Parse("1900年1月1日00时00分00秒"), 2.0);
  // Times on the first and last day are built as they are; reading clamps them.
  EXPECT_GT(Parse("9999年12月31日23时59分59秒"), MaxDateTime);
  EXPECT_EQ(DateTimeToText(Parse("100年1月1日8时")), "100年1月1日");
}

TEST(DateTimeParser, RejectsToMinDateTime) {
  for (const char* text :
       {"", "abc", "2012年3月5日 8时", "2012年3月5日8时5分3x", "2012年3月5日8时5分3 秒", "20120305080509x", "2012--3-5",
        "2012年2月30日", "2011年2月29日", "1900年2月29日", "12年3月5日", "2012年13月1日", "2012年0月1日",
        "2012年3月0日", "2012年3月5日24时", "2012年3月5日8时60分", "2012年3月5日8时5分60秒"}) {
    EXPECT_EQ(Bits(Parse(text)), Bits(MinDateTime)) << text;
  }
}

TEST(DateTimeParser, StaysInsideItsInput) {
  // Views cut from longer buffers: reading past the cut would meet the "x" and fail.
  const std::string a = "2012年3月5日x", b = "2012年3月5日8时5分3x", c = "2012年";
  EXPECT_EQ(TextToDateTime(std::string_view(a.data(), a.size() - 1)), At(2012, 3, 5));
  EXPECT_EQ(TextToDateTime(std::string_view(b.data(), b.size() - 1)), At(2012, 3, 5, 8, 5, 3));
  EXPECT_EQ(TextToDateTime(std::string_view(c.data(), c.size() - 1)), MinDateTime);
  // The program's texts end at their first zero byte.
  EXPECT_EQ(TextToDateTime(std::string_view("2012年3月5日\0junk", 17)), At(2012, 3, 5));
}

TEST(DateTimeArithmetic, AddSeconds) {
  EXPECT_EQ(SplitDateTime(AddSeconds(At(2012, 3, 5, 8, 5, 9), 86400)), (DateTimeParts{2012, 3, 6, 8, 5, 9}));
  EXPECT_EQ(SplitDateTime(AddSeconds(At(2012, 3, 1), -1)), (DateTimeParts{2012, 2, 29, 23, 59, 59}));
  // Before day 0 the arithmetic goes through the linear form, across day 0 too.
  EXPECT_EQ(SplitDateTime(AddSeconds(At(1899, 12, 28, 6), 86400)), (DateTimeParts{1899, 12, 29, 6, 0, 0}));
  EXPECT_EQ(SplitDateTime(AddSeconds(At(1899, 12, 29, 18), 86400)), (DateTimeParts{1899, 12, 30, 18, 0, 0}));
  EXPECT_EQ(SplitDateTime(AddSeconds(0.25, -86400)), (DateTimeParts{1899, 12, 29, 6, 0, 0}));
  // Zero seconds return the value itself, bit for bit, even outside the range.
  for (double odd : {1e300, -1e300, std::nan("7"), -0.0}) EXPECT_EQ(Bits(AddSeconds(odd, 0)), Bits(odd));
  // Other counts limit the value first but leave the result unlimited.
  EXPECT_EQ(AddSeconds(1e300, 86400), MaxDateTime + 1);
  EXPECT_LT(AddSeconds(MinDateTime, kInt32Min), MinDateTime - 24000);
}

TEST(DateTimeArithmetic, SecondsBetweenRoundsNegativeSpansUpAndSaturates) {
  const DateTime now = At(2012, 3, 5, 8, 5, 9);
  EXPECT_EQ(SecondsBetween(now, now), 0);
  EXPECT_EQ(SecondsBetween(At(2012, 3, 5, 8, 6, 9), now), 60);
  EXPECT_EQ(SecondsBetween(now, At(2012, 3, 5, 8, 6, 9)), -59);
  EXPECT_EQ(SecondsBetween(now, At(2012, 3, 5, 8, 5, 10)), 0);
  EXPECT_EQ(SecondsBetween(At(1899, 12, 30, 6), At(1899, 12, 29, 6)), 86400);
  EXPECT_EQ(SecondsBetween(1e300, MaxDateTime), 0);
  EXPECT_EQ(SecondsBetween(MaxDateTime, MinDateTime), kInt32Max);
  EXPECT_EQ(SecondsBetween(MinDateTime, MaxDateTime), kInt32Min);
}

TEST(DateTimeArithmetic, SaturatingConversions) {
  const std::pair<double, std::int32_t> to32[] = {
      {std::nan(""), 0},          {2147483647.9, kInt32Max},  {2147483648.0, kInt32Max}, {HUGE_VAL, kInt32Max},
      {-2147483648.9, kInt32Min}, {-2147483649.0, kInt32Min}, {-HUGE_VAL, kInt32Min},    {-59.5, -59}};
  for (const auto& [x, expected] : to32) EXPECT_EQ(SaturateToInt32(x), expected) << x;
  constexpr auto max64 = std::numeric_limits<std::int64_t>::max(), min64 = std::numeric_limits<std::int64_t>::min();
  const std::pair<double, std::int64_t> to64[] = {
      {std::nan(""), 0}, {9223372036854775808.0, max64},         {-9223372036854775808.0, min64},
      {-1e300, min64},   {9007199254740993.0, 9007199254740992}, {-3.7, -3}};
  for (const auto& [x, expected] : to64) EXPECT_EQ(SaturateToInt64(x), expected) << x;
}

TEST(NumberText, FoldFullWidth) {
  EXPECT_EQ(FoldFullWidth("２０１２ＡＺａｚ！～"), "2012AZaz!~");
  EXPECT_EQ(FoldFullWidth("\xA1\xA1|\xA1\xAB|\xA1\xEE|\xA1\xEF"), " |~|*|*");
  // Characters are walked whole: the A3 that ends C4 A3 starts nothing.
  EXPECT_EQ(FoldFullWidth("\xC4\xA3\xB0\xB0年\xA3\xA0\xA3\xFF"), "\xC4\xA3\xB0\xB0年\xA3\xA0\xA3\xFF");
  EXPECT_EQ(FoldFullWidth("ab\xA3"), "ab");
  // Folding takes every byte from 0x80 for a lead byte, 0x80 too: A3 B1 is not a digit here.
  EXPECT_EQ(FoldFullWidth("\x80\xA3\xB1"), "\x80\xA3");
  EXPECT_EQ(FoldFullWidth(std::string_view("a\xA3\0\xB1", 4)), "a");
}

TEST(NumberText, TextToLong) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {" 0", 0},
      {"１０", 10},
      {"12abc", 12},
      {"abc", 0},
      {" -7", -7},
      {"\t\n\v\f\r+42", 42},
      {"　－５", -5},
      {"-", 0},
      {"--5", 0},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      // Overlong numbers wrap like the 64-bit accumulator they are read into.
      {"9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      {"18446744073709551617", 1}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(TextToLong(text), expected) << text;
}

TEST(NumberText, NumbersToText) {
  EXPECT_EQ(IntegerToText(kInt32Min), "-2147483648");
  EXPECT_EQ(LongToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  const std::pair<double, const char*> reals[] = {{2.0, "2"},
                                                  {0.1, "0.1"},
                                                  {3600.0, "3600"},
                                                  {1.0 / 3, "0.3333333333333"},
                                                  {123456789012.5, "123456789012.5"},
                                                  {1e13, "1e+13"},
                                                  {0.00001, "1e-05"}};
  for (const auto& [x, text] : reals) EXPECT_EQ(RealToText(x), text);
}

void ThrowReport(const std::string& report) { throw report; }
std::string ReportOf(void (*f)()) {
  try {
    f();
  } catch (const std::string& report) {
    return report;
  }
  return "no report";
}

TEST(Division, TruncatesTowardZeroAndRefusesZero) {
  EXPECT_EQ(WholeQuotient(7200, 3600), 2);
  EXPECT_EQ(WholeQuotient(-90, 60), -1);
  EXPECT_EQ(Remainder(3700, 3600), 100);
  EXPECT_EQ(Remainder(-70, 60), -10);
  EXPECT_EQ(Remainder(5.5, 2), 1.5);
  SetFatalErrorHandler(&ThrowReport);
  EXPECT_EQ(ReportOf([] { WholeQuotient(1, 0); }), FatalReportText("不能整除于零", 0));
  EXPECT_EQ(ReportOf([] { Remainder(1, -0.0); }), FatalReportText("不能求余数于零", 0));
  SetFatalErrorHandler(nullptr);
}

struct FixedClock : Clock {
  DateTimeParts now;
  explicit FixedClock(DateTimeParts p) : now(p) {}
  DateTimeParts LocalNow() const override { return now; }
};

TEST(DateTimeClock, CurrentDateTimeBuildsTheReading) {
  EXPECT_EQ(CurrentDateTime(FixedClock({2012, 3, 5, 8, 5, 9})), At(2012, 3, 5, 8, 5, 9));
  // A reading that is no date still gives a value every operation can read.
  EXPECT_EQ(CurrentDateTime(FixedClock({2012, 2, 30, 0, 0, 0})), MinDateTime);
}

}  // namespace
}  // namespace tolvane
