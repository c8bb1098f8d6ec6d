// The colour probe library: sets system colours inside the Tolvane process.
#include "colour_probe.h"
#include "probe_hook.h"

using namespace tolvane::e2e;

extern "C" __declspec(dllexport) LRESULT CALLBACK ColourProbeHook(int code, WPARAM wp, LPARAM lp) {
  return AnswerProbe<ColourProbe>(code, wp, lp, kColourProbeMapping, kColourProbeMessage, [](HWND, ColourProbe& probe) {
    COLORREF old[16];
    const int count = probe.count < 0 ? 0 : probe.count > 16 ? 16 : static_cast<int>(probe.count);
    for (int i = 0; i < count; ++i) old[i] = GetSysColor(probe.indices[i]);
    probe.ok = SetSysColors(count, probe.indices, probe.values);
    for (int i = 0; i < count; ++i) probe.values[i] = old[i];
  });
}
