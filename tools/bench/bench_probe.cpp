// The benchmark probe library, loaded into the running Tolvane process by
// tolvane_bench.exe through a window hook. On the probe message it stays loaded
// for good, then notes with wall-clock timestamps every caption the clock label
// is given and every standby request, in the file named by TOLVANE_BENCH_LOG.
// The standby request is answered as Wine answers it (success, nothing done),
// so only its moment changes hands.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "bench_probe.h"

namespace {

FILE* g_log = nullptr;
WNDPROC g_labelProc = nullptr;

// Local wall-clock time in microseconds since 1601, the scale the script
// converts the program's date texts to.
unsigned long long LocalMicroseconds() {
  FILETIME utc, local;
  GetSystemTimePreciseAsFileTime(&utc);
  FileTimeToLocalFileTime(&utc, &local);
  return (static_cast<unsigned long long>(local.dwHighDateTime) << 32 | local.dwLowDateTime) / 10;
}

void Note(const char* what, const wchar_t* text) {
  if (!g_log) return;
  char utf8[512] = "";
  if (text) WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  fprintf(g_log, "%llu %s %s\n", LocalMicroseconds(), what, utf8);
  fflush(g_log);
}

LRESULT CALLBACK LabelProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SETTEXT) Note("clock", reinterpret_cast<const wchar_t*>(lp));
  return CallWindowProcW(g_labelProc, h, msg, wp, lp);
}

BOOLEAN WINAPI StandInSetSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeupEventsDisabled) {
  wchar_t args[64];
  wsprintfW(args, L"%d,%d,%d", hibernate, force, wakeupEventsDisabled);
  Note("power", args);
  return TRUE;
}

// Points the start of a function at another: mov rax, target; jmp rax.
bool Redirect(void* function, void* target) {
  unsigned char code[12] = {0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xE0};
  std::memcpy(code + 2, &target, sizeof target);
  DWORD old = 0;
  if (!VirtualProtect(function, sizeof code, PAGE_EXECUTE_READWRITE, &old)) return false;
  std::memcpy(function, code, sizeof code);
  VirtualProtect(function, sizeof code, old, &old);
  FlushInstructionCache(GetCurrentProcess(), function, sizeof code);
  return true;
}

void Install(HWND main, int labelId) {
  if (g_log) return;  // installed already
  HMODULE self = nullptr;
  // Pinned: the redirected function jumps into this library for the rest of the run.
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&Install), &self);
  wchar_t path[MAX_PATH];
  if (!GetEnvironmentVariableW(L"TOLVANE_BENCH_LOG", path, MAX_PATH)) return;
  g_log = _wfopen(path, L"ab");
  if (!g_log) return;
  // Loaded here and never freed, so the program's own load finds this copy.
  HMODULE powrprof = LoadLibraryW(L"powrprof.dll");
  void* suspend = powrprof ? reinterpret_cast<void*>(GetProcAddress(powrprof, "SetSuspendState")) : nullptr;
  HWND label = GetDlgItem(main, labelId);
  if (!suspend || !Redirect(suspend, reinterpret_cast<void*>(&StandInSetSuspendState)) || !label) {
    Note("failed", nullptr);
    return;
  }
  g_labelProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LabelProc)));
  Note("ready", nullptr);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK BenchProbeHook(int code, WPARAM wp, LPARAM lp) {
  const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
  if (code == HC_ACTION && msg->message == RegisterWindowMessageW(tolvane::bench::kProbeMessage))
    Install(msg->hwnd, static_cast<int>(msg->wParam));
  return CallNextHookEx(nullptr, code, wp, lp);
}
