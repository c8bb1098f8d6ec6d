#include "platform/system/bind_win32.h"

#include <windows.h>

#include <string>

#include "platform/messages/fatal.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace tolvane {
namespace {

// Library names are plain ASCII in practice; widen them as the system's ANSI text would be read.
std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// The loader understands LOAD_LIBRARY_SEARCH_SYSTEM32 exactly where it exports
// SetDefaultDllDirectories (Windows 8, and 7 with the loader update), as its
// documentation says to test; Windows XP is not documented to refuse the flag.
// kernel32 is loaded in every process, so this binds nothing through the loader.
bool SearchFlagsUnderstood() {
  if (IsDenied("SetDefaultDllDirectories")) return false;
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  return kernel32 != nullptr && GetProcAddress(kernel32, "SetDefaultDllDirectories") != nullptr;
}

HMODULE LoadFromSystemDirectory(std::string_view library) {
  const std::wstring name = Widen(WithLibraryExtension(library));
  if (SearchFlagsUnderstood()) return LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // A library that the program's manifest takes from a system assembly (the version 6
  // common controls) is found by its name in the assembly store, never beside the
  // program; a full path would bypass that and load the older copy in the system directory.
  ACTCTX_SECTION_KEYED_DATA redirected{};
  redirected.cbSize = sizeof(redirected);
  if (FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name.c_str(), &redirected)) {
    return LoadLibraryW(name.c_str());
  }
  // Elsewhere the library is named by its full path in the system directory.

  wchar_t directory[MAX_PATH];
  const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(directory, length);
  if (path.back() != L'\\') path += L'\\';
  path += name;
  // With a full path this makes the library's own dependencies come from its directory too.
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

class Win32ExportLoader final : public ExportLoader {
 public:
  void* Load(std::string_view library) override {
    return reinterpret_cast<void*>(LoadFromSystemDirectory(library));
  }
  void* FindByName(void* module, std::string_view function) override {
    const std::string name(function);
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name.c_str()));
  }
  void* FindByOrdinal(void* module, std::uint16_t ordinal) override {
    return reinterpret_cast<void*>(
        GetProcAddress(static_cast<HMODULE>(module), reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal))));
  }
  void Release(void* module) override { FreeLibrary(static_cast<HMODULE>(module)); }
};

}  // namespace

ExportLoader& SystemExportLoader() {
  static Win32ExportLoader loader;
  return loader;
}

void RestrictLibrarySearchToSystem() {
  static DeclaredFunction setDefaultDllDirectories{"kernel32.dll", "SetDefaultDllDirectories"};
  using Fn = BOOL(WINAPI*)(DWORD);
  if (auto set = TryBindAs<Fn>(setDefaultDllDirectories)) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The common controls load the theme library by name when they first draw. A loader
  // that ignores the default directories for such a load (Windows 7 without the
  // update, and Wine) would look beside the program first; once the system's copy is
  // loaded, every load by that name finds it instead. It stays loaded for the
  // program's life, as it would anyway.
  LoadFromSystemDirectory("uxtheme.dll");
}

void* TryBind(DeclaredFunction& function) { return function.Address(SystemExportLoader()); }

void* Bind(DeclaredFunction& function) {
  if (void* address = TryBind(function)) return address;
  ReportFatalError(function.FailureMessage());
}

}  // namespace tolvane
