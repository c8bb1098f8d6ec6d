#pragma once
// The fatal error report: explains a run-time failure in a fixed layout and ends
// the process. The host installs how the report is shown and how the process ends.
#include <cstdint>
#include <string>

namespace tolvane {

// "运行时出错!" followed by the code and the message, as the report box shows it.
std::string FatalReportText(const std::string& message, std::int32_t code);

using FatalErrorHandler = void (*)(const std::string& reportText);

// The handler shows the report and ends the process; if it returns, the process
// is aborted. Without a handler the process aborts at once.
void SetFatalErrorHandler(FatalErrorHandler handler);
[[noreturn]] void ReportFatalError(const std::string& message, std::int32_t code = 0);

// Run by the host's handler once the report box is closed and before the process
// ends, so that sounds still playing are stopped first.
void SetBeforeFatalExit(void (*hook)());
void RunBeforeFatalExit();

}  // namespace tolvane
