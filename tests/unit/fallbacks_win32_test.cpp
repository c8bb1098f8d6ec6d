// Each function an older Windows lacks is bound at run time; denied, its fallback runs
// here as it would on that Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/power/power_win32.h"
#include "platform/system/bind_win32.h"
#include "platform/system/tick_count.h"
#include "win32/accessibility.h"
#include "win32/dpi.h"
#include "win32/timer.h"

namespace tolvane {
namespace {

TEST(Fallbacks, TickCount64WidensGetTickCountWithoutIt) {
  for (const bool denied : {false, true}) {
    std::optional<DeniedFunction> deny;
    if (denied) deny.emplace("GetTickCount64");
    const DWORD before = GetTickCount();
    const std::uint64_t first = TickCount64();
    const std::uint64_t second = TickCount64();
    const DWORD after = GetTickCount();
    EXPECT_LE(static_cast<DWORD>(first) - before, after - before) << "denied " << denied;
    EXPECT_GE(second, first);
  }
}

std::wstring ModuleDirectory(void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module)) {
    return L"";
  }
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring directory(path, length);
  directory.resize(directory.find_last_of(L'\\') == std::wstring::npos ? 0 : directory.find_last_of(L'\\'));
  return directory;
}

TEST(Fallbacks, LibrariesComeFromTheSystemDirectoryWithOrWithoutTheSearchFlags) {
  wchar_t system[MAX_PATH];
  const std::wstring systemDirectory(system, GetSystemDirectoryW(system, MAX_PATH));
  // The library without the flags first, so that branch loads it.
  static DeclaredFunction versionInfo{"version.dll", "GetFileVersionInfoSizeW"};
  static DeclaredFunction networkConnection{"mpr.dll", "WNetGetConnectionW"};
  for (DeclaredFunction* function : {&versionInfo, &networkConnection}) {
    std::optional<DeniedFunction> deny;
    if (function == &versionInfo) deny.emplace("SetDefaultDllDirectories");
    RestrictLibrarySearchToSystem();
    void* address = TryBind(*function);
    ASSERT_NE(address, nullptr) << function->function();
    EXPECT_EQ(_wcsicmp(ModuleDirectory(address).c_str(), systemDirectory.c_str()), 0) << function->function();
  }
}

// Without the search flags (XP, 7 without the loader update) the common controls still
// come from the manifest's assembly, version 6, not from the system directory's older copy.
TEST(Fallbacks, CommonControlsOfTheManifestWithoutTheSearchFlags) {
  wchar_t system[MAX_PATH];
  const std::wstring systemDirectory(system, GetSystemDirectoryW(system, MAX_PATH));
  // The program's dependency, as its manifest states it.
  const char manifest[] =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"><dependency><dependentAssembly>"
      "<assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
      "processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>"
      "</dependentAssembly></dependency></assembly>";
  wchar_t directory[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, directory);
  ASSERT_NE(GetTempFileNameW(directory, L"tvm", 0, file), 0u);
  HANDLE out = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(out, manifest, sizeof manifest - 1, &written, nullptr);
  CloseHandle(out);
  ACTCTXW context{};
  context.cbSize = sizeof(context);
  context.lpSource = file;
  HANDLE activation = CreateActCtxW(&context);
  ASSERT_NE(activation, INVALID_HANDLE_VALUE);
  ULONG_PTR cookie = 0;
  ASSERT_TRUE(ActivateActCtx(activation, &cookie));
  {
    // Through the loader itself: the process binds each function once, wherever from.
    DeniedFunction deny("SetDefaultDllDirectories");
    ExportLoader& loader = SystemExportLoader();
    void* module = loader.Load("comctl32.dll");
    ASSERT_NE(module, nullptr);
    void* address = loader.FindByName(module, "SetWindowSubclass");
    ASSERT_NE(address, nullptr);
    EXPECT_NE(_wcsicmp(ModuleDirectory(address).c_str(), systemDirectory.c_str()), 0);
    loader.Release(module);
  }
  DeactivateActCtx(0, cookie);
  ReleaseActCtx(activation);
  DeleteFileW(file);
}

// A message-only window of the test's own thread (no display needed), destroyed with the test.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override { DestroyWindow(window_); }
  HWND window_ = nullptr;
};

using FallbackWindow = WindowTest;

TEST_F(FallbackWindow, DisplayScaleFromTheSystemWithoutThePerMonitorFunctions) {
  using namespace win32;
  const int systemDpi = SystemDpi();
  const DWORD style = WS_OVERLAPPEDWINDOW;
  const SIZE atSystem = FrameSize(style, 0, systemDpi);
  const int scrollBar = SystemMetricForDpi(SM_CXVSCROLL, systemDpi);
  {
    DeniedFunction a("GetDpiForWindow"), b("GetSystemMetricsForDpi"), c("AdjustWindowRectExForDpi"),
        d("SetThreadDpiAwarenessContext");
    PreferPerMonitorDpi();
    EXPECT_EQ(DpiOfWindow(window_), systemDpi);
    EXPECT_EQ(SystemMetricForDpi(SM_CXVSCROLL, systemDpi * 2), GetSystemMetrics(SM_CXVSCROLL));
    // At the system DPI the fallback agrees with the per-DPI function; elsewhere it scales.
    const SIZE fallback = FrameSize(style, 0, systemDpi);
    EXPECT_EQ(fallback.cx, atSystem.cx);
    EXPECT_EQ(fallback.cy, atSystem.cy);
    const SIZE doubled = FrameSize(style, 0, systemDpi * 2);
    EXPECT_EQ(doubled.cx, 2 * atSystem.cx);
    EXPECT_EQ(doubled.cy, 2 * atSystem.cy);
  }
  EXPECT_EQ(SystemMetricForDpi(SM_CXVSCROLL, systemDpi), scrollBar);
}

TEST_F(FallbackWindow, TimersFireWithOrWithoutSetCoalescableTimer) {
  for (const bool denied : {false, true}) {
    std::optional<DeniedFunction> deny;
    if (denied) deny.emplace("SetCoalescableTimer");
    constexpr UINT_PTR kId = 7;
    ASSERT_TRUE(win32::ArmUncoalescedTimer(window_, kId, 20)) << "denied " << denied;
    bool fired = false;
    const DWORD deadline = GetTickCount() + 10000;
    MSG message;
    while (!fired && static_cast<LONG>(deadline - GetTickCount()) > 0) {
      if (!PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        continue;
      }
      fired = message.message == WM_TIMER && message.wParam == kId;
    }
    KillTimer(window_, kId);
    EXPECT_TRUE(fired) << "denied " << denied;
  }
}

TEST_F(FallbackWindow, ControlsStayUnannotatedWithoutCom) {
  DeniedFunction deny("CoCreateInstance");
  win32::AccessibleNames names;
  names.Set(window_, L"名称");  // nothing to annotate with: no effect, no failure
  EXPECT_FALSE(names.Ready());
}

TEST(Fallbacks, StandbyAndHibernateWithoutEitherSuspendFunctionAreRefusedWithAReason) {
  DeniedFunction a("SetSystemPowerState"), b("SetSuspendState");
  for (const std::int32_t code : {4, 5}) {
    Win32PowerService power;
    EXPECT_FALSE(power.RequestPowerAction(code, false)) << code;
    EXPECT_FALSE(power.FailureReason().empty()) << code;
  }
}

}  // namespace
}  // namespace tolvane
