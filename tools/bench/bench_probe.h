#pragma once
// Shared by tolvane_bench.exe and the probe library it hooks into Tolvane.
namespace tolvane::bench {

// Sent to the main window with the clock label's control id as wParam.
inline constexpr const wchar_t* kProbeMessage = L"TolvaneBenchProbe";
inline constexpr const char* kProbeHook = "BenchProbeHook";

}  // namespace tolvane::bench
