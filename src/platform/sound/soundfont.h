#pragma once
// Where a General MIDI soundfont is looked for on a Linux desktop: the synthesizer
// that plays MIDI files has no sounds of its own. No system calls.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane::sound {

// The data folders to search, in order: $XDG_DATA_HOME (else ~/.local/share),
// then each of $XDG_DATA_DIRS (else /usr/local/share and /usr/share). Relative
// entries are ignored, as the base-directory rules ask.
std::vector<std::string> SoundFontDataDirs(std::string_view xdgDataHome, std::string_view home,
                                           std::string_view xdgDataDirs);

// The soundfont files to try, best first: the distribution's chosen default in
// every folder (Debian's default-GM.sf2 alternative, the soundfonts/default.sf2
// link of other distributions), then the well-known General MIDI sets by name.
std::vector<std::string> SoundFontCandidates(const std::vector<std::string>& dataDirs);

// The first candidate that is a readable file; nullopt when there is none.
std::optional<std::string> FindSoundFont(const std::vector<std::string>& candidates,
                                         const std::function<bool(const std::string&)>& readable);

}  // namespace tolvane::sound
