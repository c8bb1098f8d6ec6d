#include "platform/files/files_win32.h"

#include <windows.h>

#include "platform/text/text_win32.h"
#include "platform/text/utf.h"

namespace tolvane {

namespace {

constexpr char kWidePathMark = '\xFF';

// The marked form's UTF-8, through the code-point codecs the settings reader uses.
std::wstring Utf8ToWide(std::string_view text) {
  bool valid = true;
  std::vector<std::uint8_t> utf16;
  for (const char32_t c : DecodeUtf8({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, &valid)) {
    AppendUtf16(utf16, c, false);
  }
  std::wstring wide(utf16.size() / 2, L'\0');
  for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<wchar_t>(utf16[2 * i] | utf16[2 * i + 1] << 8);
  return wide;
}

std::string WideToUtf8(std::wstring_view text) {
  std::vector<std::uint8_t> utf16;
  for (const wchar_t unit : text) {
    utf16.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    utf16.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  bool valid = true;
  std::vector<std::uint8_t> utf8;
  for (const char32_t c : DecodeUtf16(utf16, false, &valid)) AppendUtf8(utf8, c);
  return std::string(utf8.begin(), utf8.end());
}

std::vector<std::wstring_view> PathComponents(std::wstring_view path) {
  std::vector<std::wstring_view> parts;
  for (;;) {
    const auto slash = path.find_first_of(L"\\/");
    parts.push_back(path.substr(0, slash));
    if (slash == std::wstring_view::npos) return parts;
    path.remove_prefix(slash + 1);
  }
}

// The long path in GBK with the short name standing in for each folder or file name
// GBK cannot write; empty when a short name cannot be written either (the volume
// keeps none, and answers with the long name) or the two paths do not pair up.
std::string GbkPathByShortNames(std::wstring_view longPath, std::wstring_view shortPath) {
  const auto longParts = PathComponents(longPath);
  const auto shortParts = PathComponents(shortPath);
  if (longParts.size() != shortParts.size()) return {};
  std::string kept;
  for (std::size_t i = 0; i < longParts.size(); ++i) {
    bool lossless = true;
    std::string part = WideToGbk(longParts[i], &lossless);
    if (!lossless) part = WideToGbk(shortParts[i], &lossless);
    if (!lossless) return {};
    if (i > 0) kept += '\\';
    kept += part;
  }
  return kept;
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return h_; }
  bool Close() {
    if (!Valid()) return true;
    const bool closed = CloseHandle(h_) != FALSE;
    h_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE h_;
};

// The directory part of a wide path, "." when there is none.
std::wstring DirectoryOf(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  if (slash == 0) return path.substr(0, 1);
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);  // "C:\"
  return path.substr(0, slash);
}

bool WriteAll(HANDLE file, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x10000000u ? 0x10000000u : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes = bytes.subspan(written);
  }
  return true;
}

// Where a save keeps the new contents, whole and flushed, until the file itself
// holds them. A save cut short leaves it behind, for the next start or save.
std::wstring PendingName(const std::wstring& path) {
  return path + std::wstring(kPendingSaveSuffix.begin(), kPendingSaveSuffix.end());
}

// How many names the file has; 1 for a file that is new or cannot be asked.
DWORD LinkCount(const std::wstring& path) {
  Handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.Valid() || !GetFileInformationByHandle(file.Get(), &info)) return 1;
  return info.nNumberOfLinks;
}

bool NameExists(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

// When a file was last written, in 100 ns steps; nullopt when there is none.
std::optional<std::int64_t> LastWritten(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return std::nullopt;
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                                   data.ftLastWriteTime.dwLowDateTime);
}

std::optional<std::vector<std::uint8_t>> ReadWide(const std::wstring& path, std::size_t maxBytes) {
  // Shared for reading only: a file someone is still writing is not read half done.
  Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > maxBytes)
    return std::nullopt;

  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const std::size_t left = bytes.size() - filled;
    const DWORD chunk = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(file.Get(), bytes.data() + filled, chunk, &got, nullptr)) return std::nullopt;
    if (got == 0) break;  // shorter than announced: keep what is there
    filled += got;
  }
  bytes.resize(filled);
  return bytes;
}

enum class Placed { Done, FileUntouched, FileHalfWritten };

// The pending copy, holding `bytes`, takes the target's place. A file with other names
// (a hard link in Scoop's persist folder, say) keeps them only when written in place;
// a rename would leave them with the old contents. A write cut short leaves the file
// half written, and the pending copy stands for it.
Placed PutPendingInPlace(const std::wstring& target, const std::wstring& pending, std::span<const std::uint8_t> bytes) {
  if (LinkCount(target) <= 1) {
    return MoveFileExW(pending.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? Placed::Done
               : Placed::FileUntouched;
  }
  Handle file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.Valid()) return Placed::FileUntouched;
  if (!WriteAll(file.Get(), bytes) || !SetEndOfFile(file.Get()) || !FlushFileBuffers(file.Get()) || !file.Close())
    return Placed::FileHalfWritten;
  DeleteFileW(pending.c_str());
  return Placed::Done;
}

}  // namespace

std::string PathFromWide(std::wstring_view path) {
  bool lossless = true;
  std::string gbk = WideToGbk(path, &lossless);
  if (lossless) return gbk;
  return kWidePathMark + WideToUtf8(path);
}

std::wstring PathToWide(std::string_view path) {
  if (!path.empty() && path.front() == kWidePathMark) return Utf8ToWide(path.substr(1));
  return GbkToWide(path);
}

std::optional<std::vector<std::uint8_t>> Win32FileSystem::ReadWholeFile(const std::string& path,
                                                                        std::size_t maxBytes) const {
  if (path.empty()) return std::nullopt;
  return ReadWide(PathToWide(path), maxBytes);
}

bool Win32FileSystem::Exists(const std::string& path) const { return !path.empty() && NameExists(PathToWide(path)); }

bool Win32FileSystem::FinishInterruptedSave(const std::string& path) {
  if (path.empty()) return true;
  const std::wstring target = PathToWide(path);
  const std::wstring pending = PendingName(target);
  const std::optional<std::int64_t> pendingWritten = LastWritten(pending);
  if (!pendingWritten) return true;
  if (!PendingCopyIsNewer(*pendingWritten, LastWritten(target))) {
    DeleteFileW(pending.c_str());
    return true;
  }
  // Written in place, the file needs the bytes (no file this program saves is larger
  // than a sound file may be); a rename does not.
  std::optional<std::vector<std::uint8_t>> bytes;
  if (LinkCount(target) > 1 && !(bytes = ReadWide(pending, kMaxSoundFileBytes))) return false;
  return PutPendingInPlace(target, pending, bytes ? *bytes : std::vector<std::uint8_t>{}) == Placed::Done;
}

bool Win32FileSystem::ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (path.empty()) return false;
  const std::wstring target = PathToWide(path);
  if (target.empty()) return false;
  const std::wstring pending = PendingName(target);

  // The temporary file lives in the target's directory so the renames stay on one
  // volume and are atomic.
  wchar_t temporary[MAX_PATH];
  if (GetTempFileNameW(DirectoryOf(target).c_str(), L"tlv", 0, temporary) == 0) return false;

  bool done = false;
  {
    Handle file(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    done = file.Valid() && WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get()) && file.Close();
  }
  // Whole and on disk, the new contents take the pending name: from here until the
  // target holds them, a crash leaves them there for FinishInterruptedSave.
  done = done && MoveFileExW(temporary, pending.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!done) {
    DeleteFileW(temporary);
    return false;
  }
  switch (PutPendingInPlace(target, pending, bytes)) {
    case Placed::Done: return true;
    case Placed::FileHalfWritten: return false;  // the pending copy stands for the file
    case Placed::FileUntouched: break;
  }
  // The file stays as it was, and this save is dropped.
  DeleteFileW(pending.c_str());
  return false;
}

std::string Win32FileSystem::ProgramDirectory() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  const auto slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) path.resize(slash);
  return PathFromWide(path);
}

FileSystem::KeptPath Win32FileSystem::PathToKeep(const std::string& path) const {
  if (path.empty() || path.front() != kWidePathMark) return {path, path};
  const std::wstring wide = PathToWide(path);
  KeptPath kept{{}, WideToGbk(wide)};
  const DWORD needed = GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (needed == 0) return kept;
  std::wstring shortPath(needed, L'\0');
  const DWORD length = GetShortPathNameW(wide.c_str(), shortPath.data(), needed);
  if (length == 0 || length >= needed) return kept;
  shortPath.resize(length);
  std::string gbk = GbkPathByShortNames(wide, shortPath);
  // Kept only when it opens again: the next start has nothing else to go by.
  if (gbk.empty() || GetFileAttributesW(GbkToWide(gbk).c_str()) == INVALID_FILE_ATTRIBUTES) return kept;
  kept.path = gbk;
  kept.shown = std::move(gbk);
  return kept;
}

}  // namespace tolvane
