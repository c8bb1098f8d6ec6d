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

// Requests the action and closes the window once the system has answered. The
// answer may come at once (Windows) or much later (logind, after the user has
// authenticated): until it comes the window stays and nothing starts the action
// again. A refusal tells the user which action could not be carried out and why,
// instead of the program closing as if it had run.
void Program::RequestActionThenClose(bool force, bool cancelOnAnswer) {
  actionPending_ = true;
  const std::int32_t code = actionCode_;
  // The wait is over: nothing holds the computer awake against its own action.
  s_.power.KeepSystemAwake(false);
  s_.power.RequestPowerAction(code, force, [this, code, cancelOnAnswer](const PowerAnswer& answer) {
    // A window closed meanwhile has taken the program with it.
    if (host_.WindowExists() && !answer.accepted) {
      std::string text = std::string("无法执行") + ActionName(code) + "。";
      if (!answer.reason.empty()) text += "\r\n\r\n" + answer.reason;
      ShowMessage(s_.boxes, text, kMbIconError);
    }
    actionPending_ = false;
    if (!host_.WindowExists()) return;
    if (cancelOnAnswer) CancelSchedule();
    host_.CloseWindow();
  });
}

void Program::RequestActionAndClose() { RequestActionThenClose(host_.Checked(选择框1), false); }

// At the target, or at once when 立即执行 is ticked during a run: the request goes out
// first and the window is set back afterwards, as resetting some thirty controls takes
// longer than the request itself and the action is due at the start of its second.
// Until the answer the ticks only show the clock, as during any pending request.
void Program::RunScheduledAction() { RequestActionThenClose(host_.Checked(选择框1), true); }

void Program::ConfirmExecuteNow() {
  if (actionPending_) return;
  const std::int32_t answer = ShowMessage(s_.boxes, std::string("确定要立即执行操作吗？"), kMbOkCancel | kMbIconQuestion,
                                          std::string("请确认"));
  if (answer != 0 || !host_.WindowExists()) return;
  host_.SetChecked(选择框2, true);
  StartSchedule();
}

}  // namespace tolvane
