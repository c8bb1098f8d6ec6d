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
#include <vector>

namespace tolvane {

// Reminder sounds are short clips: 16 MiB holds about a minute and a half of CD
// quality WAVE and any sensible MIDI file. A larger file is taken as unreadable,
// so a wrongly chosen film or disc image is never pulled into memory whole.
inline constexpr std::size_t kMaxSoundFileBytes = 16u * 1024u * 1024u;

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
  // copy stays beside it until that write is done, and reads take that copy for
  // the file, so a crash in between loses nothing.
  virtual bool ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) = 0;

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
