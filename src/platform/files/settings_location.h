#pragma once
// Where config.ini lives on a Linux desktop. No system calls: the caller finds out
// what the rule needs to know.
#include <string>
#include <string_view>

namespace tolvane {

// Beside the program when its folder is writable (a portable copy, which keeps
// its settings with it), else $XDG_CONFIG_HOME/tolvane/config.ini, with
// ~/.config standing in for an unset or relative $XDG_CONFIG_HOME. A program in
// the system's own folders (/usr, /bin, /sbin) was installed by a package and is
// never a portable copy, even for root, who may write there. Paths are the
// system's own bytes; empty when no folder can be named.
std::string ChooseSettingsPath(std::string_view programDir, bool programDirWritable, std::string_view xdgConfigHome,
                               std::string_view home);

}  // namespace tolvane
