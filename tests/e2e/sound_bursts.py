#!/usr/bin/env python3
"""Finds the bursts of sound in a recording: one line per burst with its start and
length in seconds and its peak as a fraction of full scale.

    sound_bursts.py <recording.wav> [threshold]

A burst is a run of 10 ms windows whose RMS level exceeds the threshold (default 0.01 of
full scale); runs separated by less than 30 ms of quiet count as one burst.
"""
import array
import sys
import wave


def bursts(path, threshold=0.01, window_s=0.010, bridge_s=0.030):
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2:
            raise SystemExit("expected 16-bit samples")
        rate, channels = w.getframerate(), w.getnchannels()
        samples = array.array("h", w.readframes(w.getnframes()))
    if sys.byteorder == "big":
        samples.byteswap()
    if channels > 1:
        samples = samples[::channels]
    window = max(1, int(rate * window_s))
    loud = []
    for start in range(0, len(samples) - window + 1, window):
        chunk = samples[start:start + window]
        rms = (sum(x * x for x in chunk) / window) ** 0.5 / 32768.0
        loud.append((rms > threshold, max(abs(x) for x in chunk) / 32768.0))
    found = []  # [first window, last window, peak]
    for i, (is_loud, peak) in enumerate(loud):
        if not is_loud:
            continue
        if found and (i - found[-1][1]) * window_s <= bridge_s + 1e-9:
            found[-1][1] = i
            found[-1][2] = max(found[-1][2], peak)
        else:
            found.append([i, i, peak])
    return [(first * window_s, (last - first + 1) * window_s, peak) for first, last, peak in found]


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    threshold = float(sys.argv[2]) if len(sys.argv) == 3 else 0.01
    for start, length, peak in bursts(sys.argv[1], threshold):
        print(f"{start:.3f} {length:.3f} {peak:.3f}")
