// The schedule end to end on virtual time: start, refuse, count down, pause,
// cancel, miss the target, and run the action on each of its roads.
#include <gtest/gtest.h>

#include "world.h"

namespace tolvane::testing {
namespace {

using namespace ui::names;

TEST(Schedule, StartsIdleWithTheClockTickingAndTheLayoutsChoices) {
  World w;
  EXPECT_EQ(w.host.Rectangle(窗口1).height, 470);
  EXPECT_EQ(w.host.Interval(时钟1), 1000);
  EXPECT_EQ(w.host.Caption(标签3), "2013年03月13日 00:00:00");  // until the first tick
  w.host.Advance(1000);
  EXPECT_EQ(w.host.Caption(标签3), "2026年12月7日12时0分1秒");
  EXPECT_EQ(w.program.actionCode(), 1);
  EXPECT_FALSE(w.Running());
  EXPECT_TRUE(w.host.Disabled(按钮2));
  EXPECT_TRUE(w.host.Disabled(日期框2));
  EXPECT_EQ(w.host.Value(日期框2), DateOnly(StartMoment()));
  EXPECT_EQ(w.Board(), "倒计时牌");
}

TEST(Schedule, CountdownRunsTheActionOnTheTickThatReadsTheTargetSecond) {
  World w;
  w.host.Click(单选框2);  // restart
  w.StartCountdown(60);
  ASSERT_TRUE(w.Running());
  EXPECT_EQ(w.host.Content(编辑框1), "2026年12月7日12时1分");
  EXPECT_TRUE(w.power.keptAwake);
  w.host.Advance(1000);
  EXPECT_EQ(w.Board(), "0天0小时0分59秒");
  w.host.Advance(29000);
  EXPECT_EQ(w.Board(), "0天0小时0分30秒");
  w.host.Advance(29000);
  EXPECT_EQ(w.Board(), "0天0小时0分1秒");
  EXPECT_TRUE(w.power.requests.empty());
  w.host.Advance(1000);
  ASSERT_EQ(w.power.requests.size(), 1u);
  EXPECT_EQ(w.power.requests[0].code, 2);
  EXPECT_TRUE(w.power.requests[0].force);
  EXPECT_TRUE(w.host.Destroyed());
  EXPECT_FALSE(w.power.keptAwake);
  EXPECT_TRUE(w.boxes.shown.empty());
}

TEST(Schedule, TicksKeepToTheWallClocksSecondsSoTheActionComesAsTheTargetSecondBegins) {
  World w;
  w.host.Advance(1300);  // 12:00:01.3
  w.StartCountdown(5);   // target 12:00:06
  w.host.Advance(1000);
  w.host.PressLabel(标签2);  // pause at 12:00:02.3
  w.host.Advance(2400);
  w.host.PressLabel(标签2);  // resume at 12:00:04.7: two seconds paused, target 12:00:08
  EXPECT_EQ(w.host.Content(编辑框1), "2026年12月7日12时0分8秒");
  w.host.Advance(300);  // the restarted tick waits for the next second, not a whole period
  EXPECT_EQ(w.host.Caption(标签3), "2026年12月7日12时0分5秒");
  w.host.Advance(2999);
  EXPECT_TRUE(w.power.requests.empty());
  w.host.Advance(1);
  EXPECT_EQ(w.power.requests.size(), 1u);
  EXPECT_EQ(w.host.NowMs(), 8000u);
}

TEST(Schedule, RunningLocksTheChoicesAndCancelReturnsEverything) {
  World w;
  w.StartCountdown(120);
  for (auto name : {选择框3, 按钮1, 日期框1, 日期框2, 日期框3, 单选框6, 单选框7, 单选框8, 单选框1, 单选框2, 单选框5, 单选框3,
                    单选框4, 选择框1}) {
    EXPECT_TRUE(w.host.Disabled(name)) << name;
  }
  EXPECT_FALSE(w.host.Disabled(按钮2));
  EXPECT_FALSE(w.host.Disabled(菜单项_取消执行));
  EXPECT_FALSE(w.host.Disabled(选择框2));
  EXPECT_EQ(w.host.TextColour(标签5), kRunningLabelColour);

  w.host.Advance(3000);
  w.host.Click(按钮2);
  EXPECT_FALSE(w.Running());
  EXPECT_EQ(w.Board(), "倒计时牌");
  EXPECT_EQ(w.host.Content(编辑框1), "");
  EXPECT_FALSE(w.host.Disabled(日期框2));
  EXPECT_TRUE(w.host.Disabled(日期框1));  // pickers of unchecked modes stay disabled
  EXPECT_TRUE(w.host.Disabled(菜单项_取消执行));
  EXPECT_EQ(w.host.TextColour(标签8), kIdleLabelColour);
  EXPECT_EQ(w.host.Tag(标签2), "1");
  EXPECT_FALSE(w.power.keptAwake);
  // The same choices start again without new input.
  w.host.Click(按钮1);
  EXPECT_TRUE(w.Running());
  w.host.Advance(120000);
  EXPECT_EQ(w.power.requests.size(), 1u);
}

TEST(Schedule, RefusesATargetLessThanFiveSecondsAhead) {
  World w;
  w.StartCountdown(4);
  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_EQ(w.boxes.shown[0].text, "关机时间设置错误！");
  EXPECT_EQ(w.boxes.shown[0].title, "信息：");
  EXPECT_EQ(w.boxes.shown[0].style, kMbTaskModal);
  EXPECT_FALSE(w.Running());
  EXPECT_FALSE(w.host.Disabled(单选框1));

  w.host.Click(按钮1);  // the same 4 s again
  EXPECT_EQ(w.boxes.shown.size(), 2u);
  w.host.SetValue(日期框2, Duration(5));
  w.host.Click(按钮1);
  EXPECT_EQ(w.boxes.shown.size(), 2u);
  EXPECT_TRUE(w.Running());
}

TEST(Schedule, DateTimeModeInThePastIsRefusedAndReselectingItResetsThePicker) {
  World w;
  w.host.Advance(10000);
  w.host.Click(按钮1);  // 日期框1 still holds the start moment
  EXPECT_EQ(w.boxes.shown.size(), 1u);
  w.host.Click(单选框6);
  w.host.Click(单选框7);
  EXPECT_EQ(w.host.Value(日期框1), AddSeconds(StartMoment(), 10));
  EXPECT_FALSE(w.host.Disabled(日期框1));
  EXPECT_TRUE(w.host.Disabled(日期框2));
  w.host.SetValue(日期框1, AddSeconds(StartMoment(), 3600 * 27 + 10));
  w.host.Click(按钮1);
  EXPECT_TRUE(w.Running());
  w.host.Advance(1000);
  EXPECT_EQ(w.Board(), "1天2小时59分59秒");
}

TEST(Schedule, StartingCollapsesTheExpandedWindow) {
  World w;
  w.host.Click(选择框3);
  EXPECT_EQ(w.host.Rectangle(窗口1).height, 635);
  w.StartCountdown(30);
  EXPECT_EQ(w.host.Rectangle(窗口1).height, 470);
  EXPECT_FALSE(w.host.Checked(选择框3));
}

TEST(Schedule, PausingMovesTheTargetByThePauseAndBlinksTheBoard) {
  World w;
  w.StartCountdown(60);
  w.host.Advance(10000);
  EXPECT_EQ(w.Board(), "0天0小时0分50秒");
  w.host.PressLabel(标签2);
  EXPECT_EQ(w.Board(), "计时暂停中...");
  EXPECT_EQ(w.host.Interval(时钟1), 0);
  std::vector<std::string> blinks;
  for (int i = 0; i < 4; ++i) {
    w.host.Advance(500);
    blinks.push_back(w.Board());
  }
  EXPECT_NE(blinks[0], blinks[1]);
  EXPECT_EQ(blinks[0], blinks[2]);
  EXPECT_TRUE(blinks[0].empty() || blinks[1].empty());
  w.host.Advance(28000);  // 30 s paused in all
  EXPECT_EQ(w.host.Caption(标签3), "2026年12月7日12时0分40秒");  // the clock goes on
  EXPECT_TRUE(w.power.keptAwake);
  w.host.PressLabel(标签2);
  EXPECT_EQ(w.host.Content(编辑框1), "2026年12月7日12时1分30秒");
  w.host.Advance(1000);
  EXPECT_EQ(w.Board(), "0天0小时0分49秒");
  w.host.Advance(49000);
  EXPECT_EQ(w.power.requests.size(), 1u);
}

TEST(Schedule, APressAlwaysPausesARunningBoardEvenAfterACancelledRun) {
  World w;
  w.StartCountdown(60);
  w.host.Click(按钮2);  // no pause: the counter is now odd
  w.host.Click(按钮1);
  w.host.PressLabel(标签2);
  EXPECT_EQ(w.Board(), "计时暂停中...");
  w.host.PressLabel(标签2);
  EXPECT_EQ(w.host.Interval(时钟1), 1000);
  EXPECT_EQ(w.program.pauseStart(), PauseSentinel());
}

TEST(Schedule, DoubleClickPausesOnItsFirstPressAndResumes) {
  World w;
  w.StartCountdown(60);
  w.host.Advance(2000);
  w.host.DoubleClickLabel(标签2);
  EXPECT_EQ(w.host.Interval(时钟1), 1000);
  EXPECT_EQ(w.host.Interval(时钟2), 0);
  EXPECT_EQ(w.host.Tag(标签2), "1");
  EXPECT_TRUE(w.Running());
  // While idle, a double-click only re-applies the running timers.
  w.host.Click(按钮2);
  w.host.DoubleClickLabel(标签2);
  EXPECT_FALSE(w.Running());
  EXPECT_EQ(w.host.Tag(标签2), "2");
}

TEST(Schedule, ATickJitteringOneSecondPastTheTargetStillRunsTheAction) {
  World w;
  w.StartCountdown(10);
  w.host.Advance(9000);  // this tick read 12:00:09, one second before the target
  EXPECT_TRUE(w.power.requests.empty());
  w.host.SetClock(AddSeconds(StartMoment(), 10));  // the clock jumps into the target second
  EXPECT_EQ(w.power.requests.size(), 1u);           // and the tick it brings at once fires
  EXPECT_TRUE(w.boxes.shown.empty());
}

TEST(Schedule, AMissedTargetShowsOneBoxThenCancels) {
  World w;
  w.StartCountdown(10);
  w.host.Advance(3000);
  w.boxes.Answer(1, 5000);                          // the box stays open for five ticks
  w.host.SetClock(AddSeconds(StartMoment(), 60));  // slept past the target: told on waking
  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_EQ(w.boxes.shown[0].atMs, 3000u);
  EXPECT_EQ(w.boxes.shown[0].text, "系统错误！");
  EXPECT_TRUE(w.power.requests.empty());
  EXPECT_FALSE(w.Running());
  EXPECT_FALSE(w.host.Destroyed());
  w.host.Advance(5000);
  EXPECT_EQ(w.boxes.shown.size(), 1u);
}

TEST(Schedule, ExecuteNowDuringARunActsOnTheNextTick) {
  World w;
  w.host.Click(单选框5);  // log off
  w.host.Click(选择框1);  // not forced
  w.StartCountdown(600);
  w.host.Advance(2500);
  w.host.Click(选择框2);
  EXPECT_TRUE(w.power.requests.empty());
  w.host.Advance(500);
  ASSERT_EQ(w.power.requests.size(), 1u);
  EXPECT_EQ(w.power.requests[0].code, 3);
  EXPECT_FALSE(w.power.requests[0].force);
  EXPECT_TRUE(w.host.Destroyed());
}

TEST(Schedule, ExecuteNowWhilePausedWaitsForTheResume) {
  World w;
  w.StartCountdown(600);
  w.host.PressLabel(标签2);
  w.host.Click(选择框2);
  w.host.Advance(5000);
  EXPECT_TRUE(w.power.requests.empty());
  w.host.PressLabel(标签2);
  w.host.Advance(1000);
  EXPECT_EQ(w.power.requests.size(), 1u);
}

TEST(Schedule, ExecuteNowAtStartSkipsTheTargetCheck) {
  World w;
  w.host.Advance(60000);  // 日期框1 now lies in the past
  w.host.Click(单选框3);
  w.host.Click(选择框2);
  w.host.Click(按钮1);
  EXPECT_TRUE(w.boxes.shown.empty());
  ASSERT_EQ(w.power.requests.size(), 1u);
  EXPECT_EQ(w.power.requests[0].code, 4);
  EXPECT_TRUE(w.host.Destroyed());
}

TEST(Schedule, TrayExecuteNowAsksFirst) {
  World w;
  w.StartCountdown(600);
  w.boxes.Answer(2);  // Cancel
  w.host.SelectMenuItem(菜单项_立即执行);
  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_EQ(w.boxes.shown[0].text, "确定要立即执行操作吗？");
  EXPECT_EQ(w.boxes.shown[0].title, "请确认");
  EXPECT_EQ(w.boxes.shown[0].style, 0x2021);
  EXPECT_TRUE(w.Running());
  EXPECT_FALSE(w.host.Checked(选择框2));
  w.boxes.Answer(1);  // OK
  w.host.SelectMenuItem(菜单项_立即执行);
  EXPECT_EQ(w.power.requests.size(), 1u);
  EXPECT_TRUE(w.host.Destroyed());
}

TEST(Schedule, TrayCancelIsTheSameAsTheCancelButtonAndUnavailableWhileIdle) {
  World w;
  w.host.SelectMenuItem(菜单项_取消执行);
  EXPECT_EQ(w.host.Tag(标签2), "");  // disabled: nothing ran
  w.StartCountdown(600);
  w.host.SelectMenuItem(菜单项_取消执行);
  EXPECT_FALSE(w.Running());
  EXPECT_EQ(w.host.Tag(标签2), "1");
}

TEST(Schedule, ARefusedPowerRequestIsReportedBeforeTheProgramCloses) {
  // Refused at once (Windows) or after the user has failed to authenticate (logind).
  for (const std::uint64_t answerAfterMs : {0, 40000}) {
    World w;
    w.power.succeed = false;
    w.power.answerAfterMs = answerAfterMs;
    w.host.Click(单选框4);
    w.StartCountdown(5);
    w.host.Advance(5000 + answerAfterMs - 1);
    EXPECT_TRUE(w.boxes.shown.empty()) << answerAfterMs;
    EXPECT_FALSE(w.host.Destroyed()) << answerAfterMs;
    w.host.Advance(1);
    ASSERT_EQ(w.boxes.shown.size(), 1u) << answerAfterMs;
    EXPECT_NE(w.boxes.shown[0].text.find("无法执行休眠"), std::string::npos);
    EXPECT_NE(w.boxes.shown[0].text.find(w.power.reason), std::string::npos);
    EXPECT_TRUE(w.host.Destroyed());
    EXPECT_EQ(w.power.requests.size(), 1u);
  }
}

// Until the system answers, the window stays and nothing asks again: neither the
// ticks of a schedule that is still running nor a new start; the answer, however
// late, closes the program with no failure shown.
TEST(Schedule, ALateAnswerIsWaitedForWithoutAskingAgain) {
  enum class Road { AtTarget, ExecuteNowDuringRun, ExecuteNowAtStart };
  for (const Road road : {Road::AtTarget, Road::ExecuteNowDuringRun, Road::ExecuteNowAtStart}) {
    SCOPED_TRACE(static_cast<int>(road));
    World w;
    w.power.answerAfterMs = 30000;
    if (road == Road::ExecuteNowAtStart) {
      w.host.Click(选择框2);
      w.host.Click(按钮1);
    } else {
      w.StartCountdown(road == Road::AtTarget ? 5 : 600);
      if (road == Road::ExecuteNowDuringRun) w.host.Click(选择框2);
      w.host.Advance(road == Road::AtTarget ? 5000 : 1000);
    }
    ASSERT_EQ(w.power.requests.size(), 1u);
    const std::uint64_t asked = w.host.NowMs();
    w.host.Advance(10000);
    w.host.Click(按钮1);  // a new start while the answer is awaited
    w.boxes.Answer(0);
    w.host.SelectMenuItem(菜单项_立即执行);
    w.host.Advance(asked + 30000 - w.host.NowMs() - 1);
    EXPECT_FALSE(w.host.Destroyed());
    EXPECT_EQ(w.host.Caption(标签3), DateTimeToText(w.host.Now()));  // the clock goes on
    EXPECT_EQ(w.power.requests.size(), 1u);
    EXPECT_TRUE(w.boxes.shown.empty());
    w.host.Advance(1);
    EXPECT_TRUE(w.host.Destroyed());
    EXPECT_TRUE(w.boxes.shown.empty());
  }
}

TEST(Schedule, IdleModeWaitsForTheUserToStop) {
  World w;
  w.StartIdle(10);
  for (int i = 0; i < 30; ++i) {
    w.host.Advance(500);
    w.host.InputNow();  // typing between ticks
    w.host.Advance(500);
    ASSERT_TRUE(w.power.requests.empty());
  }
  EXPECT_TRUE(w.Board() == "0天0小时0分10秒" || w.Board() == "0天0小时0分9秒") << w.Board();
  w.host.Advance(10000);
  EXPECT_EQ(w.power.requests.size(), 1u);
}

TEST(Schedule, ALostIdleSourceEndsAnIdleScheduleWithABoxAndGreysTheMode) {
  World w;
  w.StartIdle(10);
  w.host.Advance(3000);
  w.host.InputNow();
  w.boxes.Answer(1, 3000);  // the box stays open over three ticks
  w.host.LoseIdleSource();
  w.host.Advance(1000);
  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_NE(w.boxes.shown[0].text.find("空闲"), std::string::npos);
  EXPECT_FALSE(w.Running());
  EXPECT_TRUE(w.host.Disabled(单选框8));
  w.host.Advance(30000);  // long past the last target: nothing fires, no second box
  EXPECT_TRUE(w.power.requests.empty());
  EXPECT_EQ(w.boxes.shown.size(), 1u);

  // Lost while no schedule runs: the mode is greyed on the next tick, and a
  // countdown is not disturbed by it.
  World countdown;
  countdown.StartCountdown(10);
  countdown.host.LoseIdleSource();
  countdown.host.Advance(10000);
  EXPECT_TRUE(countdown.boxes.shown.empty());
  EXPECT_EQ(countdown.power.requests.size(), 1u);
  World waiting;
  waiting.host.LoseIdleSource();
  waiting.host.Advance(1000);
  EXPECT_TRUE(waiting.host.Disabled(单选框8));
}

TEST(Schedule, RadioGroupsAreIndependent) {
  World w;
  w.host.Click(单选框2);
  EXPECT_FALSE(w.host.Checked(单选框1));
  EXPECT_TRUE(w.host.Checked(单选框7));
  EXPECT_EQ(w.program.actionCode(), 2);
  w.host.Click(单选框8);
  EXPECT_TRUE(w.host.Checked(单选框2));
  EXPECT_FALSE(w.host.Checked(单选框7));
}

TEST(Schedule, ChangingTheTargetPickerCopiesItsTextThroughTheFilter) {
  World w;
  w.host.ChangePicker(日期框1, *BuildDateTime(2012, 3, 5, 8, 5, 0));
  EXPECT_EQ(w.host.Content(编辑框1), "2012年3月5日8时5分");
  w.host.Advance(50);
  w.host.ChangePicker(日期框1, *BuildDateTime(2012, 3, 5, 8, 6, 0));  // held spin arrow
  EXPECT_EQ(w.host.Content(编辑框1), "2012年3月5日8时5分");
  w.host.Advance(200);
  w.host.ChangePicker(日期框1, *BuildDateTime(2012, 3, 5, 8, 7, 0));
  EXPECT_EQ(w.host.Content(编辑框1), "2012年3月5日8时7分");
}

TEST(Schedule, FormatRemainingShowsEveryPart) {
  EXPECT_EQ(FormatRemaining(0), "0天0小时0分0秒");
  EXPECT_EQ(FormatRemaining(3725), "0天1小时2分5秒");
  EXPECT_EQ(FormatRemaining(90061), "1天1小时1分1秒");
  EXPECT_EQ(FormatRemaining(2 * 86400 + 3 * 3600), "2天3小时0分0秒");
}

}  // namespace
}  // namespace tolvane::testing

namespace tolvane::testing {
namespace {

using namespace ui::names;

TEST(Schedule, SettingTheClockBackDelaysTheAction) {
  World w;
  w.StartCountdown(30);
  w.host.Advance(10000);
  w.host.SetClock(AddSeconds(StartMoment(), -50));  // an hour's drift corrected backwards
  w.host.Advance(30000);
  EXPECT_TRUE(w.power.requests.empty());
  EXPECT_TRUE(w.Running());
  w.host.Advance(50000);  // the clock reaches the target again
  EXPECT_EQ(w.power.requests.size(), 1u);
  EXPECT_TRUE(w.boxes.shown.empty());
}

TEST(Schedule, EveryActionReachesThePowerServiceWithItsForceSetting) {
  const std::pair<std::string_view, int> radios[] = {{单选框1, 1}, {单选框2, 2}, {单选框5, 3}, {单选框3, 4}, {单选框4, 5}};
  for (const auto& [radio, code] : radios) {
    for (const bool force : {true, false}) {
      World w;
      w.host.Click(radio);
      if (!force) w.host.Click(选择框1);
      w.StartCountdown(6);
      w.host.Advance(6000);
      ASSERT_EQ(w.power.requests.size(), 1u) << code;
      EXPECT_EQ(w.power.requests[0].code, code);
      EXPECT_EQ(w.power.requests[0].force, force);
    }
  }
}

}  // namespace
}  // namespace tolvane::testing
