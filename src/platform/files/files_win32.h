#pragma once
// Real files through the wide-character Windows API; paths convert from GBK so
// names read correctly whatever the system code page.
#include <string>
#include <string_view>

#include "platform/files/files.h"

namespace tolvane {

// A path as the program carries it: GBK text where GBK can write every character;
// otherwise the byte 0xFF (which starts no GBK text) and then the path in UTF-8,
// which only these functions and the file system read. So a program folder named
// 김민수 still opens its settings file, and a chosen sound file in it still plays.
std::string PathFromWide(std::wstring_view path);
std::wstring PathToWide(std::string_view path);

class Win32FileSystem final : public FileSystem {
 public:
  std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                         std::size_t maxBytes) const override;
  bool Exists(const std::string& path) const override;
  bool ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) override;
  bool FinishInterruptedSave(const std::string& path) override;
  std::string ProgramDirectory() const override;
  char PathSeparator() const override { return '\\'; }
  // A path GBK cannot write is kept by its short (8.3) names: the long name of each
  // folder and of the file where GBK writes it, the short one where it cannot. A
  // volume without short names leaves nothing to keep.
  KeptPath PathToKeep(const std::string& path) const override;
};

}  // namespace tolvane
