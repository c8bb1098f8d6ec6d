#pragma once
// Message boxes and the fatal error report shown by Windows.
#include "platform/messages/messages.h"

namespace tolvane {

// MessageBoxW with no owner window; texts are converted from GBK.
class Win32MessageBoxService : public MessageBoxService {
 public:
  int ShowBox(const std::string& text, const std::string& title, std::int32_t style) override;
};

// The fatal report as an error box titled "错误"; once it is closed the
// before-exit hook runs and the process ends with exit code -1.
void InstallWin32FatalErrorHandler();

}  // namespace tolvane
