#pragma once
// MIDI on a Linux desktop: a MIDI stream device whose events FluidSynth plays
// through PulseAudio, with a General MIDI soundfont found at run time; and the
// PulseAudio playback stream it shares with the WAVE player.
#include <pulse/simple.h>

#include <memory>

#include "platform/sound/midi.h"

namespace tolvane::sound {

// A playback stream that keeps only a short queue in the server, so a stop is
// heard at once; nullptr when there is no server or it refuses the format.
pa_simple* OpenPlaybackStream(const pa_sample_spec& spec, const char* name);

// Made at once; the synthesizer and its soundfont come with the first open,
// which fails (and the tune stays silent) when no soundfont is installed.
std::unique_ptr<MidiStreamDevice> NewSynthMidiStream();

}  // namespace tolvane::sound
