#pragma once
// Files held in memory for tests and the headless host, with faults on demand:
// unreadable files, read-only directories, and an atomic replace cut short at
// any of its steps, as a crash or a full disk would. A replace takes the steps
// Windows does, through a pending copy, and each file keeps the time it was written.
#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/files.h"

namespace tolvane::headless {

class MemoryFileSystem final : public FileSystem {
 public:
  // Where the next atomic replace stops. A crash leaves the temporary file
  // behind as it was at that moment, or, just before the rename over the file,
  // the new contents whole under the pending name; a refused write or rename
  // cleans up.
  enum class Interruption {
    None,
    CrashAfterCreatingTemporary,
    CrashAfterWritingHalf,
    CrashBeforeRename,
    WriteFails,
    RenameFails,
  };

  explicit MemoryFileSystem(std::string programDirectory = "C:\\Tolvane");

  std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                         std::size_t maxBytes) const override;
  bool Exists(const std::string& path) const override;
  bool ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) override;
  // As on Windows, for a file with one name; a read-only directory keeps the copy.
  bool FinishInterruptedSave(const std::string& path) override;
  std::string ProgramDirectory() const override { return programDirectory_; }
  char PathSeparator() const override { return '\\'; }  // the paths are Windows ones
  // The path itself, unless SetKeptPath said otherwise for it.
  KeptPath PathToKeep(const std::string& path) const override;
  // A path SetKeptPath keeps shows as it said; any other shows as it is.
  std::string ShownPath(const std::string& path) const override;

  // Setting up and inspecting. Paths compare as on Windows: ASCII case ignored,
  // '/' and '\' alike.
  void PutFile(const std::string& path, std::string_view bytes);
  void RemoveFile(const std::string& path);
  // The stored bytes as a string, nullopt when there is no such file.
  std::optional<std::string> FileText(const std::string& path) const;
  void AddDirectory(const std::string& path);
  void SetReadOnlyDirectory(const std::string& directory, bool readOnly = true);
  void SetUnreadable(const std::string& path, bool unreadable = true);
  // What PathToKeep answers for a path, as Windows does for a name GBK cannot write.
  void SetKeptPath(const std::string& path, KeptPath kept);
  void InterruptNextReplace(Interruption where) { interruption_ = where; }
  // Files written from now on are stamped this much later.
  void PassTime(std::chrono::seconds time) { now_ += time.count() * 10'000'000; }

  // Every stored file, by the name it was stored under.
  std::vector<std::string> FilePaths() const;
  int ReadCount() const { return reads_; }
  int ReplaceCount() const { return replaces_; }  // completed replaces only

 private:
  struct File {
    std::string name;  // as given, for listing
    std::vector<std::uint8_t> bytes;
    std::int64_t written = 0;  // in 100 ns steps, kept through a rename
  };
  // Renames the file stored under fromKey over `to`, which keeps its stored name.
  void Move(const std::string& fromKey, const std::string& to);

  std::string programDirectory_;
  std::map<std::string, File> files_;  // by folded path
  std::set<std::string> directories_;
  std::set<std::string> readOnlyDirectories_;
  std::set<std::string> unreadable_;
  std::map<std::string, KeptPath> kept_;
  Interruption interruption_ = Interruption::None;
  int temporaries_ = 0;
  std::int64_t now_ = 0;
  mutable int reads_ = 0;
  int replaces_ = 0;
};

}  // namespace tolvane::headless
