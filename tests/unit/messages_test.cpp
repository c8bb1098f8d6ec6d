#include "platform/messages/messages.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "platform/messages/fatal.h"

namespace tolvane {
namespace {

class ScriptedBoxes : public MessageBoxService {
 public:
  struct Shown {
    std::string text, title;
    std::int32_t style;
  };
  int answer = 1;  // IDOK
  std::vector<Shown> shown;

  int ShowBox(const std::string& text, const std::string& title, std::int32_t style) override {
    shown.push_back({text, title, style});
    return answer;
  }
};

TEST(ShowMessage, DefaultsToTheInformationTitleAndTaskModal) {
  ScriptedBoxes boxes;
  EXPECT_EQ(ShowMessage(boxes, std::string("关机时间设置错误！")), 0);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "关机时间设置错误！");
  EXPECT_EQ(boxes.shown[0].title, "信息：");
  EXPECT_EQ(boxes.shown[0].style, 0x2000);
}

TEST(ShowMessage, ConfirmationBoxReturnsTheButton) {
  ScriptedBoxes boxes;
  boxes.answer = 2;  // IDCANCEL
  EXPECT_EQ(ShowMessage(boxes, std::string("确定要立即执行操作吗？"), 0x21, std::string("请确认")), 1);
  EXPECT_EQ(boxes.shown[0].title, "请确认");
  EXPECT_EQ(boxes.shown[0].style, 0x2021);
  boxes.answer = 1;
  EXPECT_EQ(ShowMessage(boxes, std::string("确定要立即执行操作吗？"), 0x21, std::string("请确认")), 0);
}

TEST(ShowMessage, SystemModalStyleIsPassedUnchanged) {
  EXPECT_EQ(EffectiveStyle(0x1000), 0x1000);
  EXPECT_EQ(EffectiveStyle(0x1021), 0x1021);
  EXPECT_EQ(EffectiveStyle(0x2000), 0x2000);
  EXPECT_EQ(EffectiveStyle(0x21), 0x2021);
}

TEST(ShowMessage, ButtonResults) {
  const int expected[] = {0, 0, 1, 2, 3, 4, 5, 6, 0};  // box returns 0 (failed) .. 8
  for (int r = 0; r <= 8; ++r) EXPECT_EQ(ButtonResult(r), expected[r]) << r;
  EXPECT_EQ(ButtonResult(-1), 0);
  EXPECT_EQ(ButtonResult(11), 0);  // IDTRYAGAIN and the like are not among the seven
}

TEST(ShowMessage, ValuesAreTurnedIntoText) {
  EXPECT_EQ(MessageToText(std::monostate{}), "");
  EXPECT_EQ(MessageToText(std::uint8_t{255}), "255");  // a number, not a character
  EXPECT_EQ(MessageToText(std::int16_t{-32768}), "-32768");
  EXPECT_EQ(MessageToText(std::int32_t{-7}), "-7");
  EXPECT_EQ(MessageToText(std::int64_t{-9000000000}), "-9000000000");
  EXPECT_EQ(MessageToText(0.1f), "0.1");
  EXPECT_EQ(MessageToText(1234567.0f), "1.23457e+06");
  EXPECT_EQ(MessageToText(1.0 / 3), "0.3333333333333");
  EXPECT_EQ(MessageToText(true), "真");
  EXPECT_EQ(MessageToText(false), "假");
  EXPECT_EQ(MessageToText(DateTimeValue{2.0}), "1900年1月1日");
  const std::string longText(300, 'x');
  EXPECT_EQ(MessageToText(longText), longText);  // texts are not cut
}

TEST(FatalReport, Layout) {
  EXPECT_EQ(FatalReportText("", 0), "运行时出错!\r\n\r\n");
  EXPECT_EQ(FatalReportText("分配 64 字节内存失败!", 0), "运行时出错!\r\n\r\n错误信息：分配 64 字节内存失败!\r\n");
  EXPECT_EQ(FatalReportText("坏了", 6), "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：坏了\r\n");
  EXPECT_EQ(FatalReportText("", -3), "运行时出错!\r\n\r\n错误代码：-3\r\n\r\n");
}

struct FatalSeen {
  std::string report;
};
void ThrowFatal(const std::string& report) { throw FatalSeen{report}; }

int hookRuns = 0;
void CountHook() { ++hookRuns; }

class FatalHandler : public ::testing::Test {
 protected:
  void TearDown() override {
    SetFatalErrorHandler(nullptr);
    SetBeforeFatalExit(nullptr);
  }
};

TEST_F(FatalHandler, ReceivesTheReportEveryTime) {
  SetFatalErrorHandler(&ThrowFatal);
  for (int i = 0; i < 2; ++i) {  // a second report after the first was handled
    try {
      ReportFatalError("坏了", 6);
      FAIL() << "returned";
    } catch (const FatalSeen& seen) {
      EXPECT_EQ(seen.report, FatalReportText("坏了", 6));
    }
  }
}

TEST_F(FatalHandler, BeforeExitHookRunsOnce) {
  hookRuns = 0;
  RunBeforeFatalExit();
  SetBeforeFatalExit(&CountHook);
  RunBeforeFatalExit();
  RunBeforeFatalExit();
  EXPECT_EQ(hookRuns, 1);
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
void ReturningHandler(const std::string&) {}
void ReportingAgainHandler(const std::string&) { ReportFatalError("again"); }

TEST_F(FatalHandler, ProcessEndsWhenTheHandlerDoesNot) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(ReportFatalError("x"), "");
  SetFatalErrorHandler(&ReturningHandler);
  EXPECT_DEATH(ReportFatalError("x"), "");
  // A failure inside the handler ends the process instead of recursing.
  SetFatalErrorHandler(&ReportingAgainHandler);
  EXPECT_DEATH(ReportFatalError("x"), "");
}
#endif

}  // namespace
}  // namespace tolvane
