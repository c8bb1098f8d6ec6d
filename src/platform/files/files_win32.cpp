#include "platform/files/files_win32.h"

#include <windows.h>

#include "platform/text/text_win32.h"

namespace tolvane {

namespace {

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

}  // namespace

std::optional<std::vector<std::uint8_t>> Win32FileSystem::ReadWholeFile(const std::string& path,
                                                                        std::size_t maxBytes) const {
  if (path.empty()) return std::nullopt;
  // Shared for reading only: a file someone is still writing is not read half done.
  Handle file(CreateFileW(GbkToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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

bool Win32FileSystem::Exists(const std::string& path) const {
  if (path.empty()) return false;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(GbkToWide(path).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool Win32FileSystem::ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (path.empty()) return false;
  const std::wstring target = GbkToWide(path);
  if (target.empty()) return false;

  // The temporary file lives in the target's directory so the final rename
  // stays on one volume and is atomic.
  wchar_t temporary[MAX_PATH];
  if (GetTempFileNameW(DirectoryOf(target).c_str(), L"tlv", 0, temporary) == 0) return false;

  bool done = false;
  {
    Handle file(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    done = file.Valid() && WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get()) && file.Close();
  }
  done = done && MoveFileExW(temporary, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!done) DeleteFileW(temporary);
  return done;
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
  return WideToGbk(path);
}

}  // namespace tolvane
