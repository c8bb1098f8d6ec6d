#include "platform/messages/messages.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "platform/messages/fatal.h"

namespace tolvane {
namespace {

struct ScriptedBoxes : MessageBoxService {
  int answer = 1;  // IDOK
  std::string text, title;
  std::int32_t style = -1;
  int ShowBox(const std::string& t, const std::string& ti, std::int32_t s) override {
    text = t, title = ti, style = s;
    return answer;
  }
};

TEST(ShowMessage, TitleStyleAndResult) {
  ScriptedBoxes boxes;
  EXPECT_EQ(ShowMessage(boxes, std::string("关机时间设置错误！")), 0);
  EXPECT_EQ(boxes.text, "关机时间设置错误！");
  EXPECT_EQ(boxes.title, "信息：");
  EXPECT_EQ(boxes.style, 0x2000);

  boxes.answer = 2;  // IDCANCEL
  EXPECT_EQ(ShowMessage(boxes, std::string("确定要立即执行操作吗？"), 0x21, std::string("请确认")), 1);
  EXPECT_EQ(boxes.title, "请确认");
  EXPECT_EQ(boxes.style, 0x2021);
  // A system-modal box is not made task-modal as well.
  ShowMessage(boxes, std::string("x"), 0x1021);
  EXPECT_EQ(boxes.style, 0x1021);

  const int expected[] = {0, 0, 1, 2, 3, 4, 5, 6, 0, 0, 0, 0};  // box returns 0 (failed) .. 11
  for (int r = 0; r < 12; ++r) EXPECT_EQ(ButtonResult(r), expected[r]) << r;
}

TEST(ShowMessage, ValuesAreTurnedIntoText) {
  EXPECT_EQ(MessageToText(std::monostate{}), "");
  EXPECT_EQ(MessageToText(std::uint8_t{65}), "65");  // a number, not the letter A
  EXPECT_EQ(MessageToText(std::int16_t{-32768}), "-32768");
  EXPECT_EQ(MessageToText(std::int64_t{-9000000000}), "-9000000000");
  EXPECT_EQ(MessageToText(0.1f), "0.1");
  EXPECT_EQ(MessageToText(1234567.0f), "1.23457e+06");
  EXPECT_EQ(MessageToText(1.0 / 3), "0.3333333333333");
  EXPECT_EQ(MessageToText(true), "真");
  EXPECT_EQ(MessageToText(false), "假");
  EXPECT_EQ(MessageToText(DateTimeValue{2.0}), "1900年1月1日");
  const std::string longText(300, 'x');
  EXPECT_EQ(MessageToText(longText), longText);  // texts are shown whole
}

TEST(FatalReport, Layout) {
  EXPECT_EQ(FatalReportText("", 0), "运行时出错!\r\n\r\n");
  EXPECT_EQ(FatalReportText("分配 64 字节内存失败!", 0), "运行时出错!\r\n\r\n错误信息：分配 64 字节内存失败!\r\n");
  EXPECT_EQ(FatalReportText("坏了", 6), "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：坏了\r\n");
  EXPECT_EQ(FatalReportText("", -3), "运行时出错!\r\n\r\n错误代码：-3\r\n\r\n");
}

void ThrowReport(const std::string& report) { throw report; }
int hookRuns = 0;

TEST(FatalReport, HandlerSeesEveryReportAndTheExitHookRunsOnce) {
  SetFatalErrorHandler(&ThrowReport);
  for (int i = 0; i < 2; ++i) {  // a second report after the first was handled
    try {
      ReportFatalError("坏了", 6);
    } catch (const std::string& report) {
      EXPECT_EQ(report, FatalReportText("坏了", 6));
      continue;
    }
    ADD_FAILURE() << "no report";
  }
  SetFatalErrorHandler(nullptr);

  hookRuns = 0;
  SetBeforeFatalExit([] { ++hookRuns; });
  RunBeforeFatalExit();
  RunBeforeFatalExit();
  EXPECT_EQ(hookRuns, 1);
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
void ShowOnStderr(const std::string& report) { std::fputs(report.c_str(), stderr); }

// The process ends by abort once the report is shown (here on stderr), with nothing shown
// when there is no handler, and also when the handler fails again while showing it.
TEST(FatalReport, ProcessEndsWhenTheHandlerDoesNot) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto aborted = testing::KilledBySignal(SIGABRT);
  EXPECT_EXIT(ReportFatalError("x"), aborted, "^$");
  SetFatalErrorHandler(&ShowOnStderr);
  EXPECT_EXIT(ReportFatalError("x", 6), aborted, "^运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：x\r\n$");
  SetFatalErrorHandler([](const std::string& report) { ShowOnStderr(report), ReportFatalError("again"); });
  EXPECT_EXIT(ReportFatalError("x"), aborted, "^运行时出错!\r\n\r\n错误信息：x\r\n$");
  SetFatalErrorHandler(nullptr);
}
#endif

}  // namespace
}  // namespace tolvane
