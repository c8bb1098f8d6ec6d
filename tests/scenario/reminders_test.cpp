// Reminders on virtual time: which seconds sound, with which sound, and the
// window brought back and to the front.
#include <gtest/gtest.h>

#include "resources/resources.h"
#include "world.h"

namespace tolvane::testing {
namespace {

using namespace ui::names;

// Remaining seconds at each play, for a countdown started at virtual time 0.
std::vector<int> RemainingAtPlays(const World& w, int countdown) {
  std::vector<int> at;
  for (const auto& play : w.sound.plays) at.push_back(countdown - static_cast<int>(play.atMs / 1000));
  return at;
}

void LoadCustomSound(World& w, std::size_t bytes) {
  std::string wav = "RIFF....WAVE";
  wav.resize(bytes, 'x');
  w.files.PutFile("C:\\声音\\提醒.wav", wav);
  w.host.ScriptDialog("C:\\声音\\提醒.wav");
  w.host.Click(按钮3);
}

TEST(Reminders, DefaultScheduleSoundsTheBuiltInClipInTheLastThirtySeconds) {
  World w;
  w.StartCountdown(60);
  w.host.Advance(60000);
  EXPECT_EQ(RemainingAtPlays(w, 60), (std::vector<int>{30, 20, 10, 5, 4, 3, 2, 1, 0, 0}));
  for (const auto& play : w.sound.plays) EXPECT_EQ(play.bytes, resources::builtinClip().size());
  EXPECT_EQ(w.power.requests.size(), 1u);
}

TEST(Reminders, DefaultScheduleIgnoresACustomSound) {
  World w;
  LoadCustomSound(w, 5000);
  w.StartCountdown(12);
  w.host.Advance(12000);
  ASSERT_FALSE(w.sound.plays.empty());
  for (const auto& play : w.sound.plays) EXPECT_EQ(play.bytes, resources::builtinClip().size());
}

TEST(Reminders, CustomScheduleSoundsEveryMSecondsFromNMinutesWithTheChosenFile) {
  World w;
  LoadCustomSound(w, 5000);
  w.host.Click(选择框4);
  w.host.SetContent(编辑框2, "2");
  w.host.SetContent(编辑框3, "30");
  w.StartCountdown(180);
  w.host.Advance(180000);
  EXPECT_EQ(RemainingAtPlays(w, 180), (std::vector<int>{120, 90, 60, 30, 5, 4, 3, 2, 1, 0, 0}));
  for (const auto& play : w.sound.plays) EXPECT_EQ(play.bytes, 5000u);
}

TEST(Reminders, CustomScheduleWithoutAFileUsesTheBuiltInClip) {
  World w;
  w.host.Click(选择框4);
  w.host.SetContent(编辑框2, " 1分");  // read as 1
  w.host.SetContent(编辑框3, "20");
  w.StartCountdown(90);
  w.host.Advance(90000);
  EXPECT_EQ(RemainingAtPlays(w, 90), (std::vector<int>{60, 40, 20, 5, 4, 3, 2, 1, 0, 0}));
  EXPECT_EQ(w.sound.plays[0].bytes, resources::builtinClip().size());
}

TEST(Reminders, NZeroSoundsOnlyAtTheTargetSecond) {
  World w;
  w.host.Click(选择框4);
  w.host.SetContent(编辑框3, "7");
  w.StartCountdown(30);
  w.host.Advance(30000);
  EXPECT_EQ(RemainingAtPlays(w, 30), (std::vector<int>{0, 0}));
}

TEST(Reminders, IntervalZeroLeavesOnlyTheFinalSecondsAndTheActionStillRuns) {
  World w;
  w.host.Click(选择框4);
  w.host.SetContent(编辑框2, "1");
  w.host.SetContent(编辑框3, "");
  w.StartCountdown(30);
  w.host.Advance(30000);
  EXPECT_EQ(RemainingAtPlays(w, 30), (std::vector<int>{5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(w.power.requests.size(), 1u);
}

TEST(Reminders, AHiddenWindowComesBackAndStaysOnTopInTheLastSeconds) {
  World w;
  w.StartCountdown(40);
  w.host.Minimise();
  ASSERT_FALSE(w.host.Visible(窗口1));
  w.host.Advance(10000);  // R = 30
  EXPECT_TRUE(w.host.Visible(窗口1));
  EXPECT_EQ(w.host.WindowState(), ui::kStateNormal);
  EXPECT_FALSE(w.host.AlwaysOnTop());
  EXPECT_EQ(w.host.Activations(), 0);
  w.host.Minimise();
  w.host.Advance(25000);  // R = 5
  EXPECT_TRUE(w.host.Visible(窗口1));
  EXPECT_TRUE(w.host.AlwaysOnTop());
  EXPECT_EQ(w.host.Activations(), 1);
  w.host.Advance(1000);
  w.host.Click(按钮2);
  EXPECT_FALSE(w.host.AlwaysOnTop());
  // The notice a desktop may show instead tells the action and the seconds, and goes with the schedule.
  EXPECT_EQ(w.host.Notices(), (std::vector<std::string>{"5秒后关机", "4秒后关机", ""}));
}

TEST(Reminders, TheFinalSecondsNoticeNamesTheChosenActionAndEndsWithIt) {
  World w;
  w.host.Click(单选框3);  // standby
  w.StartCountdown(7);
  w.host.Advance(7000);
  EXPECT_EQ(w.host.Notices(), (std::vector<std::string>{"5秒后待机", "4秒后待机", "3秒后待机", "2秒后待机", "1秒后待机",
                                                        "0秒后待机", ""}));
  EXPECT_EQ(w.power.requests.size(), 1u);
  EXPECT_EQ(FinalSecondsNotice(2, -3600), "0秒后重启");  // woken long after the target
}

TEST(Reminders, IdleModeHeldAtAMultipleOfTenSoundsOnEveryTick) {
  World w;
  w.StartIdle(20);
  for (int i = 0; i < 6; ++i) {
    w.host.Advance(500);
    w.host.InputNow();
    w.host.Advance(500);
  }
  EXPECT_EQ(w.sound.plays.size(), 6u);  // each tick re-arms R to 20
  EXPECT_TRUE(w.power.requests.empty());
}

TEST(Reminders, AWakeLongAfterTheTargetPromptsThenReportsTheMiss) {
  World w;
  w.StartCountdown(60);
  w.host.Advance(2000);
  w.host.SetClock(AddSeconds(StartMoment(), 3600));
  w.host.Advance(1000);
  EXPECT_FALSE(w.sound.plays.empty());
  EXPECT_TRUE(w.host.AlwaysOnTop() == false);  // cancelled after the box
  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_EQ(w.boxes.shown[0].text, "系统错误！");
  EXPECT_GT(w.host.Activations(), 0);
}

}  // namespace
}  // namespace tolvane::testing
