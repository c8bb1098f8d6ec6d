#include "platform/power/power_linux_map.h"

namespace tolvane {

LogindRequest MapLogindAction(std::int32_t code, bool force) {
  LogindRequest request;
  static constexpr std::string_view kMethods[] = {"PowerOff", "Reboot", "", "Suspend", "Hibernate"};
  if (code == kLogOff) {
    request.kind = LogindRequest::Kind::LogOff;
    request.logoutMode = force ? 2 : 1;
  } else if (IsPowerActionCode(code)) {
    request.kind = LogindRequest::Kind::Manager;
    request.method = kMethods[code - kShutDown];
    request.interactive = !force;
  }
  return request;
}

}  // namespace tolvane
