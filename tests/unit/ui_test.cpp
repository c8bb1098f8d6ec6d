// The window model: definition, property semantics, whole-number entry, the
// picker filter and the tray icon keeper.
#include <gtest/gtest.h>

#include <set>

#include "headless/headless_host.h"
#include "platform/messages/fatal.h"
#include "resources/resources.h"
#include "ui/control_names.h"
#include "ui/events.h"
#include "ui/number_entry.h"
#include "ui/tray.h"
#include "ui/window_definition.h"

namespace tolvane::ui {
namespace {

using namespace names;

TEST(WindowDefinition, EveryControlHasAUniqueNameIdAndAKnownParent) {
  std::set<std::string> seen;
  for (const ControlDef& c : MainWindowControls()) {
    if (std::string_view(c.name) == "-") continue;
    EXPECT_TRUE(seen.insert(c.name).second) << c.name;
    if (c.parent[0] != '\0') {
      ASSERT_NE(FindControl(c.parent), nullptr) << c.name;
    }
  }
  EXPECT_EQ(ControlId("标签1"), kFirstControlId);
  EXPECT_EQ(ControlId("没有"), 0);
  // Group box children are placed relative to the frame.
  EXPECT_EQ(ClientRect(*FindControl("标签2")), (Rect{14 + 89, 208 + 169, 327, 40}));
  EXPECT_EQ(ClientRect(*FindControl("编辑框2")), (Rect{14 + 74, 446 + 26, 88, 40}));
  EXPECT_EQ(ClientRect(*FindControl("日期框1")), (Rect{24, 320, 472, 48}));
}

TEST(WindowDefinition, ABrokenTableIsRefused) {
  EXPECT_TRUE(DefinitionIsUsable(MainWindowControls()));
  const ControlDef twice[] = {ControlDef{"按钮1", ControlType::Button, "", {}, ""}, ControlDef{"按钮1", ControlType::Button, "", {}, ""}};
  EXPECT_FALSE(DefinitionIsUsable(twice));
  const ControlDef orphan[] = {ControlDef{"按钮1", ControlType::Button, "分组框9", {}, ""}};
  EXPECT_FALSE(DefinitionIsUsable(orphan));
}

TEST(WindowDefinition, EveryBoundControlExists) {
  for (const Binding& b : BindingTable()) {
    if (b.control == kWindowName) continue;
    EXPECT_NE(FindControl(b.control), nullptr) << b.control;
  }
}

struct ModelFixture : ::testing::Test {
  headless::HeadlessHost host{*BuildDateTime(2026, 1, 1, 0, 0, 0)};
};

TEST(SecondTimer, LeftRunningOnlyWhileItRepeatsEverySecondAndComesOnTime) {
  struct Row {
    std::uint32_t msIntoSecond, armedMs, expected;
  };
  constexpr std::uint32_t kLag = 5, kLast = kLag + kSecondTickSlackMs;
  for (const Row& r : {Row{kLag, 1000, 0}, Row{0, 1000, 0}, Row{kLast, 1000, 0},  // on time: left alone
                       Row{kLag, 640, 1000}, Row{kLast, 0, 1000},                  // on time, other period
                       Row{kLast + 1, 1000, 1000 - (kLast + 1) + kLag},             // strayed: next second
                       Row{999, 1000, 1 + kLag}, Row{1999, 1000, 1 + kLag}}) {      // early: still next second
    EXPECT_EQ(SecondTimerRearmMs(r.msIntoSecond, kLag, r.armedMs), r.expected) << r.msIntoSecond << " " << r.armedMs;
  }
}

TEST_F(ModelFixture, TimerIntervalsKeepTheirPhaseWhenRewrittenWithTheSameValue) {
  struct Counter : EventSink {
    std::vector<std::uint64_t> ticks;
    headless::HeadlessHost* host = nullptr;
    void Run(Operation op, std::int32_t, const EventArgs&) override {
      if (op == Operation::ScheduleTick) ticks.push_back(host->NowMs());
    }
  } counter;
  counter.host = &host;
  host.SetEventSink(&counter);
  host.SetInterval(时钟1, 1000);
  host.Advance(700);
  host.SetInterval(时钟1, 1000);  // same value: no restart
  host.Advance(300);
  ASSERT_EQ(counter.ticks, (std::vector<std::uint64_t>{1000}));
  host.Advance(200);
  host.SetInterval(时钟1, 500);
  host.SetInterval(时钟1, 1000);  // different values: restarted at 1200, and a one-second
  host.Advance(1000);             // timer's first tick comes with the clock's next second
  EXPECT_EQ(counter.ticks, (std::vector<std::uint64_t>{1000, 2000}));
  host.SetInterval(时钟1, -5);  // negative counts as 0: stopped
  EXPECT_EQ(host.Interval(时钟1), 0);
  host.Advance(5000);
  EXPECT_EQ(counter.ticks.size(), 2u);
}

TEST_F(ModelFixture, WindowStateWritesTakeEffectOnlyWhileVisible) {
  host.Minimise();
  host.SetVisible(窗口1, false);
  host.SetWindowState(kStateNormal);
  EXPECT_EQ(host.WindowState(), kStateMinimised);
  host.SetVisible(窗口1, true);
  host.SetWindowState(kStateNormal);
  EXPECT_EQ(host.WindowState(), kStateNormal);
  host.SetWindowState(kStateRestoreCentred);
  EXPECT_TRUE(host.Centred());
}

TEST_F(ModelFixture, WritingCheckedRaisesNoEventButAUserRadioClickDoes) {
  struct Recorder : EventSink {
    std::vector<Operation> ops;
    void Run(Operation op, std::int32_t, const EventArgs&) override { ops.push_back(op); }
  } recorder;
  host.SetEventSink(&recorder);
  host.SetChecked(单选框2, true);
  EXPECT_TRUE(recorder.ops.empty());
  EXPECT_TRUE(host.Checked(单选框1));  // writing is not a click: siblings untouched
  host.Click(单选框5);
  EXPECT_FALSE(host.Checked(单选框1));
  EXPECT_FALSE(host.Checked(单选框2));
  EXPECT_TRUE(host.Checked(单选框7));
  EXPECT_EQ(recorder.ops, (std::vector<Operation>{Operation::SelectAction}));
}

TEST_F(ModelFixture, DialogFilterAlwaysEndsInTwoBars) {
  host.SetDialogFilter(通用对话框1, "声音文件(*.wav)|*.wav");
  EXPECT_EQ(host.State(通用对话框1).filter, "声音文件(*.wav)|*.wav||");
  host.SetDialogFilter(通用对话框1, "a|b||");
  EXPECT_EQ(host.State(通用对话框1).filter, "a|b||");
}

TEST_F(ModelFixture, PropertiesOfADestroyedWindowAreAFatalError) {
  SetFatalErrorHandler([](const std::string& text) { throw std::runtime_error(text); });
  host.CloseWindow();
  host.Click(按钮1);  // the pending destruction happens after a handler
  EXPECT_THROW(host.Caption(标签2), std::runtime_error);
  try {
    host.Caption(标签2);
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("未载入欲访问窗口组件所在的窗口"), std::string::npos);
  }
  SetFatalErrorHandler(nullptr);
}

TEST(NumberEntry, TypedCharactersAreFilteredAndTheTextNormalisedOnLeaving) {
  std::string typed;
  for (char c : std::string("12a3")) {
    if (AcceptTypedCharacter(static_cast<unsigned char>(c))) typed += c;
  }
  EXPECT_EQ(typed, "123");
  EXPECT_TRUE(AcceptTypedCharacter(8));  // backspace
  EXPECT_TRUE(AcceptTypedCharacter('-'));
  EXPECT_FALSE(AcceptTypedCharacter('+'));
  EXPECT_FALSE(AcceptTypedCharacter(0x4E00));
  EXPECT_EQ(NormaliseWholeNumber("007"), "7");
  EXPECT_EQ(NormaliseWholeNumber("0"), "");
  EXPECT_EQ(NormaliseWholeNumber("-0"), "");
  EXPECT_EQ(NormaliseWholeNumber("-5"), "-5");
  EXPECT_EQ(NormaliseWholeNumber("-007"), "-7");
  EXPECT_EQ(NormaliseWholeNumber("12-3"), "12");  // the number ends where the digits do
  EXPECT_EQ(NormaliseWholeNumber("--"), "");
  EXPECT_EQ(NormaliseWholeNumber("99999"), "99999");  // the spin range does not bind typed text
}

TEST(NumberEntry, SpinArrowsWrapAtTheRangeEdges) {
  const SpinRange minutes{0, 1440};
  EXPECT_EQ(SpinWholeNumber("1440", minutes, +1), "0");
  EXPECT_EQ(SpinWholeNumber("", minutes, -1), "1440");
  EXPECT_EQ(SpinWholeNumber("0", minutes, -1), "1440");
  EXPECT_EQ(SpinWholeNumber("0", minutes, +1), "1");
  EXPECT_EQ(SpinWholeNumber("-5", minutes, +1), "0");
  EXPECT_EQ(SpinWholeNumber("5000", minutes, -1), "1440");
  EXPECT_EQ(SpinWholeNumber("9223372036854775807", minutes, +1), "0");
  EXPECT_EQ(SpinWholeNumber("-9223372036854775808", minutes, -1), "1440");
}

TEST(PickerFilter, RaisesOnlyAfterAQuietSpellAndNeverReentrant) {
  PickerChangeFilter filter;
  EXPECT_TRUE(filter.ShouldRaise(1000));
  filter.Record(1000);
  EXPECT_FALSE(filter.ShouldRaise(1100));
  EXPECT_TRUE(filter.ShouldRaise(1101));
  filter.Record(0xFFFFFFF0u);
  EXPECT_FALSE(filter.ShouldRaise(0x10));  // 32 ms across the wrap
  filter.BeginHandler();
  EXPECT_FALSE(filter.ShouldRaise(0x1000));
  filter.EndHandler();
  EXPECT_TRUE(filter.ShouldRaise(0x1000));
}

struct FakeTray : TrayBackend {
  std::vector<TrayCommand> commands;
  std::vector<std::string> tips;
  int created = 0, destroyed = 0;
  IconHandle CreateIcon(ByteView file, int) override {
    if (file.size() < 4) return nullptr;
    return reinterpret_cast<IconHandle>(static_cast<std::uintptr_t>(++created));
  }
  void DestroyIcon(IconHandle) override { ++destroyed; }
  void Notify(TrayCommand c, IconHandle, const std::string& tip) override {
    commands.push_back(c);
    tips.push_back(tip);
  }
};

TEST(Tray, AddsThenModifiesThenDeletesAndOwnsItsHandles) {
  FakeTray backend;
  const std::uint8_t bytes[8] = {};
  {
    TrayIcon tray(backend);
    tray.Set({}, "x");  // no icon, none shown: nothing sent
    EXPECT_TRUE(backend.commands.empty());
    tray.Set(ByteView(bytes), "Tolvane");
    tray.Set(ByteView(bytes), "Tolvane");
    EXPECT_EQ(backend.commands, (std::vector<TrayCommand>{TrayCommand::Add, TrayCommand::Modify}));
    EXPECT_EQ(backend.destroyed, 1);
    tray.AddAgain();
    EXPECT_EQ(backend.commands.back(), TrayCommand::Add);
    tray.Set(ByteView(bytes, 2), "");  // undecodable: the icon is removed
    EXPECT_EQ(backend.commands.back(), TrayCommand::Delete);
    EXPECT_FALSE(tray.Shown());
    EXPECT_EQ(backend.destroyed, 2);
    tray.Set(ByteView(bytes), std::string(70, 'a'));
  }
  EXPECT_EQ(backend.tips.back().size(), kTrayTipBytes);
  EXPECT_EQ(backend.destroyed, backend.created);  // the keeper frees its last icon
}

TEST(Tray, MouseMessagesMapToOperationTypes) {
  EXPECT_EQ(TrayOperationFor(0x0202), 1);
  EXPECT_EQ(TrayOperationFor(0x0203), 2);
  EXPECT_EQ(TrayOperationFor(0x0205), 3);
  EXPECT_EQ(TrayOperationFor(0x007B), 3);
  EXPECT_EQ(TrayOperationFor(0x0200), 0);  // mouse move
  EXPECT_EQ(TrayOperationFor(0x0201), 0);  // left down
}

}  // namespace
}  // namespace tolvane::ui
