#pragma once
// Real files on Linux through POSIX calls. Paths are GBK inside the program, or a
// file: URI where GBK cannot write the name, and the system's bytes outside;
// settings live beside a portable copy of the program, otherwise in the user's
// configuration folder.
#include "platform/files/files.h"

namespace tolvane {

class LinuxFileSystem final : public FileSystem {
 public:
  std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                         std::size_t maxBytes) const override;
  bool Exists(const std::string& path) const override;
  // Also makes the missing folders of the path (the settings folder on first use).
  // One rename puts the new contents in place, so no pending copy is ever left for
  // FinishInterruptedSave to settle.
  bool ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) override;
  std::string ProgramDirectory() const override;
  char PathSeparator() const override { return '/'; }
  std::string SettingsPath() const override;
  KeptPath PathToKeep(const std::string& path) const override;
  std::string ShownPath(const std::string& path) const override;
};

}  // namespace tolvane
