// A stand-in for a system library, planted beside the program as a web page could drop
// one into a Downloads folder. Loaded, it leaves "<its own path>.loaded"; every function
// it exports refuses (returns 1: an error for the sound functions, S_FALSE for themes).
#include <windows.h>

extern "C" INT_PTR Refuse() { return 1; }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      lstrcatW(path, L".loaded");
      HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
  }
  return TRUE;
}
