#pragma once
// The PulseAudio playback stream that the Linux WAVE output and the MIDI
// synthesizer both play through.
#include <pulse/simple.h>

namespace tolvane::sound {

// A playback stream that keeps only a short queue in the server, so a stop is
// heard at once; nullptr when there is no server or it refuses the format.
pa_simple* OpenPlaybackStream(const pa_sample_spec& sampleFormat, const char* name);

}  // namespace tolvane::sound
