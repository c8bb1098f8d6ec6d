// Loading and saving the reminder settings, and choosing the custom sound file.
#include "app/settings.h"

#include "app/program.h"
#include "platform/files/files.h"
#include "platform/files/profile.h"
#include "platform/text/gbk.h"
#include "ui/control_names.h"

namespace tolvane {

using namespace ui::names;

std::string FileNameOfPath(std::string_view path, char separator) {
  const std::size_t last = FindLastGbkChar(path, separator);
  return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

namespace {
constexpr std::int32_t kMbIconWarning = 0x30;
constexpr const char* kSoundNotRemembered =
    "所选声音文件的路径中有无法保存的字符：本次运行会使用它，但下次启动时程序无法找回它。"
    "要让程序记住它，请将文件放到路径只含中文和英文字符的文件夹中后再选择。";

std::string ConfigPath(const FileSystem& files) { return files.SettingsPath(); }

// What 编辑框4 shows for a path: its file name by the system's own separator. Without
// a file system there is no separator to go by, and the path shows whole.
std::string ShownFileName(const FileSystem* files, const std::string& path) {
  return files ? FileNameOfPath(files->ShownPath(path), files->PathSeparator()) : path;
}

std::vector<std::uint8_t> ReadSoundFile(const FileSystem& files, const std::string& path) {
  if (path.empty()) return {};
  auto bytes = files.ReadWholeFile(path, kMaxSoundFileBytes);
  return bytes ? std::move(*bytes) : std::vector<std::uint8_t>{};
}
}  // namespace

void Program::LoadSettings() {
  if (s_.files == nullptr) return;
  FileSystem& files = *s_.files;
  if (!files.Exists(ConfigPath(files))) return;
  customSoundData_ = ReadSoundFile(files, ReadProfileString(files, ConfigPath(files), kSettingsSection, kKeySoundPath, ""));
  host_.SetContent(编辑框3, ReadProfileString(files, ConfigPath(files), kSettingsSection, kKeyInterval, "0"));
  host_.SetContent(编辑框2, ReadProfileString(files, ConfigPath(files), kSettingsSection, kKeyStartMinutes, " 0"));
  customSoundPath_ = ReadProfileString(files, ConfigPath(files), kSettingsSection, kKeySoundPath, "");
  host_.SetContent(编辑框4, ShownFileName(s_.files, customSoundPath_));
  host_.SetChecked(选择框4,
                   ReadProfileString(files, ConfigPath(files), kSettingsSection, kKeyCustomEnabled, "假") == "真");
}

void Program::SaveSettings() {
  if (s_.files == nullptr) return;
  FileSystem& files = *s_.files;
  WriteProfileString(files, ConfigPath(files), kSettingsSection, kKeySoundPath, customSoundPath_);
  WriteProfileString(files, ConfigPath(files), kSettingsSection, kKeyStartMinutes, host_.Content(编辑框2));
  WriteProfileString(files, ConfigPath(files), kSettingsSection, kKeyInterval, host_.Content(编辑框3));
}

void Program::SaveCustomEnabled() {
  if (s_.files == nullptr) return;
  WriteProfileString(*s_.files, ConfigPath(*s_.files), kSettingsSection, kKeyCustomEnabled,
                     host_.Checked(选择框4) ? "真" : "假");
}

void Program::ChooseSoundFile() {
  host_.SetDialogFilter(通用对话框1, "声音文件(*.wav;*.mid;)|*.wav;*.mid;");
  host_.SetDialogInitialDirectory(通用对话框1, customSoundPath_);
  host_.ShowOpenDialog(通用对话框1);
  if (!host_.WindowExists()) return;
  const std::string chosen = host_.DialogFileName(通用对话框1);
  if (chosen.empty()) return;
  customSoundData_ = s_.files ? ReadSoundFile(*s_.files, chosen) : std::vector<std::uint8_t>{};
  if (!customSoundData_.empty()) host_.SetDisabled(按钮4, false);
  // The settings file is GBK: a path it cannot hold is kept by another name for the
  // same file, or not at all; the sound plays either way until the program ends.
  const FileSystem::KeptPath kept = s_.files ? s_.files->PathToKeep(chosen) : FileSystem::KeptPath{chosen, chosen};
  customSoundPath_ = kept.path;
  if (s_.files) WriteProfileString(*s_.files, ConfigPath(*s_.files), kSettingsSection, kKeySoundPath, customSoundPath_);
  host_.SetContent(编辑框4, ShownFileName(s_.files, kept.shown));
  if (kept.path.empty()) {
    ShowMessage(s_.boxes, std::string(kSoundNotRemembered), kMbIconWarning);
  }
}

void Program::PlayCustomSound() { s_.sound.StartSound(ByteView(customSoundData_), false); }

}  // namespace tolvane
