#pragma once
// Message boxes on a Linux desktop: GTK message dialogs with the same texts,
// titles, buttons and answers as the Windows boxes.
#include "platform/messages/messages.h"

namespace tolvane {

class LinuxMessageBoxService final : public MessageBoxService {
 public:
  int ShowBox(const std::string& text, const std::string& title, std::int32_t style) override;
};

// Shows the fatal error report in a dialog titled "错误" and ends the process.
void InstallLinuxFatalErrorHandler();

}  // namespace tolvane
