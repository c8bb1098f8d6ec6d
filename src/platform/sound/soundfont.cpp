#include "platform/sound/soundfont.h"

#include <array>
#include <span>

namespace tolvane::sound {
namespace {

void AddAbsolute(std::vector<std::string>& dirs, std::string_view dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.remove_suffix(1);
  if (dir.empty() || dir.front() != '/') return;
  for (const auto& known : dirs) {
    if (known == dir) return;
  }
  dirs.emplace_back(dir);
}

// Each distribution's own choice first: on Debian an alternative the soundfont
// packages register, elsewhere a link the administrator sets.
constexpr std::array<std::string_view, 3> kDefaults = {"sounds/sf2/default-GM.sf2", "soundfonts/default.sf2",
                                                       "sounds/sf2/default.sf2"};
constexpr std::array<std::string_view, 6> kKnownSets = {
    "sounds/sf2/FluidR3_GM.sf2", "soundfonts/FluidR3_GM.sf2", "sounds/sf2/TimGM6mb.sf2",
    "soundfonts/TimGM6mb.sf2",   "sounds/sf2/GeneralUser_GS.sf2", "soundfonts/GeneralUser_GS.sf2"};

}  // namespace

std::vector<std::string> SoundFontDataDirs(std::string_view xdgDataHome, std::string_view home,
                                           std::string_view xdgDataDirs) {
  std::vector<std::string> dirs;
  if (!xdgDataHome.empty() && xdgDataHome.front() == '/') {
    AddAbsolute(dirs, xdgDataHome);
  } else if (!home.empty()) {
    AddAbsolute(dirs, std::string(home) + "/.local/share");
  }
  if (xdgDataDirs.empty()) xdgDataDirs = "/usr/local/share:/usr/share";
  while (!xdgDataDirs.empty()) {
    const auto colon = xdgDataDirs.find(':');
    AddAbsolute(dirs, xdgDataDirs.substr(0, colon));
    xdgDataDirs.remove_prefix(colon == std::string_view::npos ? xdgDataDirs.size() : colon + 1);
  }
  return dirs;
}

std::vector<std::string> SoundFontCandidates(const std::vector<std::string>& dataDirs) {
  std::vector<std::string> files;
  for (const auto& names : {std::span<const std::string_view>(kDefaults), std::span<const std::string_view>(kKnownSets)}) {
    for (const auto& dir : dataDirs) {
      for (const auto name : names) files.push_back(dir + "/" + std::string(name));
    }
  }
  return files;
}

std::optional<std::string> FindSoundFont(const std::vector<std::string>& candidates,
                                         const std::function<bool(const std::string&)>& readable) {
  for (const auto& file : candidates) {
    if (readable(file)) return file;
  }
  return std::nullopt;
}

}  // namespace tolvane::sound
