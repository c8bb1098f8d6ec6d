#pragma once
// File access: whole-file reads, an existence test and atomic replacement. The
// Windows and Linux sides work on real files; tests keep files in memory. Paths
// are GBK text with the system's own separator. A name GBK cannot write (a folder
// called 김민수 or Jörg) may still reach the file system in a form of its own
// that only it reads: such a path is opened, never stored or shown as it is.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// Reminder sounds are short clips: 16 MiB holds about a minute and a half of CD
// quality WAVE and any sensible MIDI file. A larger file is taken as unreadable,
// so a wrongly chosen film or disc image is never pulled into memory whole.
inline constexpr std::size_t kMaxSoundFileBytes = 16u * 1024u * 1024u;

// Where a save on Windows keeps the new contents, whole and flushed, until the file
// itself holds them: the file's own name with this after it.
inline constexpr std::string_view kPendingSaveSuffix = ".saving";

// Whether a pending copy last written at `pending` is newer than the file last written
// at `file` (nullopt: there is no file), both in 100 ns steps. It is unless the file
// was written more than kSameSaveWindow after it: a save that writes a file in place
// stamps it moments after its pending copy, and FAT volumes keep times in 2 s steps,
// so times that close (or equal) are one save cut short, while a hand edit after the
// crash comes later. A file copied back from a backup counts by the backup's time.
inline constexpr std::int64_t kSameSaveWindow = 10 * 10'000'000;
constexpr bool PendingCopyIsNewer(std::int64_t pending, std::optional<std::int64_t> file) {
  return !file || *file - pending <= kSameSaveWindow;
}

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The whole file, opened shared for reading only. Missing, unreadable, a
  // directory, or larger than maxBytes: nullopt.
  virtual std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                                 std::size_t maxBytes) const = 0;

  // True when the path names an existing file or directory.
  virtual bool Exists(const std::string& path) const = 0;

  // Writes the bytes to a temporary file beside the target, flushes it to disk
  // and then swaps it in with one rename, so the file on disk is always either
  // the old or the new contents. On failure the old file is untouched and the
  // result is false. On Windows a file with more than one name (hard links) is
  // written in place instead, so every name sees the new contents; the flushed
  // pending copy stays beside it until that write is done, for
  // FinishInterruptedSave to put in place after a crash.
  virtual bool ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) = 0;

  // Finishes a save of the file cut short (a crash, a power loss) after its pending
  // copy was written: a copy newer than the file (PendingCopyIsNewer) takes the
  // file's place, as the save would have put it, and goes; an older one is removed.
  // The settings file alone has a pending copy, and this is called before it is read
  // or saved; reads open only the name they are given. False while a newer copy
  // cannot be put in place: the file may be behind it or half written, and a save
  // must not build on it. Where saves leave no pending copy there is nothing to do.
  virtual bool FinishInterruptedSave(const std::string& path) {
    static_cast<void>(path);
    return true;
  }

  // The directory holding the program file, without a trailing separator.
  virtual std::string ProgramDirectory() const = 0;

  // The character that ends a folder name in a path: "\\" on Windows (a path a user
  // wrote with "/" still shows whole, as it always has), "/" on Linux.
  virtual char PathSeparator() const = 0;

  // The settings file: config.ini beside the program, unless the system keeps
  // a user's settings in a place of its own.
  virtual std::string SettingsPath() const { return ProgramDirectory() + PathSeparator() + "config.ini"; }

  // What the settings can keep of a path that names an existing file: `path` is GBK
  // text that opens the same file (the path itself where GBK writes it), empty when
  // no GBK text does; `shown` is the path as GBK text for the user to read, '?'
  // standing for what GBK cannot write.
  struct KeptPath {
    std::string path;
    std::string shown;
  };
  virtual KeptPath PathToKeep(const std::string& path) const { return {path, ShownPath(path)}; }

  // A path the program keeps, as GBK text for the user to read: the path itself,
  // unless the system keeps names GBK cannot write in a form of its own.
  virtual std::string ShownPath(const std::string& path) const { return path; }
};

}  // namespace tolvane
