#include "headless/memory_files.h"

#include <utility>

#include "platform/text/gbk.h"

namespace tolvane::headless {

namespace {

// The comparison key of a path: ASCII letters folded and separators unified,
// stepping over two-byte GBK characters so their trail bytes stay as they are.
std::string Fold(std::string_view path) {
  std::string key;
  key.reserve(path.size());
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t length = GbkCharLength(path, i);
    const char c = path[i];
    if (length == 2) {
      key.append(path.substr(i, 2));
    } else if (c >= 'A' && c <= 'Z') {
      key.push_back(static_cast<char>(c - 'A' + 'a'));
    } else {
      key.push_back(c == '/' ? '\\' : c);
    }
    i += length;
  }
  while (key.size() > 1 && key.back() == '\\') key.pop_back();
  return key;
}

// The folded directory part of a folded path, empty when there is none.
std::string DirectoryOf(const std::string& folded) {
  const std::size_t last = FindLastGbkChar(folded, '\\');
  return last == std::string::npos ? std::string() : folded.substr(0, last);
}

}  // namespace

MemoryFileSystem::MemoryFileSystem(std::string programDirectory) : programDirectory_(std::move(programDirectory)) {
  AddDirectory(programDirectory_);
}

std::optional<std::vector<std::uint8_t>> MemoryFileSystem::ReadWholeFile(const std::string& path,
                                                                        std::size_t maxBytes) const {
  ++reads_;
  const std::string key = Fold(path);
  const auto it = files_.find(key);
  if (it == files_.end() || unreadable_.count(key) || it->second.bytes.size() > maxBytes) return std::nullopt;
  return it->second.bytes;
}

bool MemoryFileSystem::Exists(const std::string& path) const {
  if (path.empty()) return false;
  const std::string key = Fold(path);
  return files_.count(key) > 0 || directories_.count(key) > 0;
}

bool MemoryFileSystem::ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  const Interruption interruption = std::exchange(interruption_, Interruption::None);
  const std::string key = Fold(path);
  if (path.empty() || directories_.count(key) || readOnlyDirectories_.count(DirectoryOf(key))) return false;

  const std::string temporaryName = path + ".~" + std::to_string(++temporaries_) + ".tmp";
  const std::string temporaryKey = Fold(temporaryName);
  File& temporary = files_[temporaryKey];
  temporary.name = temporaryName;
  if (interruption == Interruption::CrashAfterCreatingTemporary) return false;

  temporary.bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
  if (interruption == Interruption::CrashAfterWritingHalf) return false;
  if (interruption == Interruption::WriteFails) {
    files_.erase(temporaryKey);
    return false;
  }

  temporary.bytes.assign(bytes.begin(), bytes.end());
  temporary.written = now_;
  // Whole, the new contents take the pending name until they take the file's place.
  const std::string pending = path + std::string(kPendingSaveSuffix);
  Move(temporaryKey, pending);
  if (interruption == Interruption::CrashBeforeRename) return false;
  if (interruption == Interruption::RenameFails) {
    files_.erase(Fold(pending));
    return false;
  }
  Move(Fold(pending), path);
  ++replaces_;
  return true;
}

bool MemoryFileSystem::FinishInterruptedSave(const std::string& path) {
  const std::string pendingKey = Fold(path + std::string(kPendingSaveSuffix));
  const auto pending = files_.find(pendingKey);
  if (pending == files_.end()) return true;
  const auto file = files_.find(Fold(path));
  const bool newer = PendingCopyIsNewer(
      pending->second.written, file != files_.end() ? std::optional(file->second.written) : std::nullopt);
  if (readOnlyDirectories_.count(DirectoryOf(Fold(path)))) return !newer;
  if (newer) {
    Move(pendingKey, path);
  } else {
    files_.erase(pending);
  }
  return true;
}

void MemoryFileSystem::Move(const std::string& fromKey, const std::string& to) {
  File moved = std::move(files_.at(fromKey));
  files_.erase(fromKey);
  const auto existing = files_.find(Fold(to));
  moved.name = existing != files_.end() ? existing->second.name : to;
  files_[Fold(to)] = std::move(moved);
}

void MemoryFileSystem::PutFile(const std::string& path, std::string_view bytes) {
  files_[Fold(path)] = File{path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), now_};
}

void MemoryFileSystem::RemoveFile(const std::string& path) { files_.erase(Fold(path)); }

std::optional<std::string> MemoryFileSystem::FileText(const std::string& path) const {
  const auto it = files_.find(Fold(path));
  if (it == files_.end()) return std::nullopt;
  return std::string(it->second.bytes.begin(), it->second.bytes.end());
}

void MemoryFileSystem::AddDirectory(const std::string& path) { directories_.insert(Fold(path)); }

void MemoryFileSystem::SetReadOnlyDirectory(const std::string& directory, bool readOnly) {
  if (readOnly) {
    readOnlyDirectories_.insert(Fold(directory));
  } else {
    readOnlyDirectories_.erase(Fold(directory));
  }
}

void MemoryFileSystem::SetUnreadable(const std::string& path, bool unreadable) {
  if (unreadable) {
    unreadable_.insert(Fold(path));
  } else {
    unreadable_.erase(Fold(path));
  }
}

void MemoryFileSystem::SetKeptPath(const std::string& path, KeptPath kept) { kept_[Fold(path)] = std::move(kept); }

FileSystem::KeptPath MemoryFileSystem::PathToKeep(const std::string& path) const {
  const auto it = kept_.find(Fold(path));
  return it != kept_.end() ? it->second : KeptPath{path, path};
}

std::string MemoryFileSystem::ShownPath(const std::string& path) const {
  for (const auto& [chosen, kept] : kept_) {
    if (!kept.path.empty() && Fold(kept.path) == Fold(path)) return kept.shown;
  }
  return path;
}

std::vector<std::string> MemoryFileSystem::FilePaths() const {
  std::vector<std::string> paths;
  for (const auto& [key, file] : files_) paths.push_back(file.name);
  return paths;
}

}  // namespace tolvane::headless
