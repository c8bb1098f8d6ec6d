// tolvane_bench: the Windows side of the benchmark scripts (tools/bench_*.sh).
//
//   inject                      hook the probe library into the running Tolvane
//   startup <program> <class>   start the program; print the milliseconds until a
//                               window of that class, owned by it, is shown
//   close <class>               close the window of that class and wait until it is gone
//   dpi                         the system DPI the session gives a DPI-aware program
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench_probe.h"
#include "ui/window_definition.h"

namespace {

int Fail(const char* why) {
  fprintf(stderr, "tolvane_bench: %s\n", why);
  return 1;
}

int Inject() {
  HWND main = FindWindowW(L"TolvaneMainWindow", nullptr);
  if (!main) return Fail("the Tolvane window is not there");
  wchar_t path[MAX_PATH];
  std::wstring dll(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"tolvane_bench_probe.dll";
  HMODULE probe = LoadLibraryW(dll.c_str());
  auto hook = probe ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probe, tolvane::bench::kProbeHook)))
                    : nullptr;
  if (!hook) return Fail("cannot load tolvane_bench_probe.dll");
  HHOOK installed = SetWindowsHookExW(WH_CALLWNDPROC, hook, probe, GetWindowThreadProcessId(main, nullptr));
  if (!installed) return Fail("cannot hook the program's thread");
  DWORD_PTR result = 0;
  const int label = tolvane::ui::ControlId("标签3");
  const bool sent = SendMessageTimeoutW(main, RegisterWindowMessageW(tolvane::bench::kProbeMessage), label, 0,
                                        SMTO_ABORTIFHUNG, 5000, &result);
  UnhookWindowsHookEx(installed);
  return sent ? 0 : Fail("the program did not answer");
}

struct Search {
  DWORD process;
  const wchar_t* windowClass;
  HWND found;
};

BOOL CALLBACK FindShown(HWND h, LPARAM lp) {
  auto* search = reinterpret_cast<Search*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(h, &owner);
  wchar_t name[128] = L"";
  GetClassNameW(h, name, 128);
  if (owner == search->process && IsWindowVisible(h) && lstrcmpW(name, search->windowClass) == 0) {
    search->found = h;
    return FALSE;
  }
  return TRUE;
}

int Startup(const std::wstring& program, const wchar_t* windowClass) {
  std::wstring directory = program.substr(0, program.find_last_of(L"\\/") + 1);
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(), &si,
                      &pi))
    return Fail("cannot start the program");
  Search search{pi.dwProcessId, windowClass, nullptr};
  for (;;) {
    EnumWindows(FindShown, reinterpret_cast<LPARAM>(&search));
    QueryPerformanceCounter(&now);
    const double ms = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    if (search.found) {
      printf("%.1f\n", ms);
      return 0;
    }
    if (ms > 60000 || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) return Fail("no window was shown");
    Sleep(1);
  }
}

int Close(const wchar_t* windowClass) {
  HWND h = FindWindowW(windowClass, nullptr);
  if (!h) return Fail("no such window");
  PostMessageW(h, WM_CLOSE, 0, 0);
  for (DWORD start = GetTickCount(); IsWindow(h); Sleep(20)) {
    if (GetTickCount() - start > 20000) return Fail("the window did not close");
  }
  return 0;
}

int SystemDpi() {
  SetProcessDPIAware();
  HDC screen = GetDC(nullptr);
  printf("%d\n", GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"inject" && argc == 2) return Inject();
  if (command == L"startup" && argc == 4) return Startup(argv[2], argv[3]);
  if (command == L"close" && argc == 3) return Close(argv[2]);
  if (command == L"dpi" && argc == 2) return SystemDpi();
  fprintf(stderr, "usage: tolvane_bench inject | startup <program> <class> | close <class> | dpi\n");
  return 2;
}
