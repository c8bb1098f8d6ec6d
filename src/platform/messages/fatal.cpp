#include "platform/messages/fatal.h"

#include <atomic>
#include <cstdlib>

#include "platform/datetime/datetime.h"

namespace tolvane {

namespace {
// Sound threads may fail too, so both hooks are read and written atomically.
std::atomic<FatalErrorHandler> fatalHandler{nullptr};
std::atomic<void (*)()> beforeExitHook{nullptr};
// A failure while the report itself is being shown must not recurse forever.
thread_local bool reporting = false;
}  // namespace

std::string FatalReportText(const std::string& message, std::int32_t code) {
  std::string text = "运行时出错!\r\n\r\n";
  if (code != 0) text += "错误代码：" + IntegerToText(code) + "\r\n\r\n";
  if (!message.empty()) text += "错误信息：" + message + "\r\n";
  return text;
}

void SetFatalErrorHandler(FatalErrorHandler handler) { fatalHandler.store(handler); }

void SetBeforeFatalExit(void (*hook)()) { beforeExitHook.store(hook); }

void RunBeforeFatalExit() {
  if (auto hook = beforeExitHook.exchange(nullptr)) hook();
}

void ReportFatalError(const std::string& message, std::int32_t code) {
  if (reporting) std::abort();
  if (const FatalErrorHandler handler = fatalHandler.load()) {
    // Cleared again if the handler leaves by an exception (as test handlers do).
    struct Guard {
      Guard() { reporting = true; }
      ~Guard() { reporting = false; }
    } guard;
    handler(FatalReportText(message, code));
  }
  std::abort();
}

}  // namespace tolvane
