#pragma once
// Windows profile (INI) files, read and written by the rules Windows programs and
// hand-edited files rely on:
//   - section and key names match without regard to ASCII case (two-byte GBK
//     characters compare exactly); blanks around names and values are ignored;
//   - a value wrapped in matching quotes (' or ") reads without them;
//   - the first of duplicate sections, and the first of duplicate keys, wins;
//   - lines end in CR LF, LF or CR; ";" lines and lines without "=" are kept
//     as they are and are never taken for keys;
//   - an update touches one line (or adds one): everything else in the file
//     stays byte for byte, and setting the value already there writes nothing.
// Files are GBK. One that starts with a UTF-8 or UTF-16 byte-order mark is read
// in that encoding and written back in it; if it holds characters GBK cannot
// represent it is still read (with '?' for them) but never rewritten, so
// nothing in it is lost.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/files.h"

namespace tolvane {

// A value read is cut to this many bytes, as by a 10240-byte buffer with its
// terminating zero.
inline constexpr std::size_t kProfileValueLimit = 10239;
// The settings file holds four short keys; anything larger is not ours and is
// treated as unreadable (read as missing, never overwritten).
inline constexpr std::size_t kMaxProfileFileBytes = 1024u * 1024u;

enum class ProfileEncoding { Gbk, Utf8, Utf16Le, Utf16Be };

struct ProfileText {
  ProfileEncoding encoding = ProfileEncoding::Gbk;
  std::string text;      // GBK, without the byte-order mark
  bool lossless = true;  // text encodes back to exactly the bytes it came from
};

ProfileText DecodeProfileFile(std::span<const std::uint8_t> bytes);
// The file bytes for text, with the encoding's byte-order mark. *lossless is
// false when text is not valid GBK and the encoding is a Unicode one.
std::vector<std::uint8_t> EncodeProfileFile(ProfileEncoding encoding, std::string_view text,
                                            bool* lossless = nullptr);

// The whole value of key in section (blanks and one pair of matching quotes
// removed), nullopt when the section or the key is not there.
std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section, std::string_view key);

enum class ProfileEdit {
  Unchanged,  // the key already has this value
  Changed,
  Refused,    // names or value that could not be read back as given
};
// Sets key in section to value, adding the key at the end of its section or the
// section at the end of the text. Line breaks inside the value, a key that would
// read as a comment or a section, and the like are refused.
ProfileEdit SetProfileValue(std::string& text, std::string_view section, std::string_view key, std::string_view value);

// Reads one setting. Leading bytes up to 0x20 are skipped in the path, section
// and key; if one of them is then empty the result is empty and nothing is
// read. A missing or unreadable file or key gives the default (without its
// trailing blanks). The result is cut at kProfileValueLimit bytes.
std::string ReadSetting(const FileSystem& files, const std::string& path, const std::string& section,
                        const std::string& key, const std::string& defaultValue);

// Writes one setting, creating the file or section as needed, through an atomic
// replace. False when nothing could be written: the file exists but cannot be
// read, the directory is read-only, the names or value are refused, or a save cut
// short before cannot be finished (FileSystem::FinishInterruptedSave).
bool WriteSetting(FileSystem& files, const std::string& path, const std::string& section, const std::string& key,
                  const std::string& value);

// The same under the profile-API names. Inline on purpose: <windows.h> turns
// WriteProfileString into a macro, which renames an inline function
// consistently but would leave an out-of-line one unresolved.
inline std::string ReadProfileString(const FileSystem& files, const std::string& path, const std::string& section,
                                     const std::string& key, const std::string& defaultValue) {
  return ReadSetting(files, path, section, key, defaultValue);
}
inline bool WriteProfileString(FileSystem& files, const std::string& path, const std::string& section,
                               const std::string& key, const std::string& value) {
  return WriteSetting(files, path, section, key, value);
}

}  // namespace tolvane
