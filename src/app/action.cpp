// Running the power action: at the target, at once during a run, or at once at start.
#include "app/program.h"
#include "ui/control_names.h"

namespace tolvane {

using namespace ui::names;

namespace {
const char* ActionName(std::int32_t code) {
  switch (code) {
    case 1: return "关机";
    case 2: return "重启";
    case 3: return "注销";
    case 4: return "待机";
    case 5: return "休眠";
    default: return "操作";
  }
}
}  // namespace

// Requests the action; when the system refuses, the user is told which action
// could not be carried out and why, instead of the program closing as if it had.
static bool RequestAndReport(Services& s, std::int32_t code, bool force) {
  if (s.power.RequestPowerAction(code, force)) return true;
  std::string text = std::string("无法执行") + ActionName(code) + "。";
  const std::string reason = s.power.FailureReason();
  if (!reason.empty()) text += "\r\n\r\n" + reason;
  ShowMessage(s.boxes, text, kMbIconError);
  return false;
}

void Program::RequestActionAndClose() {
  RequestAndReport(s_, actionCode_, host_.Checked(选择框1));
  if (host_.WindowExists()) host_.CloseWindow();
}

void Program::RunActionAtTarget() {
  const bool force = host_.Checked(选择框1);
  CancelSchedule();
  RequestAndReport(s_, actionCode_, force);
  if (host_.WindowExists()) host_.CloseWindow();
}

void Program::ExecuteNowDuringRun() {
  RequestAndReport(s_, actionCode_, host_.Checked(选择框1));
  if (!host_.WindowExists()) return;
  CancelSchedule();
  host_.CloseWindow();
}

void Program::ConfirmExecuteNow() {
  const std::int32_t answer = ShowMessage(s_.boxes, std::string("确定要立即执行操作吗？"), kMbOkCancel | kMbIconQuestion,
                                          std::string("请确认"));
  if (answer != 0 || !host_.WindowExists()) return;
  host_.SetChecked(选择框2, true);
  StartSchedule();
}

}  // namespace tolvane
