#pragma once
// The reminder settings in config.ini beside the program.
#include <string>
#include <string_view>

namespace tolvane {

inline constexpr const char* kSettingsSection = "系统设置";
inline constexpr const char* kKeySoundPath = "自定提示声";
inline constexpr const char* kKeyInterval = "提示间隔";
inline constexpr const char* kKeyStartMinutes = "提示开始";
inline constexpr const char* kKeyCustomEnabled = "启用自定义";

// The part of a GBK path after its last separator; a trail byte equal to it is never
// taken for a separator. The whole path when there is none.
std::string FileNameOfPath(std::string_view path, char separator);

}  // namespace tolvane
