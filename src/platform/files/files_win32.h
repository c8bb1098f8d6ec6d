#pragma once
// Real files through the wide-character Windows API; paths convert from GBK so
// names read correctly whatever the system code page.
#include "platform/files/files.h"

namespace tolvane {

class Win32FileSystem final : public FileSystem {
 public:
  std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                         std::size_t maxBytes) const override;
  bool Exists(const std::string& path) const override;
  bool ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) override;
  std::string ProgramDirectory() const override;
  char PathSeparator() const override { return '\\'; }
};

}  // namespace tolvane
