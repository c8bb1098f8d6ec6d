#include "platform/files/settings_location.h"

#include <array>

namespace tolvane {
namespace {

bool UnderSystemFolder(std::string_view dir) {
  constexpr std::array<std::string_view, 3> kSystem = {"/usr", "/bin", "/sbin"};
  for (const auto folder : kSystem) {
    if (dir.starts_with(folder) && (dir.size() == folder.size() || dir[folder.size()] == '/')) return true;
  }
  return false;
}

}  // namespace

std::string ChooseSettingsPath(std::string_view programDir, bool programDirWritable, std::string_view xdgConfigHome,
                               std::string_view home) {
  if (!programDir.empty() && programDirWritable && !UnderSystemFolder(programDir)) {
    return std::string(programDir == "/" ? "" : programDir) + "/config.ini";
  }
  std::string base;
  if (xdgConfigHome.starts_with('/')) {
    base = xdgConfigHome;
  } else if (home.starts_with('/')) {
    base = std::string(home) + "/.config";
  } else {
    return {};
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return (base == "/" ? "" : base) + "/tolvane/config.ini";
}

}  // namespace tolvane
