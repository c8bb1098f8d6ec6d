#!/usr/bin/env python3
"""Finds the bursts of sound in a recording: one line per burst with its start and
length in seconds and its peak as a fraction of full scale.

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
    found = []  # [first window, last window, peak]
    for i, start in enumerate(range(0, len(samples) - window + 1, window)):
        chunk = samples[start:start + window]
        rms = (sum(x * x for x in chunk) / window) ** 0.5 / 32768.0
        if rms <= THRESHOLD:
            continue
        peak = max(abs(x) for x in chunk) / 32768.0
        if found and (i - found[-1][1] - 1) * WINDOW_S <= bridge + 1e-9:
            found[-1][1] = i
            found[-1][2] = max(found[-1][2], peak)
        else:
            found.append([i, i, peak])
    return [(first * WINDOW_S, (last - first + 1) * WINDOW_S, peak) for first, last, peak in found]


def main(args):
    complete = "--complete" in args
    paths = [a for a in args if a != "--complete"]
    if len(paths) != 1:
        raise SystemExit(__doc__)
    samples, rate = samples_of(paths[0])
    end = len(samples) / rate
    for start, length, peak in bursts(samples, rate, ONSET_GAP_S):
        if complete and start + length + SETTLED_S > end:
            continue
        print(f"{start:.3f} {length:.3f} {peak:.3f}")


if __name__ == "__main__":
    main(sys.argv[1:])
