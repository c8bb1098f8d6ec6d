#pragma once
// The multimedia functions the sound player calls, bound from the system's own
// winmm.dll at first use. winmm.dll is not one of the libraries Windows always
// takes from its own directory, so it is never imported: a copy planted beside
// the program is never loaded. A function that cannot be bound fails as a missing
// device does, and the sound is silent.
#include <windows.h>
#include <mmsystem.h>

#include <string_view>

#include "platform/system/bind_win32.h"

namespace tolvane::winmm {

template <typename Fn, auto kUnbound = MMRESULT{MMSYSERR_NODRIVER}>
class Function {
 public:
  constexpr explicit Function(std::string_view name) : declared_("winmm.dll", name) {}
  template <typename... Args>
  auto operator()(Args... args) {
    const auto function = TryBindAs<Fn*>(declared_);
    return function != nullptr ? function(args...) : kUnbound;
  }

 private:
  DeclaredFunction declared_;
};

inline Function<decltype(::waveOutGetNumDevs), UINT{0}> waveOutGetNumDevs{"waveOutGetNumDevs"};
inline Function<decltype(::waveOutOpen)> waveOutOpen{"waveOutOpen"};
inline Function<decltype(::waveOutPrepareHeader)> waveOutPrepareHeader{"waveOutPrepareHeader"};
inline Function<decltype(::waveOutWrite)> waveOutWrite{"waveOutWrite"};
inline Function<decltype(::waveOutGetPosition)> waveOutGetPosition{"waveOutGetPosition"};
inline Function<decltype(::waveOutUnprepareHeader)> waveOutUnprepareHeader{"waveOutUnprepareHeader"};
inline Function<decltype(::waveOutPause)> waveOutPause{"waveOutPause"};
inline Function<decltype(::waveOutReset)> waveOutReset{"waveOutReset"};
inline Function<decltype(::waveOutClose)> waveOutClose{"waveOutClose"};
inline Function<decltype(::midiOutGetNumDevs), UINT{0}> midiOutGetNumDevs{"midiOutGetNumDevs"};
inline Function<decltype(::midiStreamOpen)> midiStreamOpen{"midiStreamOpen"};
inline Function<decltype(::midiStreamProperty)> midiStreamProperty{"midiStreamProperty"};
inline Function<decltype(::midiOutPrepareHeader)> midiOutPrepareHeader{"midiOutPrepareHeader"};
inline Function<decltype(::midiStreamOut)> midiStreamOut{"midiStreamOut"};
inline Function<decltype(::midiStreamRestart)> midiStreamRestart{"midiStreamRestart"};
inline Function<decltype(::midiStreamStop)> midiStreamStop{"midiStreamStop"};
inline Function<decltype(::midiOutReset)> midiOutReset{"midiOutReset"};
inline Function<decltype(::midiOutUnprepareHeader)> midiOutUnprepareHeader{"midiOutUnprepareHeader"};
inline Function<decltype(::midiStreamClose)> midiStreamClose{"midiStreamClose"};

}  // namespace tolvane::winmm
