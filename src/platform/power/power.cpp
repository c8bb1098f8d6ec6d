#include "platform/power/power.h"

namespace tolvane {

PowerRequest MapPowerAction(std::int32_t code, bool force, bool ntFamily) {
  PowerRequest request;
  std::uint32_t flags = 0;
  switch (code) {
    case 1:
      // Only the NT family can cut the power itself; elsewhere "shut down" is all there is.
      flags = ntFamily ? kEwxPowerOff : kEwxShutdown;
      break;
    case 2:
      flags = kEwxReboot;
      break;
    case 3:
      flags = kEwxLogoff;
      break;
    case 4:
    case 5:
      request.kind = PowerRequest::Kind::SetPowerState;
      request.suspend = code == 4;
      request.force = force;
      return request;
    default:
      return request;
  }
  request.kind = PowerRequest::Kind::ExitWindows;
  request.exitFlags = force ? (flags | kEwxForce) : flags;
  return request;
}

LogindRequest MapLogindAction(std::int32_t code, bool force) {
  LogindRequest request;
  static constexpr std::string_view kMethods[] = {"PowerOff", "Reboot", "", "Suspend", "Hibernate"};
  if (code == 3) {
    request.kind = LogindRequest::Kind::LogOff;
    request.logoutMode = force ? 2 : 1;
  } else if (code >= 1 && code <= 5) {
    request.kind = LogindRequest::Kind::Manager;
    request.method = kMethods[code - 1];
    request.interactive = !force;
  }
  return request;
}

SuspendCall ChooseSuspendCall(std::uint32_t majorVersion) {
  return majorVersion >= 6 ? SuspendCall::SetSuspendState : SuspendCall::SetSystemPowerState;
}

bool RunPowerAction(PowerSystemCalls& system, std::int32_t code, bool force) {
  if (code < 1 || code > 5) return false;
  if (!system.EnableShutdownPrivilege()) return false;

  // The family only matters for shutting down; other codes do not ask for it.
  const bool ntFamily = code == 1 ? system.IsNtFamily() : true;
  const PowerRequest request = MapPowerAction(code, force, ntFamily);
  if (request.kind == PowerRequest::Kind::ExitWindows) return system.EndSession(request.exitFlags);

  if (ChooseSuspendCall(system.MajorVersion()) == SuspendCall::SetSuspendState) {
    // The power-profile call asks "hibernate?", the kernel call "suspend?".
    if (const auto accepted = system.SetSuspendState(!request.suspend, request.force)) return *accepted;
  }
  return system.SetSystemPowerState(request.suspend, request.force);
}

}  // namespace tolvane
