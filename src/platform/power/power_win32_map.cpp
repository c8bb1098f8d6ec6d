#include "platform/power/power_win32_map.h"

namespace tolvane {

PowerRequest MapPowerAction(std::int32_t code, bool force, bool ntFamily) {
  PowerRequest request;
  std::uint32_t flags = 0;
  switch (code) {
    case kShutDown:
      // Only the NT family can cut the power itself; elsewhere "shut down" is all there is.
      flags = ntFamily ? kEwxPowerOff : kEwxShutdown;
      break;
    case kRestart:
      flags = kEwxReboot;
      break;
    case kLogOff:
      flags = kEwxLogoff;
      break;
    case kStandby:
    case kHibernate:
      request.kind = PowerRequest::Kind::SetPowerState;
      request.suspend = code == kStandby;
      request.force = force;
      return request;
    default:
      return request;
  }
  request.kind = PowerRequest::Kind::ExitWindows;
  request.exitFlags = force ? (flags | kEwxForce) : flags;
  return request;
}

SuspendCall ChooseSuspendCall(std::uint32_t majorVersion) {
  return majorVersion >= 6 ? SuspendCall::SetSuspendState : SuspendCall::SetSystemPowerState;
}

bool RunPowerAction(PowerSystemCalls& system, std::int32_t code, bool force) {
  if (!IsPowerActionCode(code)) return false;
  if (!system.EnableShutdownPrivilege()) return false;

  // The family only matters for shutting down; other codes do not ask for it.
  const bool ntFamily = code == kShutDown ? system.IsNtFamily() : true;
  const PowerRequest request = MapPowerAction(code, force, ntFamily);
  if (request.kind == PowerRequest::Kind::ExitWindows) return system.EndSession(request.exitFlags);

  if (ChooseSuspendCall(system.MajorVersion()) == SuspendCall::SetSuspendState) {
    // The power-profile call asks "hibernate?", the kernel call "suspend?".
    if (const auto accepted = system.SetSuspendState(!request.suspend, request.force)) return *accepted;
  }
  return system.SetSystemPowerState(request.suspend, request.force);
}

}  // namespace tolvane
