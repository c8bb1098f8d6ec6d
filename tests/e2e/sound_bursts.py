#!/usr/bin/env python3
"""Finds the bursts of sound in a recording: one line per burst with its start and
length in seconds, its peak as a fraction of full scale and its pitch in Hz (from the
zero crossings while it sounds: a tone's own).

    sound_bursts.py [--complete] <recording.wav | recording.raw>

A .raw recording is 16-bit little-endian mono at 44100 Hz, as parec writes it. A burst
is a run of 10 ms windows whose RMS level exceeds 1% of full scale; runs less than 30 ms
apart count as one, and on the command line, where sounds are told apart by their
onsets, runs less than 0.25 s apart (output that ran dry for a moment). With --complete only bursts followed by at least 0.3 s of recording
are listed (the recording may still be growing).
"""
import array
import sys
import wave

THRESHOLD = 0.01
WINDOW_S = 0.010
BRIDGE_S = 0.030
ONSET_GAP_S = 0.25
SETTLED_S = 0.3


def samples_of(path):
    if path.endswith(".raw"):
        with open(path, "rb") as f:
            data = f.read()
        rate, channels, width = 44100, 1, 2
        data = data[: len(data) // 2 * 2]
    else:
        with wave.open(path, "rb") as w:
            rate, channels, width = w.getframerate(), w.getnchannels(), w.getsampwidth()
            data = w.readframes(w.getnframes())
    if width != 2:
        raise SystemExit("expected 16-bit samples")
    samples = array.array("h", data)
    if sys.byteorder == "big":
        samples.byteswap()
    return samples[::channels], rate


def bursts(samples, rate, bridge=BRIDGE_S):
    window = max(1, int(rate * WINDOW_S))
    found = []  # [first window, last window, peak, [(window, rms) of each window sounding]]
    for i, start in enumerate(range(0, len(samples) - window + 1, window)):
        chunk = samples[start:start + window]
        rms = (sum(x * x for x in chunk) / window) ** 0.5 / 32768.0
        if rms <= THRESHOLD:
            continue
        peak = max(abs(x) for x in chunk) / 32768.0
        if found and (i - found[-1][1] - 1) * WINDOW_S <= bridge + 1e-9:
            found[-1][1], found[-1][2] = i, max(found[-1][2], peak)
            found[-1][3].append((i, rms))
        else:
            found.append([i, i, peak, [(i, rms)]])
    return [(first * WINDOW_S, (last - first + 1) * WINDOW_S, peak, pitch(samples, window, sounding))
            for first, last, peak, sounding in found]


def pitch(samples, window, sounding):
    """Half the zero crossings a second (of samples beyond 1 % of full scale, so that the
    quiet between is not counted) in the windows of a steady tone's full level (within
    10 % of the loudest): not those where it starts, ends or the output ran dry."""
    full = {i for i, rms in sounding if rms >= max(r for _, r in sounding) * 0.9}
    sign, crossings = 0, 0
    for i, _ in sounding:
        for x in samples[i * window:(i + 1) * window]:
            if abs(x) > 328:
                crossings += sign != 0 and (x > 0) != (sign > 0) and i in full
                sign = x
    return crossings / 2 / (len(full) * WINDOW_S)


def heard(path, complete=False, bridge=ONSET_GAP_S):
    """The bursts of a recording; complete: only those followed by SETTLED_S of it."""
    samples, rate = samples_of(path)
    end = len(samples) / rate
    return [b for b in bursts(samples, rate, bridge) if not complete or b[0] + b[1] + SETTLED_S <= end]


def main(args):
    paths = [a for a in args if a != "--complete"]
    if len(paths) != 1:
        raise SystemExit(__doc__)
    for start, length, peak, pitch in heard(paths[0], "--complete" in args):
        print(f"{start:.3f} {length:.3f} {peak:.3f} {pitch:.0f}")


if __name__ == "__main__":
    main(sys.argv[1:])
